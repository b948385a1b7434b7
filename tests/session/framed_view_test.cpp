// The session's view state paced to frames: a session against the virtual supply tells its view
// nothing for readings that change nothing, a changed reading arrives, a flood of changes reaches
// the view at most once per frame with the latest value last, and the end of a session (button or
// loss) shows the idle look at once.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <memory>

#include "session/framed_view.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/virtual_supply.h"
#include "tests/support/event_loop.h"
#include "tests/support/fast_timings.h"
#include "tests/support/recording_view.h"
#include "tests/support/supply_over_tcp.h"

namespace {

using testsupport::ProcessUntil;

// Counts the reports that follow readings and ticks, with the time of the last one.
class TCountingView : public testsupport::TRecordingView {
public:
    int calls = 0;
    void ShowPanelState(const TPanelState& AState) override {
        ++calls;
        TRecordingView::ShowPanelState(AState);
    }
    void ShowMismatch(bool AVoltage, bool ACurrent) override {
        ++calls;
        TRecordingView::ShowMismatch(AVoltage, ACurrent);
    }
    void ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) override {
        ++calls;
        TRecordingView::ShowOutput(AUout, AIout, APower);
    }
    void ShowInputVoltage(const QString& AText) override {
        ++calls;
        TRecordingView::ShowInputVoltage(AText);
    }
    void ShowRegulation(bool ACV, bool ACC) override {
        ++calls;
        TRecordingView::ShowRegulation(ACV, ACC);
    }
    void ShowProtection(bool ALit, const QString& ALabel) override {
        ++calls;
        TRecordingView::ShowProtection(ALit, ALabel);
    }
    void ShowTime(uint32_t ASeconds, const QString& AUnit) override {
        ++calls;
        TRecordingView::ShowTime(ASeconds, AUnit);
    }
};

struct TFramedSession {
    QTemporaryDir dir;
    TSettingsStore settings{TSettingsStore::PathUnder(dir.path())};
    TCountingView view;
    std::unique_ptr<TFramedView> framed;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<TSessionCore> core;
    int readings = 0;

    TFramedSession() {
        testsupport::EnsureCoreApp();
        framed = std::make_unique<TFramedView>(view, [this] { return core && core->Connected(); });
        core = std::make_unique<TSessionCore>(*framed, settings, SystemTickClock(),
                                              testsupport::FastTimings());
        QObject::connect(core.get(), &TSessionCore::LiveReading, [this] { ++readings; });
    }
    ~TFramedSession() {
        core.reset();
        supply.reset();
    }
    bool Connect() { return testsupport::ConnectToNewSupply(*core, supply); }
    bool WaitReadings(int ACount) {
        const int target = readings + ACount;
        return ProcessUntil([&] { return readings >= target; }, 5000);
    }
};

TEST(FramedView, UnchangedReadingsReachNothingAndTheEndOfASessionShowsAtOnce) {
    TFramedSession s;
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.WaitReadings(20));
    ASSERT_TRUE(ProcessUntil([&] { return !s.framed->Pending(); }, 1000));

    // A hundred readings of an idle supply: the window is told nothing (the output time does
    // not run while the output is off).
    const int before = s.view.calls;
    ASSERT_TRUE(s.WaitReadings(100));
    EXPECT_EQ(s.view.calls, before);

    // A changed reading reaches the view within a frame or two.
    s.supply->SetInputVoltage(30.0);
    ASSERT_TRUE(ProcessUntil([&] { return s.view.inputVoltage == "VIN 30.00 V"; }, 2000));

    // The supply goes away: the loss shows the idle look with the message, nothing waits.
    s.supply.reset();
    ASSERT_TRUE(ProcessUntil([&] { return !s.core->Connected(); }, 5000));
    EXPECT_FALSE(s.framed->Pending());
    EXPECT_FALSE(s.view.panel.OnlineLamp);
    EXPECT_EQ(s.view.inputVoltage, "VIN 0.00 V");
    EXPECT_EQ(s.view.errors, QStringList{"Connection lost !!!"});
}

TEST(FramedView, DisconnectShowsTheIdleLookBeforeTheButtonReturns) {
    TFramedSession s;
    ASSERT_TRUE(s.Connect());
    s.supply->SetInputVoltage(20.0);
    ASSERT_TRUE(s.WaitReadings(10));
    s.core->DisconnectBtnClick();
    EXPECT_FALSE(s.framed->Pending());
    EXPECT_TRUE(s.view.panel.ConnectEnabled);
    EXPECT_FALSE(s.view.panel.KeysLockedVisible);
    EXPECT_EQ(s.view.inputVoltage, "VIN 0.00 V");
}

TEST(FramedView, AFloodReachesTheViewOncePerFrameWithTheLatestValueLast) {
    testsupport::EnsureCoreApp();
    TCountingView view;
    bool paced = true;
    TFramedView framed(view, [&] { return paced; });
    QElapsedTimer t;
    t.start();
    // A change after a quiet frame shows at once.
    framed.ShowOutput(1, 0, 0);
    EXPECT_EQ(view.uout, 1u);
    uint32_t posted = 1;
    ProcessUntil(
        [&] {
            for (int i = 0; i < 10; ++i)
                framed.ShowOutput(++posted, 0, 0);
            framed.ShowInputVoltage("VIN 1.00 V");  // the same every time
            return t.elapsed() >= 200;
        },
        1000);
    ASSERT_TRUE(ProcessUntil([&] { return !framed.Pending(); }, 1000));
    EXPECT_EQ(view.uout, posted);  // the last value is never dropped
    // One call per frame for the read-out, one for the unchanged text.
    EXPECT_LE(view.calls, t.elapsed() / (TFramedView::kFrameMs - 2) + 2);
    EXPECT_GE(view.calls, 3);

    // Without pacing (session ended) a report shows at once, after what was waiting.
    framed.ShowOutput(++posted, 0, 0);
    paced = false;
    framed.ShowOutput(0, 0, 0);
    EXPECT_FALSE(framed.Pending());
    EXPECT_EQ(view.uout, 0u);
}

}  // namespace
