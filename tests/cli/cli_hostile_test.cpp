// Replies the link rejects are link failures (exit 3), never a refusal by the device (exit 4),
// however much they look like an exception reply. The peer is a small Modbus TCP server on
// 127.0.0.1 that answers every request with bytes made from it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "tests/cli/cli_harness.h"

using clitest::TCliHarness;

namespace {

using TBytes = std::vector<uint8_t>;
using TReplyMaker = std::function<TBytes(const TBytes& ARequest)>;

// Accepts one connection at a time and answers each complete MBAP request with AReply(request).
class THostilePeer {
public:
    explicit THostilePeer(TReplyMaker AReply) : fReply(std::move(AReply)) {
        fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fListen, 2);
        socklen_t len = sizeof a;
        ::getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &len);
        fPort = ntohs(a.sin_port);
        fThread = std::thread([this] { Run(); });
    }
    ~THostilePeer() {
        fStop = true;
        fThread.join();
        ::close(fListen);
    }
    uint16_t Port() const { return fPort; }

private:
    void Run() {
        int client = -1;
        TBytes in;
        while (!fStop) {
            pollfd p{client >= 0 ? client : fListen, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            if (client < 0) {
                client = ::accept4(fListen, nullptr, nullptr, SOCK_CLOEXEC);
                in.clear();
                continue;
            }
            uint8_t buf[256];
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(client);
                client = -1;
                continue;
            }
            in.insert(in.end(), buf, buf + n);
            while (in.size() >= 6 && in.size() >= 6u + in[5]) {
                const TBytes request(in.begin(), in.begin() + 6 + in[5]);
                in.erase(in.begin(), in.begin() + 6 + in[5]);
                const TBytes reply = fReply(request);
                (void)!::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
        }
        if (client >= 0) ::close(client);
    }

    TReplyMaker fReply;
    int fListen = -1;
    uint16_t fPort = 0;
    std::atomic<bool> fStop{false};
    std::thread fThread;
};

struct THostileReply {
    const char* Name;
    TReplyMaker Reply;
    const char* Reason;  // part of the message
};

void PrintTo(const THostileReply& AReply, std::ostream* AOut) {
    *AOut << AReply.Name;
}

class CliRejectedReply : public ::testing::TestWithParam<THostileReply> {};

TEST_P(CliRejectedReply, IsALinkFailureNotARefusal) {
    THostilePeer peer(GetParam().Reply);
    TCliHarness h;
    const auto run = h.Run({"--tcp", "127.0.0.1:" + QString::number(peer.Port()), "read"});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 3) << run.Err;
    EXPECT_EQ(run.Err.find("device exception"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(GetParam().Reason), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.rfind("benchlordctl: ", 0), 0u) << run.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliRejectedReply,
    ::testing::Values(
        // An exception reply, but for another transaction.
        THostileReply{"ExceptionWithAWrongTransactionId",
                      [](const TBytes& ARequest) {
                          return TBytes{static_cast<uint8_t>(ARequest[0] ^ 0xFF),
                                        ARequest[1],
                                        0,
                                        0,
                                        0,
                                        3,
                                        ARequest[6],
                                        static_cast<uint8_t>(ARequest[7] | 0x80),
                                        2};
                      },
                      "wrong transaction id"},
        // The exception function of a write answering a read.
        THostileReply{"ExceptionOfAnotherFunction",
                      [](const TBytes& ARequest) {
                          return TBytes{ARequest[0], ARequest[1], 0, 0, 0, 3, ARequest[6], 0x90, 2};
                      },
                      "another function"},
        // Bytes that only look like a frame.
        THostileReply{"Garbage", [](const TBytes&) { return TBytes(9, 0xAA); }, "link error"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
