// benchlordctl as a process: help and usage exits, and SIGINT during watch leaving a complete
// CSV file and the supply's keys released.

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

using clitest::TCliHarness;

namespace {

// The tool is built next to the test executables.
QString ToolPath() {
    testsupport::EnsureCoreApp();
    const QString path = QCoreApplication::applicationDirPath() + "/benchlordctl";
    return QFileInfo(path).isExecutable() ? path : QString();
}

// Runs the tool to its end while this thread keeps serving events.
int RunTool(QProcess& AProcess, const QStringList& AArgs, int ATimeoutMs = 5000,
            const QString& AProgram = ToolPath()) {
    AProcess.start(AProgram, AArgs);
    if (!AProcess.waitForStarted(2000)) return -1;
    const bool done = testsupport::ProcessUntil(
        [&] { return AProcess.state() == QProcess::NotRunning; }, ATimeoutMs);
    if (!done) AProcess.kill();
    return AProcess.exitStatus() == QProcess::NormalExit ? AProcess.exitCode() : -1;
}

TEST(CliProcess, HelpAndUsageExits) {
    if (ToolPath().isEmpty()) GTEST_SKIP() << "benchlordctl is not built";
    QProcess p;
    EXPECT_EQ(RunTool(p, {"--help"}), 0);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("Usage: benchlordctl"));
    EXPECT_EQ(RunTool(p, {"watch", "--help"}), 0);
    EXPECT_TRUE(p.readAllStandardOutput().contains("time,uset,iset,uout,iout,power,uin,mode"));
    EXPECT_EQ(RunTool(p, {"--tcp", "127.0.0.1", "set", "--voltage", "x"}), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("--voltage: not a number: x"));
}

TEST(CliProcess, InterruptedWatchLeavesACompleteCsvAndReleasesTheKeys) {
    if (ToolPath().isEmpty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    QProcess p;
    p.start(ToolPath(), h.Tcp() << "watch"
                                << "--interval"
                                << "0.02"
                                << "--csv" << csv);
    ASSERT_TRUE(p.waitForStarted(2000));
    // Wait until a few rows are in the file, then interrupt as Ctrl-C would.
    QFile file(csv);
    ASSERT_TRUE(testsupport::ProcessUntil(
        [&] { return file.exists() && QFile(csv).size() > 4 * 60; }, 5000));
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(testsupport::ProcessUntil([&] { return p.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.endsWith('\n'));
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[0], "time,uset,iset,uout,iout,power,uin,mode,protect,output");
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].count(','), 9) << lines[i].toStdString();
    // Standard output carried the same rows.
    EXPECT_EQ(p.readAllStandardOutput(), text);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST(CliProcess, ClosedStandardOutputEndsWatchAndReleasesTheKeys) {
    if (ToolPath().isEmpty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // 'head' leaves after three lines; the next row meets a closed pipe.
    const QString line = "'" + ToolPath() + "' " + h.Tcp().join(' ') +
                         " watch --interval 0.02 | head -n 3 >/dev/null; exit ${PIPESTATUS[0]}";
    QProcess p;
    EXPECT_EQ(RunTool(p, {"-c", line}, 5000, "/bin/bash"), 0)
        << p.readAllStandardError().toStdString();
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

}  // namespace
