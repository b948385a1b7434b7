#pragma once
// A session core with a recording view, a private settings file and a virtual supply, with the
// session's intervals shortened so that whole sessions run in a fraction of a second.

#include <QTemporaryDir>
#include <memory>
#include <string>
#include "tests/support/fast_timings.h"

#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/virtual_supply.h"
#include "tests/support/event_loop.h"
#include "tests/support/manual_clock.h"
#include "tests/support/recording_view.h"

namespace sessiontest {

using testsupport::FastTimings;

class TSessionHarness {
public:
    explicit TSessionHarness(bool AManualClock = false, TSessionTimings ATimings = FastTimings());
    ~TSessionHarness();

    // Starts the virtual supply (TCP always, a pty when asked).
    bool StartSupply(VirtualSupplyOptions AOptions = {});
    // Connects over TCP to the supply and waits for the session to start.
    bool ConnectTcp(int ATimeoutMs = 2000);
    // Connects over the supply's pty and waits for the session to start.
    bool ConnectPty(int ATimeoutMs = 3000);
    // Selects the pty in the port list (it is added as an extra port).
    int SelectPty();
    // Waits until the supply has answered ACount more requests.
    bool WaitPolls(uint64_t ACount, int ATimeoutMs = 2000);
    bool WaitFor(const std::function<bool()>& APredicate, int ATimeoutMs = 2000) {
        return testsupport::ProcessUntil(APredicate, ATimeoutMs);
    }

    QTemporaryDir dir;
    TSettingsStore settings;
    testsupport::TRecordingView view;
    testsupport::TManualClock clock;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<TSessionCore> core;
};

}  // namespace sessiontest
