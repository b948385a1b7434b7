// Every log of benchlordctl is made of readings: while a plan, a sequence or a watch runs,
// another program sets the supply to 9 V and the log's uset column follows what the supply
// reports; then the link is lost, and the log ends with the last reading that came (no row
// made up after it).

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "session/session_core.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tools/core/readings_csv.h"

using clitest::TCliHarness;

namespace {

struct TLogCase {
    const char* Name;
    QStringList Args;  // "LOG" stands for the log's path, "FILE" for the command's input
    QByteArray Input;
};

std::vector<TReadingRow> Rows(const QString& APath) {
    std::vector<TReadingRow> rows;
    QFile file(APath);
    if (!file.open(QIODevice::ReadOnly)) return rows;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (const auto row = ParseReadingsCsvRow(line)) rows.push_back(*row);
    return rows;
}

class CliLogRows : public ::testing::TestWithParam<TLogCase> {};

TEST_P(CliLogRows, RowsShowWhatTheSupplyReportedAndEndWithTheLastReading) {
    const TLogCase& c = GetParam();
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.manualClock = true;  // a plan's second passes with each reading
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString log = dir.filePath("log.csv");
    QStringList args = h.Tcp();
    for (const QString& arg : c.Args) {
        if (arg == "FILE") {
            QFile input(dir.filePath("input.csv"));
            ASSERT_TRUE(input.open(QIODevice::WriteOnly));
            input.write(c.Input);
            args << input.fileName();
        } else {
            args << (arg == "LOG" ? log : arg);
        }
    }
    h.supply.SetReg(simreg::USET, 500);
    // A watch only looks: the output is on already.
    if (std::string(c.Name) == "Watch") h.supply->SetOutput(true);

    int readings = 0;
    int afterChange = -1;
    bool cut = false;
    QDateTime cutAt;
    const auto run = h.Run(args, [&](TCliRunner& ARunner) {
        ARunner.EditConfig().PlanClock = &h.supply.Clock();
        ARunner.EditConfig().Sequence = {30, 5};
        TCliRunner* runner = &ARunner;
        ARunner.fOnSessionStarted = [&, runner] {
            QObject::connect(runner->Session(), &TSessionCore::LiveReading, runner, [&, runner] {
                h.supply.Clock().Advance(1000);
                if (cut || h.supply.Reg(simreg::ONOFF) != 1) return;
                if (afterChange < 0 && ++readings >= 3) {
                    // Another program (the front panel, a second client of the bridge).
                    h.supply.SetReg(simreg::USET, 900);
                    afterChange = 0;
                }
                // The link goes once the log shows the change (or long after, to end the run
                // of a log that never shows it).
                if (afterChange < 0) return;
                const std::vector<TReadingRow> rows = Rows(log);
                if (++afterChange < 200 && (rows.empty() || rows.back().Uset != 900)) return;
                cut = true;
                cutAt = QDateTime::currentDateTime();
                QTimer::singleShot(0, runner, [&] { h.supply.Stop(); });
            });
        };
    });
    ASSERT_TRUE(run.Finished);
    ASSERT_TRUE(cut) << run.Err;

    const std::vector<TReadingRow> rows = Rows(log);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows.front().Uset, 500u);
    // The last row is a reading of the supply at 9 V with its output on, not zeros after it.
    const TReadingRow& last = rows.back();
    EXPECT_EQ(last.Uset, 900u) << ReadingsCsvRow(last, 1).toStdString();
    EXPECT_TRUE(last.Output);
    EXPECT_GT(last.Uin, 0u);
    EXPECT_LE(last.Time, cutAt);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliLogRows,
    ::testing::Values(TLogCase{"PlanRun",
                               {"plan", "run", "FILE", "--log", "LOG"},
                               "voltage,current,seconds\n5,0.5,3600\n"},
                      TLogCase{"SequenceRun",
                               {"sequence", "run", "FILE", "--log", "LOG", "--log-every", "1"},
                               "5,0.5,3600\n"},
                      TLogCase{"Watch", {"watch", "--interval", "0.01", "--csv", "LOG"}, ""}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
