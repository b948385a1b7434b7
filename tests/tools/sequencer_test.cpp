// The sequencer's stepping and logging rules, stepped tick by tick with a recording target.

#include <gtest/gtest.h>

#include <QStringList>

#include "session/reading.h"
#include "tests/support/event_loop.h"
#include "tools/core/sequencer.h"

namespace {

class RecordingTarget : public TSequencerTarget {
public:
    QStringList calls;
    bool on = false;
    TSequencer* sequencer = nullptr;
    void SetVoltage(uint32_t AUset) override { calls << "U" + QString::number(AUset); }
    void SetCurrent(uint32_t AIset) override { calls << "I" + QString::number(AIset); }
    bool OutputOn() const override { return on; }
    void ToggleOutput() override {
        on = !on;
        calls << (on ? "on" : "off");
        // The main window ends the test whenever it shows the output off.
        if (!on && sequencer) sequencer->EndTest();
    }
    void StepLoaded(int AStep) override { calls << "step" + QString::number(AStep); }
    void RunningChanged(bool ARunning) override { calls << (ARunning ? "busy" : "idle"); }
};

class Sequencer : public ::testing::Test {
protected:
    Sequencer() {
        testsupport::EnsureCoreApp();
        target.sequencer = &seq;
    }

    void Steps(std::initializer_list<TStepRecord> ASteps) {
        TStepTable& table = seq.Table();
        table.Count = 0;
        for (const TStepRecord& step : ASteps)
            table.Steps[table.Count++] = step;
    }
    // Start, then the pause passes on the event loop.
    void StartAndWait() {
        seq.Start();
        ASSERT_TRUE(
            testsupport::ProcessUntil([&] { return !seq.Running() || seq.TimerActive(); }, 2000));
    }
    // Ticks until the run ends; returns the number of ticks.
    int RunOut() {
        int ticks = 0;
        while (seq.TimerActive() && ticks < 1000) {
            seq.Tick();
            ++ticks;
        }
        return ticks;
    }

    TReading reading{1};  // a live reading has come
    TDataLogger logger{reading};
    TLogOptions options;
    RecordingTarget target;
    TSequencer seq{target, logger, [this] { return options; }, {1000000, 5}};
};

TEST_F(Sequencer, AllStepsDisabledTouchesNothingButStartsTheLog) {
    Steps({{500, 200, 5, false, {}}, {600, 200, 5, false, {}}});
    options.ByEvent = true;
    logger.WriteLogData();
    ++reading.Number;
    logger.WriteLogData();
    seq.Start();
    EXPECT_FALSE(seq.Running());
    EXPECT_TRUE(target.calls.isEmpty());
    EXPECT_EQ(logger.Records().size(), 1u);
    EXPECT_TRUE(logger.Logging);
}

TEST_F(Sequencer, StartDisablesAtOnceAndSwitchesOnAfterThePause) {
    Steps({{500, 200, 2, false, {}}, {700, 300, 2, true, {}}});
    seq.Start();
    EXPECT_EQ(target.calls, QStringList({"U700", "I300", "step1", "busy"}));
    EXPECT_TRUE(logger.Records().empty());  // the log starts with the output
    ASSERT_TRUE(testsupport::ProcessUntil([&] { return seq.TimerActive(); }, 2000));
    EXPECT_EQ(target.calls.last(), "on");
    EXPECT_EQ(logger.Records().size(), 1u);

    // Ended during the pause (link lost): the output is never switched on.
    target.calls.clear();
    seq.EndTest();
    target.on = false;
    seq.Start();
    seq.EndTest();
    testsupport::ProcessFor(30);
    EXPECT_EQ(target.calls, QStringList({"idle", "U700", "I300", "step1", "busy", "idle"}));
}

TEST_F(Sequencer, DisabledLastStepAddsOneTickAndTimeOneLastsOneTick) {
    Steps({{500, 200, 1, true, {}}, {600, 300, 3, true, {}}, {700, 400, 9, false, {}}});
    StartAndWait();
    target.calls.clear();
    seq.Tick();  // step 0 (Time 1) is over after one tick
    EXPECT_EQ(target.calls, QStringList({"U600", "I300", "step1"}));
    seq.Tick();
    seq.Tick();
    EXPECT_FALSE(target.calls.contains("off"));
    seq.Tick();  // step 1 expires; the disabled step 2 is found but not loaded
    EXPECT_EQ(target.calls.size(), 3);
    EXPECT_TRUE(seq.TimerActive());
    seq.Tick();  // one more tick ends the run
    EXPECT_EQ(target.calls.mid(3), QStringList({"off", "idle"}));
    EXPECT_FALSE(seq.Running());
    EXPECT_FALSE(logger.Logging);
}

TEST_F(Sequencer, TimedRecordsFallAtZeroOneAndThenEveryInterval) {
    Steps({{500, 200, 12, true, {}}});
    options.IntervalIndex = 4;  // 5 s
    StartAndWait();
    std::vector<int> at;
    for (int second = 1; second <= 12; ++second) {
        const size_t before = logger.Records().size();
        // No reading comes in seconds 2 to 6: the record due at 6 waits for the next one.
        if (second < 2 || second > 6) ++reading.Number;
        seq.Tick();
        if (logger.Records().size() > before) at.push_back(second);
    }
    // The start record, then ticks 1, 7 and 12.
    EXPECT_EQ(at, (std::vector<int>{1, 7, 12}));
    EXPECT_EQ(logger.Records().size(), 4u);
    EXPECT_FALSE(seq.Running());
}

TEST_F(Sequencer, ExhaustedTableWithTheOutputAlreadyOffEndsInsteadOfTickingOn) {
    Steps({{500, 200, 1, true, {}}});
    StartAndWait();
    target.on = false;  // the output went off without the window noticing
    EXPECT_EQ(RunOut(), 1);
    EXPECT_FALSE(target.calls.contains("off"));
}

}  // namespace
