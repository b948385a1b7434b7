// benchlordctl sweep against the virtual supply: one settled row per point with a transient in
// the first half of each dwell left out, the stop at compliance, refusals before anything is set,
// and the output left off after Ctrl-C and after a lost link. The dwell runs on a clock that
// moves 10 ms with every reading, so the rows do not depend on the machine's speed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "sim/sim_device.h"
#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/manual_clock.h"
#include "tests/support/supply_writes.h"
#include "tools/core/sweep_csv.h"

using clitest::TCliHarness;
using testsupport::SupplyWrites;

namespace {

class CliSweep : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.supply.Started()) << h.supply.Error(); }

    QString File(const QString& AName, const QByteArray& AText) {
        QFile file(dir.filePath(AName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AText);
        return file.fileName();
    }
    QByteArray Read(const QString& APath) {
        QFile file(APath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Runs the sweep with the reading-driven clock. AOnReading runs on every reading (after
    // the clock moved, before the sweep sees it) with the supply's set voltage.
    clitest::TCliRun Run(const QStringList& AArgs,
                         const std::function<void(TCliRunner&, uint16_t)>& AOnReading = nullptr) {
        return h.Run(h.Tcp() + AArgs, [&](TCliRunner& ARunner) {
            ARunner.EditConfig().SweepClock = &clock;
            ARunner.EditConfig().SweepTakeTimeoutMs = 1000;
            TCliRunner* runner = &ARunner;
            runner->fOnSessionStarted = [this, runner, AOnReading] {
                QObject::connect(runner->Session(), &TSessionCore::LiveReading, runner,
                                 [this, runner, AOnReading] {
                                     clock.Advance(10);
                                     if (AOnReading)
                                         AOnReading(*runner, h.supply.Reg(simreg::USET));
                                 });
            };
        });
    }

    QTemporaryDir dir;
    TCliHarness h;
    testsupport::TManualClock clock;
};

TEST_F(CliSweep, RecordsOneSettledRowPerPointAndStopsAtCompliance) {
    // The CSV goes through a link to last week's file, which is replaced.
    File("real.csv", "last week\n");
    const QString link = dir.filePath("iv.csv");
    ASSERT_EQ(::symlink("real.csv", QFile::encodeName(link).constData()), 0);
    // Each new set point begins with 30 ms on a 5 ohm load before the 10 ohm one settles: only
    // the last half of the 100 ms dwell may count.
    uint16_t lastUset = 0xFFFF;
    uint32_t pointStart = 0;
    const auto run = Run(
        {"sweep", "voltage", "0", "5", "0.5", "--limit", "0.2", "--dwell", "0.1", "--csv", link},
        [&](TCliRunner&, uint16_t AUset) {
            if (AUset != lastUset) {
                lastUset = AUset;
                pointStart = clock.TickCount();
                h.supply->SetLoad(5.0);
            } else if (clock.TickCount() - pointStart >= 30) {
                h.supply->SetLoad(10.0);
            }
        });
    ASSERT_TRUE(run.Finished);
    ASSERT_EQ(run.Code, 0) << run.Err;
    // 2.00 V across 10 ohm draws the 0.20 A limit: the supply regulates the current there.
    EXPECT_EQ(SupplyWrites(h.supply.Supply()),
              QStringList({"lock 1", "set 0 20", "onoff 1", "set 50 20", "set 100 20", "set 150 20",
                           "set 200 20", "onoff 0", "lock 0"}));
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    const QByteArray expected = QByteArray(kSweepCsvHeading) +
                                "\n"
                                "1,0.00,0.20,0.000,0.000,0.000,CV,6\n"
                                "2,0.50,0.20,0.500,0.050,0.025,CV,6\n"
                                "3,1.00,0.20,1.000,0.100,0.100,CV,6\n"
                                "4,1.50,0.20,1.500,0.150,0.225,CV,6\n"
                                "5,2.00,0.20,2.000,0.200,0.400,CC,6\n";
    EXPECT_STREQ(Read(dir.filePath("real.csv")).constData(), expected.constData());
    EXPECT_NE(run.Out.find("point 5: set 2.00 V 0.20 A: 2.000 V 0.200 A 0.400 W CC\n"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("sweep ended: compliance at 2.00 V"), std::string::npos) << run.Out;
}

TEST_F(CliSweep, ASweepTheSupplyCannotDeliverIsRefusedWithNothingSet) {
    const QByteArray lastWeek = "point,uset\nlast week\n";
    const QString precious = File("precious.csv", lastWeek);
    h.supply->SetInputVoltage(12.0);
    struct TCase {
        QStringList Args;
        std::string Message;
    };
    const TCase cases[] = {
        {{"voltage", "0", "60", "1"}, "sweep: TO 60: out of range, 0.00 to 51.00 V on the DPS5015"},
        {{"voltage", "0", "3", "0.005"},
         "sweep: STEP 0.005: finer than the supply's steps of 0.01 V"},
        {{"current", "0", "1", "0.1", "--limit", "0"}, "--limit 0: out of range"},
        // The regulator needs a tenth of headroom: 12 V in gives 10.90 V out.
        {{"voltage", "5", "15", "1", "--limit", "0.1"},
         "sweep: the input voltage 12.00 V gives at most 10.90 V at the output, not 15.00 V"},
    };
    for (const TCase& c : cases) {
        const auto run = Run(QStringList{"sweep"} + c.Args + QStringList{"--csv", precious});
        EXPECT_EQ(run.Code, 2) << c.Message;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    }
    // No set point and no switch reached the supply, only the key lock of the last run (the
    // input voltage comes with the first reading).
    EXPECT_EQ(SupplyWrites(h.supply.Supply()), QStringList({"lock 1", "lock 0"}));
    EXPECT_EQ(Read(precious), lastWeek);
    // A special file is refused before anything is sent.
    h.supply->ClearWrites();
    const auto run = Run({"sweep", "voltage", "0", "1", "0.1", "--csv", "/dev/null"});
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("cannot write /dev/null: not a regular file"), std::string::npos)
        << run.Err;
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
}

TEST_F(CliSweep, CtrlCAndALostLinkLeaveTheOutputOffAndKeepThePoints) {
    const QString csv = dir.filePath("iv.csv");
    const QStringList sweep = {"sweep", "voltage", "1", "5", "0.5", "--limit", "1", "--csv", csv};
    // Ctrl-C while the third point settles.
    auto run = Run(sweep, [&](TCliRunner& ARunner, uint16_t AUset) {
        if (AUset == 200) ARunner.Interrupt();
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 130);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(Read(csv).count('\n'), 3) << Read(csv).toStdString();

    // The link goes silent while the third point settles; once the loss is declared the supply
    // answers again, and the output is switched off on the reopened link.
    bool silenced = false;
    run = Run(sweep, [&](TCliRunner& ARunner, uint16_t AUset) {
        if (AUset != 200 || silenced) return;
        silenced = true;
        SimFaults silent;
        silent.dropEvery = 1;
        h.supply->SetFaults(silent);
        TSessionCore* core = ARunner.Session();
        core->fOnSessionEnded = [this, earlier = core->fOnSessionEnded] {
            if (earlier) earlier();
            h.supply->SetFaults({});
        };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 3) << run.Err;
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    EXPECT_EQ(Read(csv).count('\n'), 3) << Read(csv).toStdString();
}

// The built tool draws the plot offscreen.
TEST_F(CliSweep, ToolSavesThePlotAsPng) {
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "benchlordctl is not built";
    const QString png = dir.filePath("iv.png");
    clitest::TChildProcess p(
        tool, {"--tcp", "127.0.0.1:" + std::to_string(h.supply.TcpPort()), "sweep", "voltage", "0",
               "3", "0.25", "--dwell", "0.02", "--limit", "0.2", "--png", png.toStdString()});
    EXPECT_EQ(p.Wait(), 0) << p.Err();
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(960, 600));
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
}

}  // namespace
