// benchlordctl as a process: help and usage exits, SIGINT during watch leaving a complete CSV
// file and the supply untouched, and a closed standard output ending every long command with
// exit 6 and its cause, the output off and the keys released.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <ostream>
#include <streambuf>

#include "sim/sim_device.h"

#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

using clitest::TChildProcess;
using clitest::TCliHarness;

namespace {

// The tool is built next to the test executables.
std::string ToolPath() {
    testsupport::EnsureCoreApp();
    const std::string path = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::vector<std::string> Args(const QStringList& AArgs) {
    std::vector<std::string> out;
    for (const QString& a : AArgs)
        out.push_back(a.toStdString());
    return out;
}

TEST(CliProcess, HelpAndUsageExits) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TChildProcess help(ToolPath(), {"--help"});
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_EQ(help.Out().rfind("Usage: benchlordctl", 0), 0u);
    TChildProcess watchHelp(ToolPath(), {"watch", "--help"});
    EXPECT_EQ(watchHelp.Wait(), 0);
    EXPECT_NE(watchHelp.Out().find("time,uset,iset,uout,iout,power,uin,mode"), std::string::npos);
    TChildProcess bad(ToolPath(), {"--tcp", "127.0.0.1", "set", "--voltage", "x"});
    EXPECT_EQ(bad.Wait(), 2);
    EXPECT_NE(bad.Err().find("--voltage: not a number: x"), std::string::npos);
}

TEST(CliProcess, InterruptedWatchLeavesACompleteCsvAndTheSupplyUntouched) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    TChildProcess p(ToolPath(), Args(h.Tcp() << "watch"
                                             << "--interval"
                                             << "0.02"
                                             << "--csv" << csv));
    ASSERT_TRUE(p.Started());
    // Wait until a few rows are in the file, then interrupt as Ctrl-C would.
    ASSERT_TRUE(testsupport::ProcessUntil([&] { return QFile(csv).size() > 4 * 60; }, 5000));
    p.Signal(SIGINT);
    EXPECT_EQ(p.Wait(), 0) << p.Err();

    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.endsWith('\n'));
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[0], "time,uset,iset,uout,iout,power,uin,mode,protect,output");
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].count(','), 9) << lines[i].toStdString();
    // Standard output carried the same rows.
    EXPECT_EQ(p.Out(), text.toStdString());
    EXPECT_TRUE(h.supply->Writes().empty());
}

TEST(CliProcess, CsvWriteFailureEndsWatchWithSix) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    // The file may not grow past 1 KiB: the header and some rows fit, then a write fails.
    const std::string line = "ulimit -f 1; trap '' XFSZ; exec '" + ToolPath() + "' " +
                             h.Tcp().join(' ').toStdString() + " watch --interval 0.01 --csv '" +
                             csv.toStdString() + "' >/dev/null";
    TChildProcess p("/bin/bash", {"-c", line});
    EXPECT_EQ(p.Wait(), 6) << p.Err();
    EXPECT_EQ(
        p.Err().rfind("benchlordctl: cannot write " + csv.toStdString() + ": File too large", 0),
        0u)
        << p.Err();
    // The rows that fitted are kept, each whole: no torn row at the end.
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_GT(text.size(), 500);
    EXPECT_TRUE(text.endsWith('\n'));
    for (const QByteArray& row : text.split('\n'))
        EXPECT_TRUE(row.isEmpty() || row.count(',') == 9) << row.toStdString();
    // A device is refused before the supply is contacted.
    TChildProcess full(ToolPath(), Args(h.Tcp() << "watch"
                                                << "--csv"
                                                << "/dev/full"));
    EXPECT_EQ(full.Wait(), 6) << full.Err();
}

TEST(CliProcess, ClosedStandardOutputEndsWatchWithSix) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // 'head' leaves after three lines; the next row meets a closed pipe.
    const std::string line = "'" + ToolPath() + "' " + h.Tcp().join(' ').toStdString() +
                             " watch --interval 0.02 | head -n 3 >/dev/null; "
                             "exit ${PIPESTATUS[0]}";
    TChildProcess p("/bin/bash", {"-c", line});
    EXPECT_EQ(p.Wait(), 6) << p.Err();
    EXPECT_EQ(p.Err(), "benchlordctl: cannot write to standard output: Broken pipe\n");
}

// Standard output on a pipe whose reader has gone.
class TClosedPipe : public std::streambuf {
public:
    TClosedPipe() {
        int fds[2];
        if (::pipe(fds) == 0) {
            ::close(fds[0]);
            fFd = fds[1];
        }
    }
    ~TClosedPipe() override {
        if (fFd >= 0) ::close(fFd);
    }

protected:
    int_type overflow(int_type AChar) override {
        if (AChar == traits_type::eof()) return traits_type::not_eof(AChar);
        const char c = traits_type::to_char_type(AChar);
        return ::write(fFd, &c, 1) == 1 ? AChar : traits_type::eof();
    }
    std::streamsize xsputn(const char* AData, std::streamsize ASize) override {
        const ssize_t n = ::write(fFd, AData, static_cast<size_t>(ASize));
        return n < 0 ? 0 : n;
    }

private:
    int fFd = -1;
};

TEST(CliProcess, ClosedStandardOutputIsExitSixForEveryLongCommand) {
    std::signal(SIGPIPE, SIG_IGN);  // as benchlordctl itself
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    h.config.Sequence = {30, 5};
    QTemporaryDir dir;
    const QString steps = dir.filePath("steps.csv");
    QFile file(steps);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("5,0.2,3600\n");
    file.close();
    const QList<QStringList> commands{
        {"watch", "--interval", "0.02"},
        {"stats", "--seconds", "1"},
        {"plan", "run", steps},
        {"sequence", "run", steps},
        {"sweep", "voltage", "0", "1", "0.5", "--dwell", "0.05"},
        {"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "1"}};
    for (const QStringList& command : commands) {
        TClosedPipe pipe;
        std::ostream out(&pipe);
        h.output = &out;
        const auto run = h.Run(h.Tcp() + command);
        h.output = nullptr;
        ASSERT_TRUE(run.Finished) << command.join(' ').toStdString();
        EXPECT_EQ(run.Code, 6) << command.join(' ').toStdString() << ": " << run.Err;
        EXPECT_EQ(run.Err, "benchlordctl: cannot write to standard output: Broken pipe\n")
            << command.join(' ').toStdString();
        EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0) << command.join(' ').toStdString();
        EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0) << command.join(' ').toStdString();
    }
}

}  // namespace
