// Failures and their exit codes: refused requests (4), a link that cannot be opened or is lost
// (3), with the program's own messages on standard error and the keys given back when possible.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "cli/cli_messages.h"
#include "link/tcp_connector.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

using clitest::TCliHarness;

namespace {

// English only: the system's own text stays in the window.
std::string DeviceMessage(int32_t ACode, const std::string& AEnglish) {
    return "benchlordctl: device exception " + std::to_string(ACode) + ": " + AEnglish + "\n";
}

testsupport::TSupplyConfig WithException(uint8_t ACode, bool APty) {
    testsupport::TSupplyConfig c = TCliHarness::DefaultSupply();
    c.pty = APty;
    c.tweak = [ACode](VirtualSupplyOptions& AOpt) { AOpt.faults.exceptionCode = ACode; };
    return c;
}

class CliRefusedIdentification : public ::testing::TestWithParam<bool> {};

TEST_P(CliRefusedIdentification, ExitsWithFourAndTheDeviceMessage) {
    TCliHarness h(WithException(kSimExIllegalAddress, GetParam()));
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run((GetParam() ? h.Pty() : h.Tcp()) << "read");
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 4);
    EXPECT_EQ(run.Err, DeviceMessage(kSimExIllegalAddress, "illegal data address"));
    EXPECT_TRUE(run.Out.empty());
}

INSTANTIATE_TEST_SUITE_P(Cli, CliRefusedIdentification, ::testing::Values(false, true),
                         [](const auto& AInfo) { return AInfo.param ? "Pty" : "Tcp"; });

TEST(CliFailure, RefusedWriteDuringTheSessionExitsWithFour) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "set"
                                   << "--voltage"
                                   << "7",
                           [&](TCliRunner& ARunner) {
                               ARunner.fOnSessionStarted = [&] {
                                   SimFaults f;
                                   f.exceptionCode = 4;  // slave device failure
                                   h.supply->SetFaults(f);
                               };
                           });
    EXPECT_EQ(run.Code, 4);
    EXPECT_EQ(run.Err, DeviceMessage(4, "slave device failure"));
    EXPECT_EQ(h.supply.Reg(simreg::USET), 500);
}

// How the supply goes away once the session of a command that locked its keys runs, and whether
// the keys can be given back.
struct TLoss {
    const char* Name;
    std::function<void(testsupport::TVirtualSupplyFixture&)> Cause;
    bool KeysReleased;
    const char* Message;
    const char* TcpMessage = nullptr;  // over TCP, when it says more
};

const TLoss kLosses[] = {
    // Requests still reach the supply but no reply comes back: the release is still sent, and
    // its completion arrives after the run has ended.
    {"RepliesDropped",
     [](testsupport::TVirtualSupplyFixture& ASupply) {
         SimFaults f;
         f.dropEvery = 1;
         ASupply->SetFaults(f);
     },
     true, "connection lost: the supply stopped answering"},
    {"KeysUnlockedAtThePanel",
     [](testsupport::TVirtualSupplyFixture& ASupply) { ASupply->ReleaseKeyLock(); }, true,
     "connection ended: the keys were released at the supply"},
    {"SupplyGone", [](testsupport::TVirtualSupplyFixture& ASupply) { ASupply.Stop(); }, false,
     "connection lost: the supply stopped answering",
     "connection lost: the bridge closed the connection"},
};

void PrintTo(const TLoss& ALoss, std::ostream* AOut) {
    *AOut << ALoss.Name;
}

// Each loss over TCP and over the pseudo-terminal.
class CliLoss : public ::testing::TestWithParam<std::tuple<TLoss, bool>> {};

TEST_P(CliLoss, ExitsWithThreeAfterTheSessionsMessage) {
    const auto& [loss, pty] = GetParam();
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.pty = pty;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // The link waits longer for a reply than a disconnect waits for the key release to leave.
    h.config.SerialWaitResp = h.config.TcpReadTimeout = 2 * h.config.Timings.DrainTimeout;
    // The loss comes before the first reading, so 'on' never gets to switch.
    const auto run = h.Run((pty ? h.Pty() : h.Tcp()) << "on", [&](TCliRunner& ARunner) {
        ARunner.fOnSessionStarted = [&] { loss.Cause(h.supply); };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, std::string("benchlordctl: ") +
                           (!pty && loss.TcpMessage ? loss.TcpMessage : loss.Message) + "\n");
    if (loss.KeysReleased) {
        // Unanswered, the release may still be on its way: the supply applies it on its own
        // thread, late on a loaded machine.
        EXPECT_TRUE(
            testsupport::ProcessUntil([&] { return h.supply.Reg(simreg::LOCK) == 0; }, 5000));
    }
    // Completions still on their way find nothing gone.
    testsupport::ProcessFor(400);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliLoss,
                         ::testing::Combine(::testing::ValuesIn(kLosses),
                                            ::testing::Values(false, true)),
                         [](const auto& AInfo) {
                             return std::string(std::get<0>(AInfo.param).Name) +
                                    (std::get<1>(AInfo.param) ? "Pty" : "Tcp");
                         });

TEST(CliFailure, KeyReleaseReplyIsReadBeforeThePortCloses) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.pty = true;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // Waits far beyond the 40 ms delay, so that on a loaded machine the release is still
    // answered in time (and the port still closes only after its reply).
    h.config.Timings.ResponseTimeout = 1000;
    h.config.Timings.DrainTimeout = 3000;
    const auto run = h.Run(h.Pty() << "read", [&](TCliRunner& ARunner) {
        ARunner.fOnSessionStarted = [&] {
            SimFaults f;
            f.replyDelayMs = 40;
            h.supply->SetFaults(f);
        };
    });
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    // Nothing is left on the line for the next program that opens the port.
    const int fd = h.supply.OpenPty();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(testsupport::ReadUntilQuiet(fd, 150).empty());
    ::close(fd);
}

TEST(CliFailure, ConnectFailuresNameTheCause) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const QString port = QString::number(h.supply.TcpPort());
    h.supply.Stop();
    auto run = h.Run({"--tcp", "127.0.0.1:" + port, "read"});
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: cannot connect to 127.0.0.1:" + port.toStdString() +
                           ": connection refused\n");

    // A listener whose queue is full drops the connection request: no answer comes.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    std::vector<int> queued;
    for (int i = 0; i < 2; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    const QString full = "127.0.0.1:" + QString::number(ntohs(addr.sin_port));
    run = h.Run({"--tcp", full, "read"});
    for (int fd : queued)
        ::close(fd);
    ::close(listener);
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: cannot connect to " + full.toStdString() + ": timed out\n");

    // A port that is not there is named as such, and only once.
    for (const QString& name : {QString("/dev/nonexistent-tty"), QString("./nosuch")}) {
        run = h.Run({"--port", name, "read"});
        EXPECT_EQ(run.Code, 3);
        EXPECT_EQ(run.Err, "benchlordctl: " + name.toStdString() + ": no such serial port\n");
    }
    run = h.Run({"--port", "nosuch", "read"});
    EXPECT_EQ(run.Err, "benchlordctl: /dev/nosuch: no such serial port\n");
    // Paths that are no terminal at all.
    QTemporaryDir dir;
    QFile file(dir.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (const QString& path : {QString("/dev/null"), file.fileName(), dir.path()}) {
        run = h.Run({"--port", path, "read"});
        EXPECT_EQ(run.Code, 3);
        EXPECT_EQ(run.Err, "benchlordctl: " + path.toStdString() + ": not a serial port\n");
    }
}

TEST(CliFailure, ConnectErrorsInEnglish) {
    EXPECT_EQ(ConnectErrnoText(ECONNREFUSED), "connection refused");
    EXPECT_EQ(ConnectErrnoText(EHOSTUNREACH), "no route to host");
    EXPECT_EQ(ConnectErrnoText(ENETUNREACH), "no route to host");
    EXPECT_EQ(ConnectErrnoText(ETIMEDOUT), "timed out");
}

// Replies the link cannot take are named, in English only, with how often they came.
TEST(CliFailure, GarbledRepliesAreNamed) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.pty = true;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    SimFaults crc;
    crc.corruptCrcEvery = 1;
    h.supply->SetFaults(crc);
    auto run = h.Run(h.Pty() << "read");
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: link error -4: reply with a bad checksum\n");
    // Once the session runs: the count of bad replies that ended it (every reply comes, so a
    // long wait keeps a late one on a loaded machine from counting as a time-out instead).
    h.supply->SetFaults({});
    h.config.Timings.ResponseTimeout = 2000;
    run = h.Run(h.Pty() << "watch", [&](TCliRunner& ARunner) {
        ARunner.fOnSessionStarted = [&] { h.supply->SetFaults(crc); };
    });
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: connection lost: reply with a bad checksum (3 in a row)\n");

    SimFaults id;
    id.badTransaction = true;
    h.supply->SetFaults(id);
    run = h.Run(h.Tcp() << "read");
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: link error -2: reply with a wrong transaction id\n");
}

// A session that ends names what really happened: the supply answering with exceptions, the
// bridge closing the connection, the bridge refusing to take it back. stats reads on through
// single failures, so only the end ends it.
TEST(CliFailure, ALostSessionNamesItsCause) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // AReconnect: the connector opens the connection again after each failure, at once.
    const auto runWith = [&](const std::function<void()>& AFault, bool AReconnect = false) {
        return h.Run(h.Tcp() << "stats"
                             << "--seconds"
                             << "60",
                     [&](TCliRunner& ARunner) {
                         ARunner.fOnSessionStarted = [&ARunner, AFault, AReconnect] {
                             if (AReconnect) {
                                 ARunner.Session()->TCPConnector().SetReconnectTime(1);
                                 ARunner.Session()->TCPConnector().SetCountErrorsForReconnect(1);
                             }
                             AFault();
                         };
                     });
    };
    SimFaults exception;
    exception.exceptionCode = 4;
    auto run = runWith([&] { h.supply->SetFaults(exception); });
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find("benchlordctl: connection lost: the supply answered exception 4 (slave "
                           "device failure), 3 in a row\n"),
              std::string::npos)
        << run.Err;

    SimFaults close;
    close.closeAfter = 1;
    h.supply->SetFaults({});
    run = runWith([&] { h.supply->SetFaults(close); });
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find("benchlordctl: connection lost: the bridge closed the connection\n"),
              std::string::npos)
        << run.Err;

    h.supply->SetFaults({});
    run = runWith([&] { h.supply.Stop(); }, true);
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find("benchlordctl: connection lost: the bridge closed the connection and "
                           "refused to reconnect (connection refused)\n"),
              std::string::npos)
        << run.Err;
}

TEST(CliFailure, PortHeldByAnotherProgramIsReportedBusy) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.pty = true;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const int other = ::open(h.supply.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    const auto run = h.Run(h.Pty() << "read");
    ::close(other);
    EXPECT_EQ(run.Code, 3);
    EXPECT_NE(run.Err.find(" is busy: another program is using it (this is not a permission "
                           "problem). Close the other program"),
              std::string::npos)
        << run.Err;
}

TEST(CliFailure, UnsupportedModelStartsNoSession) {
    testsupport::TSupplyConfig unit = TCliHarness::DefaultSupply();
    unit.model = 3010;
    TCliHarness h(unit);
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "info");
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: DPS3010 ver. 4.6: this model is not supported\n");
    EXPECT_TRUE(h.supply->Writes().empty());
}

TEST(CliFailure, InterruptBeforeTheSessionStartsEndsWith130AndLocksNothing) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    // Right at the start, and while the identification is on its way.
    auto run = h.Run(h.Tcp() << "read", [](TCliRunner& ARunner) { ARunner.Interrupt(); });
    EXPECT_EQ(run.Code, 130);
    EXPECT_EQ(h.supply->Requests(), 0u);
    run = h.Run(h.Tcp() << "watch", [](TCliRunner& ARunner) {
        // Two hops: the second lands behind the start, inside the connect.
        QMetaObject::invokeMethod(
            &ARunner,
            [&ARunner] {
                QMetaObject::invokeMethod(
                    &ARunner, [&ARunner] { ARunner.Interrupt(); }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    });
    EXPECT_EQ(run.Code, 130);
    testsupport::ProcessFor(50);
    EXPECT_TRUE(h.supply->Writes().empty());
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

}  // namespace
