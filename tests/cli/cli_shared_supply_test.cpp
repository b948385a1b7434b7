// Several programs on one supply. Behind a Modbus TCP bridge a long job (sequence run,
// serve-scpi) keeps the supply while other benchlordctl processes read it: the readers neither
// lock nor release the keys, the job runs on, and its keys are released once, at its end. A
// serial line still serves one program at a time.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <sstream>

#include "sim/sim_device.h"
#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/supply_writes.h"

using clitest::TChildProcess;
using clitest::TCliHarness;
using testsupport::ProcessUntil;
using testsupport::SupplyWrites;

namespace {

constexpr int kBound = 20000;  // generous: every wait ends as soon as its condition holds

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

// A long job of benchlordctl run in this process (its session on the shortened intervals).
class TLongJob {
public:
    TLongJob(TCliHarness& AHarness, const QStringList& AArgs) {
        AHarness.config.Sequence = {30, 5};
        const TParseResult parsed = ParseArguments(AArgs);
        EXPECT_TRUE(parsed.Error.isEmpty()) << parsed.Error.toStdString();
        fRunner = std::make_unique<TCliRunner>(parsed.Request, fOut, fErr, AHarness.config);
        fRunner->Start();
    }
    bool Finished() const { return fRunner->Finished(); }
    std::string Out() const { return fOut.str(); }
    std::string Err() const { return fErr.str(); }
    // Ends the job as Ctrl-C does; its exit code.
    int Interrupt() {
        fRunner->Interrupt();
        ProcessUntil([this] { return fRunner->Finished(); }, kBound);
        return fRunner->Finished() ? fRunner->ExitCode() : -1;
    }

private:
    std::ostringstream fOut;
    std::ostringstream fErr;
    std::unique_ptr<TCliRunner> fRunner;
};

// Ten reads and a watch, each a program of its own, started at once; the watch is interrupted
// after a few rows. AMeanwhile runs again and again while they are under way.
void ReadBeside(TCliHarness& h, const std::function<void()>& AMeanwhile) {
    std::vector<std::unique_ptr<TChildProcess>> reads;
    for (int i = 0; i < 10; ++i)
        reads.push_back(std::make_unique<TChildProcess>(ToolPath(), Args(h.Tcp() << "--json"
                                                                                 << "read")));
    TChildProcess watch(ToolPath(), Args(h.Tcp() << "watch"
                                                 << "--interval"
                                                 << "0.05"));
    auto rows = [&] {
        const std::string out = watch.Out();
        return std::count(out.begin(), out.end(), '\n') - 1;  // below the header
    };
    auto readsRunning = [&] {
        return std::any_of(reads.begin(), reads.end(),
                           [](auto& ARead) { return ARead->Running(); });
    };
    QElapsedTimer bound;
    bound.start();
    while ((rows() < 3 || readsRunning()) && watch.Running() && bound.elapsed() < kBound)
        AMeanwhile();
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait(kBound), 0) << watch.Err();
    EXPECT_GE(rows(), 3);
    for (auto& read : reads) {
        ASSERT_EQ(read->Wait(kBound), 0) << read->Err();
        // Each reader saw the job's lock and left it alone.
        EXPECT_TRUE(clitest::JsonOf(read->Out())["lock"].toBool()) << read->Out();
    }
}

TEST(CliSharedSupply, SequenceRunOutlivesReadersAndReleasesTheKeysOnce) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString steps = dir.filePath("steps.csv");
    QFile file(steps);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("5,0.2,3600\n");
    file.close();

    TLongJob job(h, h.Tcp() << "sequence"
                            << "run" << steps);
    ASSERT_TRUE(ProcessUntil([&] { return h.supply.Reg(simreg::ONOFF) == 1; }, kBound))
        << job.Err();
    ReadBeside(h, [] { testsupport::ProcessFor(10); });

    // The run goes on with its output on; nothing but the job has written.
    testsupport::ProcessFor(100);
    EXPECT_FALSE(job.Finished()) << job.Err();
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 1);
    EXPECT_EQ(job.Interrupt(), 130);
    EXPECT_EQ(job.Err(), "");
    EXPECT_EQ(SupplyWrites(h.supply.Supply()).join(", ").toStdString(),
              "lock 1, set 500 20, onoff 1, onoff 0, lock 0");
}

// While a plan runs, every program that would change the supply is refused before it writes
// anything, with one exit code and a message naming the likely cause; an observer runs beside
// it. The plan goes on at its own set points and ends as it would alone.
TEST(CliSharedSupply, ChangingProgramsAreRefusedBesideARunningPlan) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString steps = dir.filePath("steps.csv");
    QFile file(steps);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("5,0.2,3600\n");
    file.close();

    TLongJob plan(h, h.Tcp() << "plan"
                             << "run" << steps);
    ASSERT_TRUE(ProcessUntil([&] { return h.supply.Reg(simreg::ONOFF) == 1; }, kBound))
        << plan.Err();
    const QList<QStringList> changing{{"set", "--voltage", "9"},
                                      {"off"},
                                      {"preset", "select", "M1"},
                                      {"sequence", "run", steps},
                                      {"sweep", "voltage", "0", "1", "0.5"},
                                      {"serve-scpi", "--listen", "127.0.0.1:0"}};
    for (const QStringList& args : changing) {
        TChildProcess second(ToolPath(), Args(h.Tcp() + args));
        EXPECT_EQ(second.Wait(kBound), 7) << args.join(' ').toStdString() << ": " << second.Err();
        EXPECT_NE(second.Err().find(": the keys are locked by another program: a run may be "
                                    "going on"),
                  std::string::npos)
            << second.Err();
    }
    TChildProcess stats(ToolPath(), Args(h.Tcp() << "stats"
                                                 << "--seconds"
                                                 << "1"));
    EXPECT_EQ(stats.Wait(kBound), 0) << stats.Err();

    EXPECT_FALSE(plan.Finished()) << plan.Err();
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);
    EXPECT_EQ(plan.Interrupt(), 130);
    // Only the plan wrote: its keys, its set points, its output.
    QStringList writes = SupplyWrites(h.supply.Supply());
    writes.removeDuplicates();
    EXPECT_EQ(writes.join(", ").toStdString(), "lock 1, set 500 20, onoff 1, onoff 0, lock 0");
}

TEST(CliSharedSupply, ScpiBridgeAnswersThroughoutReadersAndReleasesTheKeysOnce) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TLongJob job(h, h.Tcp() << "serve-scpi"
                            << "--listen"
                            << "127.0.0.1:0");
    quint16 port = 0;
    ASSERT_TRUE(ProcessUntil(
        [&] {
            const QString out = QString::fromStdString(job.Out());
            const qsizetype at = out.indexOf("127.0.0.1:");
            if (at >= 0) port = out.mid(at + 10).section(' ', 0, 0).toUShort();
            return port != 0 || job.Finished();
        },
        kBound));
    ASSERT_NE(port, 0) << job.Err();
    QTcpSocket client;
    client.connectToHost("127.0.0.1", port);
    auto ask = [&](const QString& ALine) {
        client.write((ALine + "\n").toUtf8());
        ProcessUntil([&] { return client.canReadLine(); }, kBound);
        return client.canReadLine() ? QString::fromUtf8(client.readLine()).trimmed() : "<none>";
    };
    ASSERT_EQ(ask("VOLT 5;CURR 1;OUTP ON;*OPC?"), "1");

    // Every query while the readers come and go is answered from the supply.
    QStringList wrong;
    int answered = 0;
    ReadBeside(h, [&] {
        const QString reply = ask("MEAS:VOLT?");
        ++answered;
        if (reply != "5.00") wrong << reply;
    });
    EXPECT_GT(answered, 0);
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(" | ").toStdString();
    EXPECT_EQ(ask("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(job.Out().find("lost"), std::string::npos) << job.Out();

    EXPECT_EQ(job.Interrupt(), 0);
    const QStringList writes = SupplyWrites(h.supply.Supply());
    EXPECT_EQ(writes.count("lock 1"), 1) << writes.join(", ").toStdString();
    EXPECT_EQ(writes.count("lock 0"), 1) << writes.join(", ").toStdString();
    EXPECT_EQ(writes.last(), "lock 0");
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 1);  // left as it was
}

TEST(CliSharedSupply, SerialPortRefusesASecondProgramAsBusy) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.pty = true;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    TLongJob job(h, h.Pty() << "watch"
                            << "--interval"
                            << "0.05");
    ASSERT_TRUE(ProcessUntil([&] { return job.Out().find("\n") != job.Out().rfind("\n"); }, kBound))
        << job.Err();
    TChildProcess second(ToolPath(), Args(h.Pty() << "read"));
    EXPECT_EQ(second.Wait(kBound), 3);
    EXPECT_NE(second.Err().find(" is busy: another program is using it (this is not a "
                                "permission problem). Close the other program"),
              std::string::npos)
        << second.Err();
    EXPECT_FALSE(job.Finished()) << job.Err();
    EXPECT_EQ(job.Interrupt(), 0);
}

}  // namespace
