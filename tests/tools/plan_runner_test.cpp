// The plan runner on readings made by hand: a noisy reading does not end a step, a condition
// must hold for readings in a row, charge is integrated from the readings; the output going off
// ends a step waiting for a trip and the plan otherwise; Stop ends it at once.

#include <gtest/gtest.h>

#include <QStringList>

#include "device/device_records.h"
#include "tests/support/manual_clock.h"
#include "tools/core/plan_runner.h"
#include "tools/core/sequencer.h"

namespace {

class FakeTarget : public TSequencerTarget {
public:
    QStringList calls;
    bool on = false;
    void SetVoltage(uint32_t AUset) override { calls << "U" + QString::number(AUset); }
    void SetCurrent(uint32_t AIset) override { calls << "I" + QString::number(AIset); }
    bool OutputOn() const override { return on; }
    void ToggleOutput() override {
        on = !on;
        calls << (on ? "on" : "off");
    }
};

class PlanRunnerTest : public ::testing::Test {
protected:
    PlanRunnerTest() {
        runner.fOnStepStarted = [this](int AStep) { events << "start " + QString::number(AStep); };
        runner.fOnStepEnded = [this](const TStepResult& AResult) {
            const TPlanStep& step = runner.Plan().Steps[size_t(AResult.Step)];
            events << "end " + QString::number(AResult.Step) + " " + StepEndText(step, AResult);
            results.push_back(AResult);
        };
        runner.fOnFinished = [this](TPlanEnd AEnd) {
            events << "finished " + QString::number(static_cast<int>(AEnd));
        };
    }

    // One reading a second later: the set points the target was given, the output as the
    // target has it, amps through the given voltage (0.01 A model).
    void Read(double AAmps, double AVolts = 4.0, uint32_t AProtect = 0, bool ACC = false) {
        clock.Advance(1000);
        TCurrentSet d{};
        d.USET = uset;
        d.ISET = iset;
        d.ONOFF = target.on ? 1 : 0;
        d.UOUT = target.on ? static_cast<uint32_t>(AVolts * 100 + 0.5) : 0;
        d.IOUT = target.on ? static_cast<uint32_t>(AAmps * 100 + 0.5) : 0;
        d.CVCC = ACC ? 1 : 0;
        d.PROTECT = AProtect;
        runner.Reading(d);
    }
    // The set points the target was last given reach the supply.
    void Apply() {
        for (const QString& call : target.calls) {
            if (call.startsWith('U')) uset = call.mid(1).toUInt();
            if (call.startsWith('I')) iset = call.mid(1).toUInt();
        }
    }

    testsupport::TManualClock clock;
    FakeTarget target;
    TPlanRunner runner{target, clock};
    QStringList events;
    std::vector<TStepResult> results;
    uint32_t uset = 0;
    uint32_t iset = 0;
};

TEST_F(PlanRunnerTest, NoisyReadingDoesNotEndAStepAndChargeIsIntegrated) {
    const TPlan plan = ParsePlanCsv(
                           "voltage,current,seconds,until,max_seconds\n"
                           "4.2,1,,I<=0.1|Ah>=5,3600\n"
                           "5,0.2,3,,\n")
                           .Plan;
    target.on = true;  // on at other set points: switched off first
    ASSERT_TRUE(runner.Start(plan, 1));
    EXPECT_EQ(target.calls, QStringList({"off", "U420", "I100"}));
    Read(0);
    EXPECT_FALSE(target.on) << "not on before the supply shows the step's set points";
    Apply();
    Read(0);
    EXPECT_TRUE(target.on);
    Read(0.50);  // first reading with the output on: the step's time starts here
    Read(0.50);
    Read(0.05);  // one noisy reading
    Read(0.50);
    EXPECT_EQ(runner.LeadingCondition(), -1);
    Read(0.08);
    Read(0.08);
    EXPECT_EQ(runner.Progress().Held, std::vector<int>({2, 0}));
    EXPECT_EQ(runner.LeadingCondition(), 0);
    EXPECT_EQ(events, QStringList({"start 0"})) << "two readings in a row are not enough";
    Read(0.06);
    EXPECT_EQ(events, QStringList({"start 0", "end 0 I<=0.100", "start 1"}));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].ElapsedMs, 6000u);
    // Trapezoids: (0.5+0.5 + 0.5+0.05 + 0.05+0.5 + 0.5+0.08 + 0.08+0.08 + 0.08+0.06) / 2 A s.
    EXPECT_NEAR(results[0].Ah * 3600, 1.49, 1e-9);
    EXPECT_NEAR(results[0].Wh * 3600, 1.49 * 4.0, 1e-9);

    // Step 1: readings at the old set points do not count; the time still runs.
    Read(0.50);
    Apply();
    Read(0.20, 5.0);
    EXPECT_EQ(events.size(), 3);
    Read(0.20, 5.0);
    EXPECT_EQ(events,
              QStringList({"start 0", "end 0 I<=0.100", "start 1", "end 1 time", "finished 0"}));
    EXPECT_FALSE(target.on) << "switched off after the last step";
    EXPECT_NEAR(runner.Progress().PlanAh * 3600, 1.49 + 0.28 + 0.35 + 0.2, 1e-9);
    EXPECT_EQ(runner.Progress().PlanMs, 9000u);
}

TEST_F(PlanRunnerTest, OutputOffEndsAStepWaitingForATripAndOtherwiseThePlan) {
    const TPlan plan = ParsePlanCsv(
                           "voltage,current,seconds,until,max_seconds\n"
                           "12,2,,trip|CV,600\n"
                           "5,0.2,,CC,600\n"
                           "6,0.2,,CC,600\n")
                           .Plan;
    ASSERT_TRUE(runner.Start(plan, 1));
    Apply();
    Read(0);
    Read(2.0, 10.0, 0, true);
    target.on = false;  // OCP switched the output off (the session follows the supply)
    Read(0, 0, 2);
    EXPECT_EQ(events, QStringList({"start 0", "end 0 trip", "start 1"}));
    EXPECT_EQ(target.calls.mid(2), QStringList({"on", "U500", "I20"}));
    Apply();
    Read(0);
    EXPECT_TRUE(target.on) << "the next step switches the output on again";
    Read(0.1, 5.0);
    target.on = false;  // off at the front panel: no step waits for that
    Read(0);
    EXPECT_EQ(events.mid(3), QStringList({"end 1 output off", "finished 1"}));
    EXPECT_FALSE(runner.Running());

    // Stop: the running step ends "stopped", the plan with the cause.
    events.clear();
    target.on = false;
    ASSERT_TRUE(runner.Start(plan, 1));
    runner.Stop(true);
    EXPECT_EQ(events, QStringList({"start 0", "end 0 stopped", "finished 3"}));
    EXPECT_EQ(runner.EndReason(), TPlanEnd::LinkLost);
}

}  // namespace
