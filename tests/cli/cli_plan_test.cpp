// benchlordctl plan run and charge against the virtual supply, on the supply's own clock (each
// reading lets some seconds of it pass, so an hour's charge takes a moment): a step ends on each
// kind of condition and on its maximum time; ramps move their set points a step per reading
// and end on a condition part-way; a Li-ion charge from 3.6 V ends on the taper with
// the charge the battery took; what the model cannot deliver is refused with nothing written;
// Ctrl-C, a lost link and a log that cannot be written leave the output off and the preset's
// protections as they were.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "session/session_core.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/supply_writes.h"
#include "tools/core/readings_csv.h"

using clitest::TCliHarness;
using testsupport::SupplyWrites;

namespace {

constexpr uint16_t kM0Ovp = simreg::kPresetBase + simreg::P_SOVP;
constexpr uint16_t kM0Ocp = simreg::kPresetBase + simreg::P_SOCP;

testsupport::TSupplyConfig Unit() {
    testsupport::TSupplyConfig c = TCliHarness::DefaultSupply();
    c.model = 5005;  // 51 V, 5.1 A in mA
    c.manualClock = true;
    return c;
}

double Number(const std::string& AOut, const QString& AKey) {
    const auto m =
        QRegularExpression("^" + AKey + " +([0-9.]+)", QRegularExpression::MultilineOption)
            .match(QString::fromStdString(AOut));
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

class CliPlan : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.supply.Started()) << h.supply.Error(); }

    QString File(const QString& AName, const QByteArray& AText) {
        QFile file(dir.filePath(AName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AText);
        return file.fileName();
    }

    // Plans run on the supply's clock, AStepMs of which pass with every reading; AOnReading
    // runs after each reading with the supply's output on.
    clitest::TCliRun Run(const QStringList& AArgs, uint32_t AStepMs = 1000,
                         std::function<void(TCliRunner&)> AOnOutputOn = nullptr) {
        return h.Run(
            h.Tcp() + AArgs,
            [&](TCliRunner& ARunner) {
                ARunner.EditConfig().PlanClock = &h.supply.Clock();
                TCliRunner* runner = &ARunner;
                ARunner.fOnSessionStarted = [this, runner, AStepMs, AOnOutputOn] {
                    QObject::connect(runner->Session(), &TSessionCore::LiveReading, runner,
                                     [this, runner, AStepMs, AOnOutputOn] {
                                         h.supply.Clock().Advance(AStepMs);
                                         if (AOnOutputOn && h.supply.Reg(simreg::ONOFF) == 1)
                                             AOnOutputOn(*runner);
                                     });
                };
            },
            60000);
    }

    TCliHarness h{Unit()};
    QTemporaryDir dir;
};

// A 0.5 Ah Li-ion cell at 3.6 V, 0.15 ohm.
void SmallCell(VirtualSupply& ASupply) {
    SimBattery cell;
    cell.capacityAh = 0.5;
    ASupply.SetBattery(cell);
}
void TenOhms(VirtualSupply& ASupply) {
    ASupply.SetLoad(10);
}

struct TEndCase {
    const char* Name;
    void (*Load)(VirtualSupply&);
    const char* Steps;  // after the heading voltage,current,seconds,until,max_seconds
    const char* Ended;  // the line that must be printed
};

class CliPlanEnds : public CliPlan, public ::testing::WithParamInterface<TEndCase> {};

TEST_P(CliPlanEnds, StepEndsOnItsConditionAndThePlanSwitchesOff) {
    const TEndCase& c = GetParam();
    c.Load(h.supply.Supply());
    // M0's OCP at 0.1 A: only the trip case draws more.
    h.supply.SetReg(kM0Ocp, std::string(c.Name) == "ProtectionTrip" ? 100 : 5100);
    const QString plan =
        File("plan.csv", QByteArray("voltage,current,seconds,until,max_seconds\n") + c.Steps);
    const auto run = Run({"plan", "run", plan}, 10000);
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find(c.Ended), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("plan     completed"), std::string::npos) << run.Out;
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, CliPlanEnds,
    ::testing::Values(
        // The taper of a charge.
        TEndCase{"CurrentFallsTo", SmallCell, "4.2,1,,I<=0.300,18000\n",
                 "step 1 ended: I<=0.300 after 0:2"},
        TEndCase{"CurrentRisesTo", TenOhms, "5,1,,I>=0.500,60\n", "step 1 ended: I>=0.500 after"},
        // The battery's voltage climbs under constant current.
        TEndCase{"VoltageRisesTo", SmallCell, "4.2,1,,V>=4.00,18000\n",
                 "step 1 ended: V>=4.00 after 0:1"},
        TEndCase{"VoltageFallsTo", TenOhms, "5,0.3,,V<=3.00,60\n", "step 1 ended: V<=3.00 after"},
        // 0.5 A: 0.010 Ah in 72 s, 0.050 Wh at 2.5 W in 72 s; with a reading every 10 s and
        // three in a row the step ends at 100 s.
        TEndCase{"ChargeReaches", TenOhms, "5,1,,Ah>=0.010,600\n",
                 "step 1 ended: Ah>=0.010 after 0:01:"},
        TEndCase{"EnergyReaches", TenOhms, "5,1,,Wh>=0.050,600\n",
                 "step 1 ended: Wh>=0.050 after 0:01:"},
        TEndCase{"PlanChargeReaches", TenOhms, "5,1,60,,\n5,1,,plan.Ah>=0.020,600\n",
                 "step 2 ended: plan.Ah>=0.020 after 0:01:"},
        TEndCase{"ConstantCurrent", TenOhms, "5,0.3,,CC,60\n", "step 1 ended: CC after"},
        TEndCase{"ConstantVoltage", TenOhms, "5,1,,CV,60\n", "step 1 ended: CV after"},
        // OCP trips at once; the next step switches the output on again.
        TEndCase{"ProtectionTrip", TenOhms, "5,1,,trip,60\n3,0.05,20,,\n",
                 "step 1 ended: trip after 0:00:00, 0.000 Ah 0.000 Wh\nstep 2: 3.00 V 0.050 A "
                 "20 s\nstep 2 ended: time"},
        TEndCase{"MaximumTime", TenOhms, "5,1,,I<=0.010,30\n",
                 "step 1 ended: max time after 0:00:30"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(CliPlan, LiIonChargeFromThreeSixVoltsEndsOnTheTaperWithTheChargeTheCellTook) {
    const SimBattery start;  // 2 Ah at 3.6 V
    h.supply->SetBattery(start);
    const uint16_t ovp = h.supply.Reg(kM0Ovp);
    const uint16_t ocp = h.supply.Reg(kM0Ocp);
    bool raisedSeen = false;
    const QString log = dir.filePath("charge.csv");
    const auto run = Run({"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "2",
                          "--current", "1", "--log", log},
                         10000, [&](TCliRunner&) {
                             raisedSeen = raisedSeen || (h.supply.Reg(kM0Ovp) == 441 &&
                                                         h.supply.Reg(kM0Ocp) == 1100);
                         });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("charge li-ion, 1 cell, 2.000 Ah: 1.000 A up to 4.20 V, then 4.20 V "
                           "until the current falls to 0.200 A; at most 4:00:00\n"
                           "voltage,current,seconds,until,max_seconds\n"
                           "4.20,1.000,,I<=0.200,14400\n"),
              std::string::npos)
        << run.Out;
    EXPECT_TRUE(raisedSeen) << "OVP and OCP a little above the plan while it ran";
    EXPECT_NE(run.Out.find("plan     charged: the current fell to 0.200 A"), std::string::npos)
        << run.Out;

    const auto end = h.supply->Battery();
    ASSERT_TRUE(end);
    EXPECT_GT(end->charge, 0.95);
    const double took = (end->charge - start.charge) * start.capacityAh;
    EXPECT_NEAR(Number(run.Out, "ah"), took, 0.01 * took) << run.Out;
    EXPECT_GT(Number(run.Out, "wh"), took * 3.7);
    EXPECT_GT(Number(run.Out, "seconds"), 3600);

    EXPECT_EQ(h.supply.Reg(kM0Ovp), ovp);
    EXPECT_EQ(h.supply.Reg(kM0Ocp), ocp);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    EXPECT_EQ(rows[0], kReadingsCsvHeader);
    EXPECT_GT(rows.size(), 300) << "a row for each 10 s reading";
}

// A voltage ramp on 10 ohms ends on V>=6.00 part-way up, then a current ramp runs its time: the
// supply is sent one set point after another, each only once a reading showed the last, never
// two between readings, in the model's units; the log holds the set points the supply showed.
TEST_F(CliPlan, RampsMoveTheSetPointsOnePerReadingAndEndOnAConditionPartWay) {
    TenOhms(h.supply.Supply());
    const QString log = dir.filePath("ramp.csv");
    const QString plan = File("ramp.csv",
                              "voltage,current,seconds,until,max_seconds,ramp\n"
                              "2.00,1.000,3,,\n"
                              "10.00,1.000,,V>=6.00,60,V\n"
                              "5.00,0.500,10,,,I from 0.100\n");
    // The writes the supply had received at each reading with the output on.
    std::vector<size_t> writesAt;
    const auto run = Run({"plan", "run", plan, "--log", log}, 1000, [&](TCliRunner&) {
        writesAt.push_back(SupplyWrites(h.supply.Supply()).size());
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find("step 2: 10.00 V 1.000 A until V>=6.00, at most 60 s, ramp V from "
                           "2.00 V over 60 s\nstep 2 ended: V>=6.00 after 0:00:3"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("step 3: 5.00 V 0.500 A 10 s, ramp I from 0.100 A over 10 s\n"
                           "step 3 ended: time after 0:00:10"),
              std::string::npos)
        << run.Out;
    for (size_t i = 1; i < writesAt.size(); ++i)
        EXPECT_LE(writesAt[i] - writesAt[i - 1], 1u) << "two writes between readings " << i;

    // The set points sent, in order: the voltage climbs from 2.00 V and stops short of 10 V
    // where V>=6.00 ended the step; the current then climbs from 0.100 A at 5 V.
    std::vector<uint32_t> volts, amps;
    for (const QString& w : SupplyWrites(h.supply.Supply())) {
        const QStringList f = w.split(' ');
        if (f[0] != "set") continue;
        if (f[2] == "1000" && f[1] != "200") volts.push_back(f[1].toUInt());
        if (f[1] == "500") amps.push_back(f[2].toUInt());
    }
    ASSERT_GT(volts.size(), 20u);
    EXPECT_TRUE(std::is_sorted(volts.begin(), volts.end()) &&
                std::adjacent_find(volts.begin(), volts.end()) == volts.end());
    EXPECT_GT(volts.front(), 200u);
    EXPECT_GE(volts.back(), 600u);
    EXPECT_LT(volts.back(), 700u) << "ended part-way up";
    ASSERT_GT(amps.size(), 5u);
    EXPECT_EQ(amps.front(), 100u);
    EXPECT_TRUE(std::is_sorted(amps.begin(), amps.end()));
    EXPECT_GE(amps.back(), 400u);
    EXPECT_LE(amps.back(), 500u);

    // The log's set points are those the supply showed: each one of the values sent.
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().trimmed().split('\n');
    ASSERT_EQ(rows[0], kReadingsCsvHeader);
    std::vector<uint32_t> logged;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const uint32_t uset = static_cast<uint32_t>(rows[i].split(',')[1].toDouble() * 100 + 0.5);
        const uint32_t iset = static_cast<uint32_t>(rows[i].split(',')[2].toDouble() * 1000 + 0.5);
        if (iset == 1000 && uset != 200) logged.push_back(uset);
    }
    EXPECT_GT(logged.size(), 20u);
    EXPECT_TRUE(std::is_sorted(logged.begin(), logged.end()));
    for (uint32_t uset : logged)
        EXPECT_NE(std::find(volts.begin(), volts.end(), uset), volts.end()) << uset;
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
}

TEST_F(CliPlan, WhatTheModelCannotDeliverIsRefusedWithNothingWritten) {
    const QString plan = File("plan.csv",
                              "voltage,current,seconds,until,max_seconds\n"
                              "5,0.2,60,,\n"
                              "60,1,,I<=0.1,600\n");
    auto run = Run({"plan", "run", plan});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("plan.csv: line 3: voltage outside 0.10 to 51.00 V"), std::string::npos)
        << run.Err;
    // A ramp from beyond the model's range.
    run = Run({"plan", "run",
               File("ramp.csv", "voltage,current,seconds,ramp\n5,0.2,60,V from 52|I from 6\n")});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("ramp.csv: line 2: ramp from 52.00 V: outside 0.10 to 51.00 V"),
              std::string::npos)
        << run.Err;
    run = Run({"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "20"});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("charge: DPS5005 cannot deliver this plan: current outside 0.001 to "
                           "5.100 A"),
              std::string::npos)
        << run.Err;
    h.supply->SetInputVoltage(12);
    run = Run({"charge", "--chemistry", "lead-acid", "--cells", "6", "--capacity", "7"});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Out.find("14.40,0.700,,I<=0.140,"), std::string::npos) << "printed first";
    EXPECT_NE(run.Err.find("charge: DPS5005 cannot deliver this plan: 14.40 V needs an input of "
                           "at least 15.84 V; the supply's input is 12.00 V"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
}

// A supply another program holds (its keys locked, its output on) is left alone: two programs
// would fight over the output.
TEST_F(CliPlan, ASupplyAnotherProgramHoldsIsLeftAlone) {
    h.supply.SetReg(simreg::LOCK, 1);
    h.supply->SetOutput(true);
    const QString plan = File("plan.csv", "5,0.2,60\n");
    for (const QStringList& args :
         {QStringList{"plan", "run", plan},
          QStringList{"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "1"}}) {
        const auto run = Run(args);
        EXPECT_EQ(run.Code, 7);
        EXPECT_NE(run.Err.find(": the keys are locked by another program: a run may be going "
                               "on"),
                  std::string::npos)
            << run.Err;
        EXPECT_NE(run.Err.find("--take-over"), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
}

// With no cell (an open contact) the current is 0 from the start: the taper condition holds at
// once, but a charge whose current never flowed is no charged cell.
TEST_F(CliPlan, ChargeOnAnOpenLoadFailsAndPutsEverythingBack) {
    h.supply->SetLoad(0);
    const uint16_t ovp = h.supply.Reg(kM0Ovp);
    const uint16_t ocp = h.supply.Reg(kM0Ocp);
    uint16_t raisedOcp = 0;
    const auto run = Run({"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "0.4",
                          "--current", "0.04", "--termination", "0.01"},
                         1000, [&](TCliRunner&) { raisedOcp = h.supply.Reg(kM0Ocp); });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 4) << run.Err;
    EXPECT_EQ(run.Out.find("charged"), std::string::npos) << run.Out;
    EXPECT_NE(run.Err.find("charge: no charge current: it stayed at 0.000 A, not above the "
                           "termination current of 0.010 A, for 10 s; is a cell connected"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(raisedOcp, 44) << "10 % above the 0.040 A charge";
    EXPECT_EQ(h.supply.Reg(kM0Ovp), ovp);
    EXPECT_EQ(h.supply.Reg(kM0Ocp), ocp);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

// What a plan file holds is quoted safely and the message says what is wrong with it.
TEST_F(CliPlan, PlanFileProblemsAreNamedWithTheFileTextEscaped) {
    struct TCase {
        QByteArray Text;
        const char* Message;
    };
    const TCase cases[] = {
        {"voltage,current,seconds\n\x1b[2J\x1b]0;owned\x07,1,1\n",
         "line 2: voltage \"\\x1b[2J\\x1b]0;owned\\x07\" is not a number of volts"},
        {"voltage,current,seconds\n-5.00,0.2,10\n",
         "line 2: voltage \"-5.00\" is negative; give a number of volts"},
        {"-5.00,0.2,10\n", "line 1: voltage \"-5.00\" is negative"},
        {"voltage,current,seconds,until,max_seconds\n5,0.2,,V<=-1,60\n",
         "condition \"V<=-1\": the value is negative"},
    };
    for (const TCase& c : cases) {
        const auto run = Run({"plan", "run", File("bad.csv", c.Text)});
        EXPECT_EQ(run.Code, 2) << c.Message;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
        EXPECT_EQ(run.Err.find('\x1b'), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
}

// How a charge is cut short once its output is on, and the exit code.
struct TCut {
    const char* Name;
    std::function<void(TCliRunner&, testsupport::TVirtualSupplyFixture&)> Cause;
    int Code;
    bool KeysReleased;
};

class CliChargeCut : public CliPlan, public ::testing::WithParamInterface<TCut> {};

TEST_P(CliChargeCut, LeavesTheOutputOffAndTheProtectionsAsTheyWere) {
    h.supply->SetBattery(SimBattery{});
    const uint16_t ovp = h.supply.Reg(kM0Ovp);
    const uint16_t ocp = h.supply.Reg(kM0Ocp);
    bool cut = false;
    const auto run = Run({"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "2"},
                         1000, [&](TCliRunner& ARunner) {
                             if (cut) return;
                             cut = true;
                             GetParam().Cause(ARunner, h.supply);
                         });
    ASSERT_TRUE(run.Finished);
    EXPECT_TRUE(cut);
    EXPECT_EQ(run.Code, GetParam().Code) << run.Err;
    h.supply->SetFaults({});
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(kM0Ovp), ovp);
    EXPECT_EQ(h.supply.Reg(kM0Ocp), ocp);
    if (GetParam().KeysReleased) {
        EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Charge, CliChargeCut,
    ::testing::Values(
        TCut{"Interrupt", [](TCliRunner& ARunner, auto&) { ARunner.Interrupt(); }, 130, true},
        // Requests still reach the supply but no reply comes back: the link is lost, and the
        // switch-off and the old protections are still sent (after three unanswered writes the
        // link waits before it opens again, so the key release does not get through).
        TCut{"RepliesDropped",
             [](TCliRunner&, testsupport::TVirtualSupplyFixture& ASupply) {
                 SimFaults f;
                 f.dropEvery = 1;
                 ASupply->SetFaults(f);
             },
             3, false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(CliPlan, ALogThatCannotBeWrittenEndsTheChargeWithSixAndPutsTheProtectionsBack) {
    h.supply->SetBattery(SimBattery{});
    const uint16_t ovp = h.supply.Reg(kM0Ovp);
    // A folder that is not there: refused before anything is written.
    auto run = Run({"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "2", "--log",
                    dir.filePath("none/charge.csv")});
    EXPECT_EQ(run.Code, 6);
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
    // A full disk (files may not grow past a few bytes): found when the run starts, after the
    // protections were raised.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 8;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const QString log = dir.filePath("charge.csv");
    run = Run({"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "2", "--log", log});
    ::setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("cannot write " + log.toStdString() + ": File too large"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(h.supply.Reg(kM0Ovp), ovp);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

}  // namespace
