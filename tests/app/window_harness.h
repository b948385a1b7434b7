#pragma once
// The main window against the virtual supply, offscreen: a private settings file, message boxes
// recorded instead of shown, session intervals shortened, the entry pop-ups created as the program
// creates them.

#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include "tests/support/fast_timings.h"

#include "app/main_form.h"
#include "app/message_presenter.h"
#include "session/settings_store.h"
#include "sim/virtual_supply.h"

class TEnterForm;
class TEnterForm2;

namespace apptest {

// Records every box; Confirm answers `answer`. `onError` runs inside an error box.
class TRecordingPresenter : public TMessagePresenter {
public:
    QStringList errors, infos, confirms;
    QStringList retexts;  // new texts of the error box open
    int errorsOpen = 0;
    bool answer = true;
    std::function<void(const QString&)> onError;

    void Error(QWidget*, const QString& AText) override {
        errors << AText;
        ++errorsOpen;
        if (onError) onError(AText);
        --errorsOpen;
    }
    void RetextError(const QString& AText) override {
        if (errorsOpen > 0) retexts << AText;
    }
    void Information(QWidget*, const QString& AText) override { infos << AText; }
    bool Confirm(QWidget*, const QString& AText) override {
        confirms << AText;
        return answer;
    }
};

using testsupport::FastTimings;

struct THarnessConfig {
    bool ownSettings = false;  // true: the user's store (XDG_CONFIG_HOME decides where)
    bool virtualSupply = false;
    // Port arrival and removal notices from this source (none when null).
    std::function<std::unique_ptr<TPortEventSource>()> portEvents;
    // The "Auto Test" window's options (its files always go to the harness's folder).
    TTestFormOptions autotest;
    // The "Plans" window's options.
    TPlanWindowOptions plans;
};

inline THarnessConfig WithOwnSettings() {
    THarnessConfig c;
    c.ownSettings = true;
    return c;
}
inline THarnessConfig WithVirtualSupply() {
    THarnessConfig c;
    c.virtualSupply = true;
    return c;
}

// Port notices queued in memory and announced by a byte on a pipe, as a udev monitor's socket
// becomes readable when events wait.
class TPipePortEvents final : public TPortEventSource {
public:
    TPipePortEvents();
    ~TPipePortEvents() override;
    int Fd() const override { return fFds[0]; }
    std::vector<TPortEvent> Receive() override;
    void Announce(TPortChange AChange, const QString& AName);

private:
    int fFds[2] = {-1, -1};
    std::vector<TPortEvent> fPending;
};

class TWindowHarness {
public:
    explicit TWindowHarness(THarnessConfig AConfig = {});
    ~TWindowHarness();

    // The waits below end as soon as their condition holds; their bounds are generous so that a
    // loaded machine does not fail a test that would pass.
    // A virtual supply on a loopback port (model 5015, class ver_46 unless changed).
    bool StartSupply(VirtualSupplyOptions AOptions = {});
    // Shows the window, connects to the supply and waits for the session to start.
    bool Connect(int ATimeoutMs = 10000);
    // The same over the supply's pseudo-terminal, chosen in the port list.
    bool ConnectSerial(int ATimeoutMs = 10000);
    // Waits until the supply has answered ACount more requests.
    bool WaitPolls(uint64_t ACount, int ATimeoutMs = 10000);
    bool WaitFor(const std::function<bool()>& APredicate, int ATimeoutMs = 10000);
    // Closes the window and opens a new one on the same settings, as a restart of the program.
    void ReopenWindow();

    QTemporaryDir dir;
    TSettingsStore settings;
    TMainFormOptions options;
    TRecordingPresenter presenter;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<TMainForm> form;
    TEnterForm* popup = nullptr;
    TEnterForm2* popup2 = nullptr;

private:
    void OpenWindow();
};

// Clicks a widget in its centre (press and release).
void Click(QWidget* AWidget, QPoint APos = QPoint(-1, -1));

}  // namespace apptest
