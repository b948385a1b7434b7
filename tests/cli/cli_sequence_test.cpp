// benchlordctl sequence against the virtual supply: a step file run with its set points, output
// switching and streamed log; a bad table refused with its line number before anything is sent;
// an interrupted run switching the output off; the saved table shown.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "session/settings_store.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/supply_writes.h"
#include "tools/core/log_files.h"
#include "tools/core/step_table.h"

using clitest::TCliHarness;

namespace {

using testsupport::SupplyWrites;

class CliSequence : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.supply.Started()) << h.supply.Error(); }

    QString File(const QString& AName, const QByteArray& AText) {
        QFile file(dir.filePath(AName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AText);
        return file.fileName();
    }

    clitest::TCliRun Run(const QStringList& AArgs,
                         const std::function<void(TCliRunner&)>& AMore = nullptr) {
        return h.Run(h.Tcp() + AArgs, [&](TCliRunner& ARunner) {
            TCliConfig& config = ARunner.EditConfig();
            config.Sequence = {30, 5};
            config.TablePath = dir.filePath("Persistent.ini");
            config.UserSettingsPath = dir.filePath("DPS.ini");
            if (AMore) AMore(ARunner);
        });
    }

    QTemporaryDir dir;
    TCliHarness h;
};

TEST_F(CliSequence, StepFileRunsWithItsSetPointsAndStreamsTheLog) {
    const QString steps = File("steps.csv",
                               "voltage,current,seconds,enabled\n"
                               "5,0.2,2\n"
                               "9,1,1,0\n"
                               "6.5,0.3,1\n"
                               "7,0.1,1\n");
    const QString log = dir.filePath("run.txt");
    const auto run = Run({"sequence", "run", steps, "--log", log, "--log-every", "1"});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "step 1: 5.00 V 0.20 A 2 s\n"
              "step 3: 6.50 V 0.30 A 1 s\n"
              "step 4: 7.00 V 0.10 A 1 s\n");
    EXPECT_EQ(SupplyWrites(h.supply.Supply()),
              QStringList({"lock 1", "set 500 20", "onoff 1", "set 650 30", "set 700 10", "onoff 0",
                           "lock 0"}));
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Heading, the start record and one per tick (2 + 1 + 1), each line ended by CR LF.
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], QByteArray(kTextLogHeading) + "\r");
    EXPECT_TRUE(lines[5].contains("   7.00   0.10")) << lines[5].toStdString();
}

TEST_F(CliSequence, BadTablesAreRefusedWithTheirLineAndNothingIsSent) {
    const QString syntax = File("syntax.csv", "5,0.2,1\n5,0.2\n");
    auto run = Run({"sequence", "run", syntax});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("syntax.csv: line 2: expected voltage,current,seconds"),
              std::string::npos)
        << run.Err;
    const QString limits = File("limits.csv", "5,0.2,1\n# too high for a 5015\n60,1,1\n");
    run = Run({"sequence", "run", limits});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("limits.csv: line 3: voltage outside 0.10 to 51.00 V"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
}

TEST_F(CliSequence, InterruptSwitchesTheOutputOffAndReleasesTheKeys) {
    const QString steps = File("long.csv", "5,0.2,3600\n");
    const QString log = dir.filePath("run.csv");
    const auto run = Run({"sequence", "run", steps, "--log", log}, [&](TCliRunner& ARunner) {
        TCliRunner* runner = &ARunner;
        runner->fOnSessionStarted = [this, runner] {
            // Once the output is on, Ctrl-C.
            auto* timer = new QTimer(runner);
            QObject::connect(timer, &QTimer::timeout, runner, [this, runner] {
                if (h.supply.Reg(simreg::ONOFF) == 1) runner->Interrupt();
            });
            timer->start(10);
        };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 130);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_GE(ParseCsvLog(file.readAll()).Records.size(), 1u);
}

TEST_F(CliSequence, LostLinkEndsTheRunWithExitThree) {
    const QString steps = File("long.csv", "5,0.2,3600\n");
    const auto run = Run({"sequence", "run", steps}, [&](TCliRunner& ARunner) {
        TCliRunner* runner = &ARunner;
        runner->fOnSessionStarted = [this, runner] {
            auto* timer = new QTimer(runner);
            QObject::connect(timer, &QTimer::timeout, runner, [this] {
                if (h.supply.Started() && h.supply.Reg(simreg::ONOFF) == 1) h.supply.Stop();
            });
            timer->start(10);
        };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 3) << run.Err;
}

TEST_F(CliSequence, ShowPrintsTheSavedTable) {
    TStepTable table = TStepTable::Initial();
    table.Count = 2;
    table.Steps[1] = {1234, 150, 90, false, {}};
    ASSERT_EQ(
        SaveTable(table, TSettingsStore(dir.filePath("DPS.ini")), dir.filePath("Persistent.ini")),
        "");
    const auto run = h.Run({"sequence", "show"}, [&](TCliRunner& ARunner) {
        ARunner.EditConfig().TablePath = dir.filePath("Persistent.ini");
        ARunner.EditConfig().UserSettingsPath = dir.filePath("DPS.ini");
    });
    EXPECT_EQ(run.Code, 0);
    EXPECT_NE(run.Out.find("1\tyes\t5.00\t200\t60\n2\tno\t12.34\t150\t90\n"), std::string::npos)
        << run.Out;
}

}  // namespace
