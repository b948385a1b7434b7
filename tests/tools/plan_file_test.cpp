// Plan files: the superset of step files (headed columns, conditions, maximum times), read back
// from their own text; refusals naming the line; limits checked against a model.

#include <gtest/gtest.h>

#include "tools/core/plan.h"
#include "tools/core/step_table.h"

namespace {

TEST(PlanFile, StepFilesStayValidAndConditionsReadBackFromTheirText) {
    // A step file of 'sequence run' is a plan of fixed steps.
    const QByteArray steps = "voltage,current,seconds,enabled\n5,0.2,2\n9,1,1,0\n";
    const TPlanFile legacy = ParsePlanCsv(steps);
    ASSERT_TRUE(legacy.Error.isEmpty()) << legacy.Error.toStdString();
    const TStepFile old = ParseStepCsv(steps);
    ASSERT_EQ(legacy.Plan.Steps.size(), old.Steps.size());
    for (size_t i = 0; i < old.Steps.size(); ++i) {
        const TPlanStep& s = legacy.Plan.Steps[i];
        EXPECT_EQ(s.Line, old.Steps[i].Line);
        EXPECT_EQ(s.Centivolts, old.Steps[i].Centivolts);
        EXPECT_EQ(s.Milliamps, old.Steps[i].Milliamps);
        EXPECT_EQ(s.Seconds, old.Steps[i].Seconds);
        EXPECT_EQ(s.Enabled, old.Steps[i].Enabled);
        EXPECT_TRUE(s.Until.empty());
    }
    EXPECT_TRUE(ParsePlanCsv("5,0.2,2\n6,0.3,4,0\n").Error.isEmpty()) << "no heading";

    const TPlanFile file = ParsePlanCsv(
        "# charge, then hold\n"
        "max_seconds, until ,voltage,current,seconds\n"
        "14400,I<=0.1|Ah>=2.5 | plan.Wh>=10,4.2,1,\n"
        "\n"
        "60,cc|CV|trip|V<=3.5V|V>=4.15|I>=0.050a,4.2,0.05,30\n"
        ",,5,0.2,60\n");
    ASSERT_TRUE(file.Error.isEmpty()) << file.Error.toStdString();
    ASSERT_EQ(file.Plan.Steps.size(), 3u);
    const TPlanStep& charge = file.Plan.Steps[0];
    EXPECT_EQ(charge.Line, 3);
    EXPECT_EQ(charge.Centivolts, 420u);
    EXPECT_EQ(charge.Milliamps, 1000u);
    EXPECT_EQ(charge.Seconds, 0u);
    EXPECT_EQ(charge.MaxSeconds, 14400u);
    EXPECT_EQ(UntilText(charge), "I<=0.100|Ah>=2.500|plan.Wh>=10.000");
    EXPECT_EQ(UntilText(file.Plan.Steps[1]), "CC|CV|trip|V<=3.50|V>=4.15|I>=0.050");
    EXPECT_EQ(file.Plan.Steps[1].Seconds, 30u) << "seconds beside until: one more end";
    EXPECT_EQ(file.Plan.Steps[2].Limit(), 60u);

    // A ramp: from the step before, or from a start it names.
    const TPlanFile ramps = ParsePlanCsv(
        "voltage,current,seconds,ramp\n"
        "2,1,5,V from 1.5\n"
        "12,1,60, v | I from 0.25A \n");
    ASSERT_TRUE(ramps.Error.isEmpty()) << ramps.Error.toStdString();
    EXPECT_EQ(RampText(ramps.Plan.Steps[0].Ramp), "V from 1.50");
    EXPECT_EQ(RampText(ramps.Plan.Steps[1].Ramp), "V|I from 0.250");
    EXPECT_EQ(RampText(ResolvedRamp(ramps.Plan, 1)), "V from 2.00|I from 0.250");

    // The file form reads back to the same plan (lines aside), ramps included.
    TPlan plan = file.Plan;
    plan.Steps[2].Enabled = false;
    plan.Steps.insert(plan.Steps.end(), ramps.Plan.Steps.begin(), ramps.Plan.Steps.end());
    const TPlanFile back = ParsePlanCsv(PlanCsvText(plan, "made by a test\nsecond line"));
    ASSERT_TRUE(back.Error.isEmpty()) << back.Error.toStdString();
    ASSERT_EQ(back.Plan.Steps.size(), plan.Steps.size());
    for (size_t i = 0; i < plan.Steps.size(); ++i) {
        TPlanStep read = back.Plan.Steps[i];
        read.Line = plan.Steps[i].Line;
        EXPECT_EQ(read, plan.Steps[i]) << i;
    }
}

struct BadFile {
    const char* name;
    const char* text;
    const char* error;
};

class PlanFileRefused : public ::testing::TestWithParam<BadFile> {};

TEST_P(PlanFileRefused, NamesTheLine) {
    EXPECT_EQ(ParsePlanCsv(GetParam().text).Error.toStdString(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanFileRefused,
    ::testing::Values(
        BadFile{"UntilWithoutMaxSeconds", "voltage,current,until\n4.2,1,I<=0.1\n",
                "line 2: a step with until needs max_seconds, the longest it may run"},
        BadFile{"MaxSecondsWithoutUntil", "voltage,current,seconds,max_seconds\n4.2,1,5,9\n",
                "line 2: max_seconds belongs to a step with until; a fixed step gives seconds"},
        BadFile{"NoEndAtAll", "voltage,current,seconds,until\n4.2,1,,\n",
                "line 2: give seconds, or until with max_seconds"},
        BadFile{"UnknownCondition", "voltage,current,until,max_seconds\n\n4.2,1,I<0.1,60\n",
                "line 3: condition \"I<0.1\": expected I<=A, I>=A, V<=V, V>=V, Ah>=N, Wh>=N, "
                "plan.Ah>=N, plan.Wh>=N, CC, CV or trip"},
        BadFile{"ChargeOnlyGrows", "voltage,current,until,max_seconds\n4.2,1,Ah<=2,60\n",
                "line 2: condition \"Ah<=2\": charge and energy only grow; use Ah>="},
        BadFile{"TooManyDecimals", "voltage,current,until,max_seconds\n4.2,1,V>=4.123,60\n",
                "line 2: condition \"V>=4.123\": the value is not a number with at most 2 "
                "decimals"},
        BadFile{"EmptyConditionBetweenBars", "voltage,current,until,max_seconds\n4.2,1,CC||CV,60\n",
                "line 2: condition \"\": expected I<=A, I>=A, V<=V, V>=V, Ah>=N, Wh>=N, "
                "plan.Ah>=N, plan.Wh>=N, CC, CV or trip"},
        BadFile{"UnknownColumn", "voltage,current,minutes\n",
                "line 1: unknown column \"minutes\" (voltage, current, seconds, until, "
                "max_seconds, ramp, enabled)"},
        BadFile{"RampWithoutAStart", "voltage,current,seconds,ramp,enabled\n1,1,5,,0\n5,1,10,V\n",
                "line 3: the ramp has no step before it to start from; name its start (V from "
                "N, I from N)"},
        BadFile{"RampOfAnotherQuantity", "voltage,current,seconds,ramp\n5,1,10,W from 2\n",
                "line 2: ramp \"W from 2\": expected V, I, V from N or I from N, joined by |"},
        BadFile{"SecondsBeyondMax", "voltage,current,seconds,until,max_seconds\n4.2,1,90,CV,60\n",
                "line 2: seconds is more than max_seconds"},
        BadFile{"TooManyValues", "voltage,current,seconds\n5,0.2,1,1\n",
                "line 2: expected voltage,current,seconds"},
        BadFile{"NoStep", "# nothing\nvoltage,current,seconds\n", "the file holds no step"}),
    [](const auto& AInfo) { return std::string(AInfo.param.name); });

TEST(PlanLimits, RefusedAgainstTheModelWithTheLine) {
    const TPlan plan = ParsePlanCsv(
                           "voltage,current,seconds,until,max_seconds\n"
                           "5,0.2,60,,\n"
                           "14.4,0.5,,I<=0.005,3600\n")
                           .Plan;
    // A 5015: 51 V, 15 A in 0.01 A; a 5005 measures mA.
    EXPECT_EQ(CheckPlanLimits(plan, 5100, 1500, 1).toStdString(),
              "line 3: I<=0.005: this model measures the current in steps of 0.01 A");
    EXPECT_EQ(CheckPlanLimits(plan, 5000, 5000, 10), "");
    EXPECT_EQ(CheckPlanLimits(plan, 1200, 5000, 10).toStdString(),
              "line 3: voltage outside 0.10 to 12.00 V");
    EXPECT_EQ(CheckPlanLimits(plan, 5000, 5000, 10, 1500).toStdString(),
              "line 3: 14.40 V needs an input of at least 15.84 V; the supply's input is 15.00 V");
    TPlan high = plan;
    high.Steps[1].Until = {{TPlanCondKind::CurrentAtLeast, 6000, false}};
    EXPECT_EQ(CheckPlanLimits(high, 5000, 5000, 10).toStdString(),
              "line 3: I>=6.000: above the most this model delivers (5.000 A)");
    high.Steps[1].Enabled = false;
    EXPECT_EQ(CheckPlanLimits(high, 5000, 5000, 10, 1500), "") << "disabled steps do not count";
}

}  // namespace
