// Failures and their exit codes: refused requests (4), a link that cannot be opened or is lost
// (3), with the program's own messages on standard error and the keys given back when possible.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "link/modbus_errors.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"

using clitest::TCliHarness;

namespace {

// The English text and the system's own text in brackets.
std::string DeviceMessage(int32_t ACode, const std::string& AEnglish) {
    std::string level;
    return "benchlordctl: device exception " + std::to_string(ACode) + ": " + AEnglish + " (" +
           ModbusErrorMsg(ACode, level) + ")\n";
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

// How the supply goes away once the session runs, and whether its keys can be given back.
struct TLoss {
    const char* Name;
    std::function<void(testsupport::TVirtualSupplyFixture&)> Cause;
    bool KeysReleased;
    const char* Message;
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
     true, "connection lost: the supply stopped answering (Connection lost !!!)"},
    {"KeysUnlockedAtThePanel",
     [](testsupport::TVirtualSupplyFixture& ASupply) { ASupply->ReleaseKeyLock(); }, true,
     "connection ended: the keys were released at the supply (Connection lost !!!)"},
    {"SupplyGone", [](testsupport::TVirtualSupplyFixture& ASupply) { ASupply.Stop(); }, false,
     "connection lost: the supply stopped answering (Connection lost !!!)"},
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
    const auto run = h.Run(
        (pty ? h.Pty() : h.Tcp()) << "watch"
                                  << "--interval"
                                  << "0.02",
        [&](TCliRunner& ARunner) { ARunner.fOnSessionStarted = [&] { loss.Cause(h.supply); }; });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, std::string("benchlordctl: ") + loss.Message + "\n");
    if (loss.KeysReleased) {
        EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
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

TEST(CliFailure, ConnectFailuresNameTheLinkWithTheWindowsTexts) {
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const QString port = QString::number(h.supply.TcpPort());
    h.supply.Stop();
    auto run = h.Run({"--tcp", "127.0.0.1:" + port, "read"});
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err, "benchlordctl: cannot connect to 127.0.0.1:" + port.toStdString() +
                           " (The TCP server at 127.0.0.1 does not replay! Please check  the TCP "
                           "IP address.)\n");
    run = h.Run({"--port", "/dev/nonexistent-tty", "read"});
    EXPECT_EQ(run.Code, 3);
    EXPECT_EQ(run.Err,
              "benchlordctl: cannot open /dev/nonexistent-tty (The /dev/nonexistent-tty port is "
              "closed or busy! Please check  the port and close other application using this "
              "port.)\n");
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
