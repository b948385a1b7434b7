// Fault switches and connection handling of the running supply, seen by raw clients.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/sim/raw_client.h"

using namespace simtest;
using namespace std::chrono_literals;
using testsupport::ReadUntilQuiet;
using testsupport::TVirtualSupplyFixture;

namespace {

using SteadyClock = std::chrono::steady_clock;

long ElapsedMs(SteadyClock::time_point since) {
    return long(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - since).count());
}

struct Fd {
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    int fd;
};

TEST(SupplyFaults, DropEveryNthReply) {
    TVirtualSupplyFixture sup({.tweak = [](auto& o) { o.faults.dropEvery = 2; }});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd c(sup.ConnectTcp());
    EXPECT_EQ(TcpExchange(c.fd, 1, 1, Pdu3(0, 1)).size(), 11u);
    EXPECT_TRUE(TcpExchange(c.fd, 2, 1, Pdu3(0, 1), 150).empty()) << "second reply dropped";
    const Bytes third = TcpExchange(c.fd, 3, 1, Pdu3(0, 1));
    ASSERT_EQ(third.size(), 11u);
    EXPECT_EQ(third[1], 3);
    EXPECT_EQ(sup->Requests(), 3u);
}

TEST(SupplyFaults, CorruptCrcOnRtuOnly) {
    TVirtualSupplyFixture sup(
        {.pty = true, .tweak = [](auto& o) { o.faults.corruptCrcEvery = 1; }});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd pty(sup.OpenPty());
    const Bytes r = RtuExchange(pty.fd, 1, Pdu3(0, 2));
    ASSERT_EQ(r.size(), 9u);
    EXPECT_FALSE(CrcValid(r));
    Fd tcp(sup.ConnectTcp());
    EXPECT_EQ(TcpExchange(tcp.fd, 1, 1, Pdu3(0, 2)).size(), 13u);
}

TEST(SupplyFaults, ExceptionFaultAnswersWithoutExecuting) {
    TVirtualSupplyFixture sup;
    ASSERT_TRUE(sup.Started()) << sup.Error();
    SimFaults f;
    f.exceptionCode = 4;
    sup->SetFaults(f);
    Fd c(sup.ConnectTcp());
    const Bytes r = TcpExchange(c.fd, 1, 1, Pdu6(simreg::LOCK, 1));
    ASSERT_EQ(r.size(), 9u);
    EXPECT_EQ(r[7], 0x86);
    EXPECT_EQ(r[8], 4);
    EXPECT_EQ(sup.Reg(simreg::LOCK), 0);
    sup->SetFaults({});  // switched off at run time
    EXPECT_EQ(TcpExchange(c.fd, 2, 1, Pdu6(simreg::LOCK, 1)).size(), 12u);
    EXPECT_EQ(sup.Reg(simreg::LOCK), 1);
}

TEST(SupplyFaults, BadTransactionIdAndReplyDelay) {
    TVirtualSupplyFixture sup({.tweak = [](auto& o) {
        o.faults.badTransaction = true;
        o.faults.replyDelayMs = 120;
    }});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd c(sup.ConnectTcp());
    const auto start = SteadyClock::now();
    const Bytes r = TcpExchange(c.fd, 0x0102, 1, Pdu3(0, 1));
    EXPECT_GE(ElapsedMs(start), 120);
    ASSERT_EQ(r.size(), 11u);
    EXPECT_NE(r[0] << 8 | r[1], 0x0102);
}

TEST(SupplyFaults, CloseAfterNthReplyThenTheNextClientIsServed) {
    TVirtualSupplyFixture sup({.tweak = [](auto& o) { o.faults.closeAfter = 2; }});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    {
        Fd c(sup.ConnectTcp());
        EXPECT_EQ(TcpExchange(c.fd, 1, 1, Pdu3(0, 1)).size(), 11u);
        EXPECT_TRUE(TcpExchange(c.fd, 2, 1, Pdu3(0, 1)).empty());
        char b;
        EXPECT_EQ(read(c.fd, &b, 1), 0) << "closed by the supply";
    }
    sup->SetFaults({});
    for (int i = 0; i < 3; ++i) {  // clients one after another
        Fd c(sup.ConnectTcp());
        ASSERT_GE(c.fd, 0);
        EXPECT_EQ(TcpExchange(c.fd, 7, 1, Pdu3(0, 1)).size(), 11u);
    }
    EXPECT_EQ(sup->TcpConnectionsAccepted(), 4u);
}

TEST(SupplyFaults, CloseConnectionsOnDemandAndConcurrentClients) {
    TVirtualSupplyFixture sup;
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd a(sup.ConnectTcp()), b(sup.ConnectTcp());
    EXPECT_EQ(TcpExchange(a.fd, 1, 1, Pdu3(0, 1)).size(), 11u);
    EXPECT_EQ(TcpExchange(b.fd, 1, 1, Pdu3(0, 1)).size(), 11u);
    sup->CloseTcpConnections();
    char ch;
    EXPECT_TRUE(testsupport::ReadBytes(a.fd, 1, 1000).empty());
    EXPECT_EQ(read(a.fd, &ch, 1), 0);
    EXPECT_EQ(read(b.fd, &ch, 1), 0);
}

// 8 request bytes, 3.5 characters of silence and 25 reply bytes, 10 or 11 bits each at 9600.
class WireTimeTest : public ::testing::TestWithParam<std::pair<char, long>> {};

TEST_P(WireTimeTest, TheExchangeLastsAsLongAsTheLine) {
    const auto [parity, minimumMs] = GetParam();
    TVirtualSupplyFixture sup({.pty = true, .tweak = [parity = parity](auto& o) {
                                   o.wireTime = true;
                                   o.baud = 9600;
                                   o.parity = parity;
                               }});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd pty(sup.OpenPty());
    const auto start = SteadyClock::now();
    const Bytes r = RtuExchange(pty.fd, 1, Pdu3(0, 10));
    EXPECT_GE(ElapsedMs(start), minimumMs);
    EXPECT_TRUE(CrcValid(r));
}

INSTANTIATE_TEST_SUITE_P(Parity, WireTimeTest,
                         ::testing::Values(std::make_pair('N', 36L), std::make_pair('E', 40L)),
                         [](const auto& AInfo) {
                             switch (AInfo.param.first) {
                                 case 'N':
                                     return std::string("None");
                                 case 'E':
                                     return std::string("Even");
                                 case 'O':
                                     return std::string("Odd");
                                 default:
                                     return std::string(1, AInfo.param.first);
                             }
                         });

TEST(SupplyFaults, StopReturnsAtOnceWithARepliesStillPending) {
    TVirtualSupplyFixture sup({.tweak = [](auto& o) { o.faults.replyDelayMs = 5000; }});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd c(sup.ConnectTcp());
    testsupport::SendAll(c.fd, Mbap(1, 1, Pdu3(0, 1)));
    ASSERT_TRUE(sup->WaitForRequests(1, 1s));
    const auto start = SteadyClock::now();
    sup.Stop();
    EXPECT_LT(ElapsedMs(start), 200);
    sup.Stop();  // idempotent
}

TEST(SupplyApi, FrontPanelChangesAreSeenByTheMasterAndWritesAreObserved) {
    TVirtualSupplyFixture sup({.pty = true});
    ASSERT_TRUE(sup.Started()) << sup.Error();
    Fd pty(sup.OpenPty());
    std::thread master([&] {
        RtuExchange(pty.fd, 1, Pdu6(simreg::LOCK, 1));
        RtuExchange(pty.fd, 1, Pdu16(simreg::USET, {1200, 150}));
    });
    EXPECT_TRUE(sup->WaitForWrite(simreg::ISET, 2s));
    master.join();
    const auto writes = sup->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].function, 6);
    EXPECT_EQ(writes[1].function, 16);
    EXPECT_EQ(writes[1].values, (std::vector<uint16_t>{1200, 150}));
    sup->ReleaseKeyLock();
    EXPECT_EQ(Values(RtuExchange(pty.fd, 1, Pdu3(simreg::LOCK, 1)), 1), std::vector<uint16_t>{0});
    sup->SetLoad(4.7);
    sup->SetOutput(true);
    const auto live = Values(RtuExchange(pty.fd, 1, Pdu3(0, 10)), 1);
    ASSERT_EQ(live.size(), 10u);
    EXPECT_EQ(live[simreg::IOUT], 150) << "4.7 ohm at 12 V wants 2.55 A; 1.50 A limit";
    EXPECT_EQ(live[simreg::CVCC], 1);
    sup.Clock().Advance(10000);
    EXPECT_EQ(sup.Reg(simreg::TIME_L), 10) << "counters run on the injected clock";
    sup->TripProtection(simProtOVP);
    EXPECT_EQ(Values(RtuExchange(pty.fd, 1, Pdu3(simreg::PROTECT, 3)), 1),
              (std::vector<uint16_t>{simProtOVP, 0, 0}));
}

}  // namespace
