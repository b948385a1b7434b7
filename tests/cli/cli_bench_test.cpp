// benchlordctl bench against two virtual supplies of different models, one over TCP and one
// over a pseudo-terminal: the file's faults, switching in order under the key rules, and the
// bench log through a lost link.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <sstream>

#include "device/register_map.h"
#include "link/port_discovery.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

namespace {

using testsupport::ProcessUntil;

struct TBenchRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

// Runs AArgs; ADuring is called with the runner and the output so far while the run goes on,
// until it returns true.
using TDuring = std::function<bool(TCliRunner&, const std::string&)>;
TBenchRun RunBench(const QStringList& AArgs, const TDuring& ADuring = nullptr) {
    const TParseResult parsed = ParseArguments(AArgs);
    EXPECT_EQ(parsed.Error, "");
    std::ostringstream out;
    std::ostringstream err;
    TBenchRun run;
    {
        TCliRunner runner(parsed.Request, out, err, clitest::FastConfig());
        runner.Start();
        if (ADuring)
            ProcessUntil([&] { return runner.Finished() || ADuring(runner, out.str()); }, 15000);
        EXPECT_TRUE(ProcessUntil([&] { return runner.Finished(); }, 15000));
        run.Code = runner.ExitCode();
    }
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

QByteArray ReadAll(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(BenchCommand, SwitchesInOrderUnderTheKeyRulesAndLogsBothThroughALostLink) {
    testsupport::EnsureCoreApp();
    testsupport::TVirtualSupplyFixture rail({.model = 5015, .manualClock = false});
    testsupport::TVirtualSupplyFixture logic(
        {.tcp = false, .pty = true, .model = 3005, .manualClock = false});
    ASSERT_TRUE(rail.Started() && logic.Started());
    QTemporaryDir dir;
    const QString path = dir.filePath("lab.ini");
    const QString pty = QString::fromStdString(logic.PtyPath());
    const QByteArray text = "[bench]\nconfirm = 1\n\n[supply]\nname = +12 V\ntcp = 127.0.0.1:" +
                            QByteArray::number(rail.TcpPort()) +
                            "\norder = 2\n\n[supply]\nname = logic\nport = " + pty.toUtf8() +
                            "\nbaud = 9600\norder = 1\n";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();

    // A malformed file is refused with its line before any supply is touched.
    const QString bad = dir.filePath("bad.ini");
    QFile badFile(bad);
    ASSERT_TRUE(badFile.open(QIODevice::WriteOnly));
    badFile.write("[supply]\nname = a\nvolt = 5\n");
    badFile.close();
    TBenchRun run = RunBench({"bench", bad, "all-on"});
    EXPECT_EQ(run.Code, ceUsage);
    EXPECT_EQ(run.Err, "benchlordctl: " + bad.toStdString() +
                           ": line 3: unknown key volt in [supply] (name, tcp, port, baud, addr, "
                           "order, delay)\n");

    // All on in the bench order; the keys are given back at the end, the outputs stay on.
    run = RunBench({"bench", path, "all-on"});
    EXPECT_EQ(run.Code, ceOk) << run.Err;
    EXPECT_EQ(run.Out, "logic: on\n+12 V: on\n");
    EXPECT_EQ(rail.Reg(hreg::ONOFF), 1);
    EXPECT_EQ(logic.Reg(hreg::ONOFF), 1);
    EXPECT_EQ(rail.Reg(hreg::LOCK), 0);
    EXPECT_EQ(logic.Reg(hreg::LOCK), 0);

    // Another program holds the keys of logic: nothing is written there (exit 7), and all off
    // still switches +12 V off.
    logic.SetReg(hreg::LOCK, 1);
    run = RunBench({"bench", path, "all-off"});
    EXPECT_EQ(run.Code, ceKeysHeld);
    EXPECT_NE(run.Err.find("benchlordctl: logic: bench: the keys are locked by another program"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(run.Out, "+12 V: off\n");
    EXPECT_EQ(rail.Reg(hreg::ONOFF), 0);
    EXPECT_EQ(logic.Reg(hreg::ONOFF), 1);
    logic.SetReg(hreg::LOCK, 0);

    // Ctrl-C while all on waits for the delay of +12 V: nothing more is switched, and the keys
    // of both are given back.
    const QString slow = dir.filePath("slow.ini");
    QFile slowFile(slow);
    ASSERT_TRUE(slowFile.open(QIODevice::WriteOnly));
    slowFile.write(QByteArray(text).replace("order = 2\n", "order = 2\ndelay = 5\n"));
    slowFile.close();
    run = RunBench({"bench", slow, "all-on"}, [](TCliRunner& ARunner, const std::string& AOut) {
        if (AOut != "logic: on\n") return false;
        ARunner.Interrupt();
        return true;
    });
    EXPECT_EQ(run.Code, ceInterrupted);
    EXPECT_EQ(run.Out, "logic: on\n");
    ProcessUntil([] { return false; }, 100);
    EXPECT_EQ(rail.Reg(hreg::ONOFF), 0);
    EXPECT_EQ(rail.Reg(hreg::LOCK), 0);
    EXPECT_EQ(logic.Reg(hreg::LOCK), 0);

    // One reading of each as JSON, the keys named by the columns.
    run = RunBench({"--json", "bench", path, "read"});
    ASSERT_EQ(run.Code, ceOk) << run.Err;
    const QJsonObject row = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
    EXPECT_EQ(row.value("+12V.output").toBool(true), false);
    EXPECT_EQ(row.value("logic.output").toBool(false), true);
    EXPECT_DOUBLE_EQ(row.value("logic.iset").toDouble(), 1.0);

    // Watching with the log, the link to logic is lost: the bench switches +12 V off, its rows
    // go on, and logic's cells stay empty until it is back.
    run = RunBench({"bench", path, "on", "+12 V"});
    ASSERT_EQ(run.Code, ceOk) << run.Err;
    const QString log = dir.filePath("bench.csv");
    int rows = 0;
    bool deaf = false;
    run = RunBench({"bench", path, "watch", "--interval", "0.1", "--count", "60", "--csv", log},
                   [&](TCliRunner&, const std::string&) {
                       rows = static_cast<int>(ReadAll(log).count('\n'));
                       if (!deaf && rows >= 4) {
                           SimFaults faults;
                           faults.dropEvery = 1;
                           logic->SetFaults(faults);
                           deaf = true;
                       }
                       if (deaf && rows >= 20) logic->SetFaults({});
                       return false;
                   });
    EXPECT_EQ(run.Code, ceOk) << run.Err;
    EXPECT_NE(
        run.Err.find("benchlordctl: the link to logic was lost: every supply is switched off"),
        std::string::npos)
        << run.Err;
    const QList<QByteArray> lines = ReadAll(log).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 61);
    EXPECT_EQ(run.Out, ReadAll(log).toStdString());
    EXPECT_EQ(lines[0],
              "time,+12V.uset,+12V.iset,+12V.uout,+12V.iout,+12V.power,+12V.uin,+12V.mode,"
              "+12V.protect,+12V.output,logic.uset,logic.iset,logic.uout,logic.iout,logic.power,"
              "logic.uin,logic.mode,logic.protect,logic.output");
    int railOff = 0;
    int logicEmpty = 0;
    int railAnswered = 0;  // while logic was away
    bool logicBack = false;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].split(',');
        ASSERT_EQ(cells.size(), 19) << lines[i].toStdString();
        const bool empty = lines[i].endsWith(",,,,,,,,,");
        if (empty) ++logicEmpty;
        if (empty && !cells[9].isEmpty()) ++railAnswered;
        if (!empty && logicEmpty > 0) logicBack = true;
        if (cells[9] == "0") ++railOff;
        if (i < 4) {
            EXPECT_EQ(cells[9], "1");
            EXPECT_FALSE(empty);
        }
    }
    // A row is empty only for an interval without a reading: +12 V, polled at its full rate,
    // has one in nearly every interval while logic has none.
    EXPECT_GE(railAnswered, logicEmpty - 2);
    EXPECT_GT(logicEmpty, 3);
    EXPECT_GT(railOff, 3);
    EXPECT_TRUE(logicBack);
    EXPECT_EQ(rail.Reg(hreg::ONOFF), 0);
    EXPECT_EQ(rail.Reg(hreg::LOCK), 0);
    EXPECT_EQ(logic.Reg(hreg::LOCK), 0);
}

}  // namespace
