// Connector framework over a scriptable transport: queue order and limits, completion exactly
// once, state messages, failure count, reconnect pause, runtime errors, shutdown safety.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

#include "link/connector.h"
#include "tests/link/connector_fake_transport.h"
#include "tests/support/event_loop.h"

namespace {

using connfake::TFakeClock;
using connfake::TFakeConnector;
using connfake::TFakeTransport;

using testsupport::ProcessUntil;

struct TCompletion {
    int32_t Error;
    uint8_t Tag;
    int32_t Length;
    void* Data;
};

// Collects completions; every buffer comes back to it and is released here.
struct TRecorder {
    std::vector<TCompletion> Done;
    TKRConnectorCallBack Handler() {
        return [this](int32_t AError, PKRBuffer APack, int32_t ALength, void* AData) {
            Done.push_back({AError, (*APack)[0], ALength, AData});
            delete APack;
        };
    }
};

PKRBuffer Frame(uint8_t ATag) {
    auto* b = new TKRBuffer{};
    (*b)[0] = ATag;
    return b;
}

struct TStatus {
    TKRConnectorStat Stat;
    uint32_t Ms;
};

class ConnectorFramework : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureCoreApp();
        Conn = std::make_unique<TFakeConnector>(&T, &Clock);
        Conn->SetName("FakeConnector");
        Conn->SetOnConnectionStatus([this](TKRConnector*, TKRConnectorStat S, uint32_t Ms) {
            States.push_back({S, Ms});
        });
    }
    void Send(uint8_t ATag, bool AWait = true) {
        Conn->Send(Frame(ATag), 8, Rec.Handler(), reinterpret_cast<void*>(uintptr_t(ATag)), AWait,
                   8);
    }
    bool WaitDone(size_t ACount) {
        return ProcessUntil([&] { return Rec.Done.size() >= ACount; }, 2000);
    }
    std::vector<TKRConnectorStat> StatList() const {
        std::vector<TKRConnectorStat> s;
        for (const TStatus& st : States)
            s.push_back(st.Stat);
        return s;
    }

    TFakeTransport T;
    TFakeClock Clock;
    TRecorder Rec;
    std::vector<TStatus> States;
    std::unique_ptr<TFakeConnector> Conn;
};

TEST(ConnectorTexts, CodesHaveTheirTexts) {
    EXPECT_EQ(TKRConnector::ErrorMsg(0), "No error.");
    EXPECT_EQ(TKRConnector::ErrorMsg(1), "Overflow of the queue.");
    EXPECT_EQ(TKRConnector::ErrorMsg(2), "The connection is not established.");
    EXPECT_EQ(TKRConnector::ErrorMsg(3), "It was not possible to send the data.");
    EXPECT_EQ(TKRConnector::ErrorMsg(4), "The answer is not received.");
    EXPECT_EQ(TKRConnector::ErrorMsg(5), "Timeout when sending data..");
    EXPECT_EQ(TKRConnector::ErrorMsg(6), "Timeout when receiving data.");
    EXPECT_EQ(TKRConnector::ErrorMsg(7), "The connection is not actively.");
    EXPECT_EQ(TKRConnector::ErrorMsg(8), "Неизвестная ошибка.");
    EXPECT_EQ(TKRConnector::ErrorMsg(-1), "Неизвестная ошибка.");
}

// Setter, value, expected read-back (default 100 or 1000 when refused).
using TTimeoutCase = std::tuple<int, uint32_t, uint32_t>;
class ConnectorTimeouts : public ConnectorFramework,
                          public ::testing::WithParamInterface<TTimeoutCase> {};

// "Write_10001": the setter and the value given to it.
std::string TimeoutCaseName(const ::testing::TestParamInfo<TTimeoutCase>& AInfo) {
    static const char* const kSetters[] = {"Read", "Write", "Connect"};
    return kSetters[std::get<0>(AInfo.param)] + std::string("_") +
           std::to_string(std::get<1>(AInfo.param));
}

TEST_P(ConnectorTimeouts, AcceptedOnlyFrom10To10000) {
    const auto [which, value, expected] = GetParam();
    switch (which) {
        case 0:
            Conn->SetReadTimeout(value);
            EXPECT_EQ(Conn->ReadTimeout(), expected);
            break;
        case 1:
            Conn->SetWriteTimeout(value);
            EXPECT_EQ(Conn->WriteTimeout(), expected);
            break;
        default:
            Conn->SetConnectTimeout(value);
            EXPECT_EQ(Conn->ConnectTimeout(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, ConnectorTimeouts,
                         ::testing::Values(TTimeoutCase{0, 5, 100}, TTimeoutCase{0, 20000, 100},
                                           TTimeoutCase{0, 10, 10}, TTimeoutCase{0, 10000, 10000},
                                           TTimeoutCase{1, 9, 100}, TTimeoutCase{1, 10001, 100},
                                           TTimeoutCase{1, 10, 10}, TTimeoutCase{2, 5, 1000},
                                           TTimeoutCase{2, 20000, 1000},
                                           TTimeoutCase{2, 10000, 10000}),
                         TimeoutCaseName);

TEST_F(ConnectorFramework, DefaultsOfTheOtherProperties) {
    EXPECT_EQ(Conn->WaitRespTime(), 5u);
    EXPECT_EQ(Conn->ReconnectTime(), 5000u);
    EXPECT_EQ(Conn->CountErrorsForReconnect(), 3);
    EXPECT_EQ(Conn->QueueOutCount(), 0);
    EXPECT_EQ(Conn->Stat(), cstNotActive);
    EXPECT_FALSE(Conn->Active());
}

TEST_F(ConnectorFramework, ActivationReportsDisconnectedAtOnceAndNotActiveOnDeactivation) {
    Conn->SetActive(true);
    ASSERT_EQ(States.size(), 1u);  // called directly, before any event is processed
    EXPECT_EQ(States[0].Stat, cstDisconnected);
    EXPECT_EQ(States[0].Ms, 0u);
    Conn->SetActive(true);  // no change, no call
    EXPECT_EQ(States.size(), 1u);
    Conn->SetActive(false);
    ASSERT_EQ(States.size(), 2u);
    EXPECT_EQ(States[1].Stat, cstNotActive);
}

TEST_F(ConnectorFramework, PacketsAreServedOldestFirstAndCompleteOnceEach) {
    Conn->SetActive(true);
    for (uint8_t tag = 1; tag <= 5; ++tag)
        Send(tag);
    ASSERT_TRUE(WaitDone(5));
    ProcessUntil([] { return false; }, 20);  // nothing more may arrive
    ASSERT_EQ(Rec.Done.size(), 5u);
    for (uint8_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Rec.Done[i].Tag, i + 1);
        EXPECT_EQ(Rec.Done[i].Error, 0);
        EXPECT_EQ(Rec.Done[i].Length, 8);
        EXPECT_EQ(Rec.Done[i].Data, reinterpret_cast<void*>(uintptr_t(i + 1)));
    }
    EXPECT_EQ(T.Served, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Conn->GetCounter(), 5u);
}

TEST_F(ConnectorFramework, AHandlerRunningANestedEventLoopStillReceivesLaterCompletions) {
    Conn->SetActive(true);
    bool secondSeenInside = false;
    bool second = false;
    Conn->Send(
        Frame(1), 8,
        [&](int32_t, PKRBuffer APack, int32_t, void*) {
            delete APack;
            // Like a modal message box shown from a reply handler.
            secondSeenInside = ProcessUntil([&] { return second; }, 2000);
        },
        nullptr, true, 8);
    Conn->Send(
        Frame(2), 8,
        [&](int32_t, PKRBuffer APack, int32_t, void*) {
            delete APack;
            second = true;
        },
        nullptr, true, 8);
    ASSERT_TRUE(ProcessUntil([&] { return second; }, 3000));
    EXPECT_TRUE(secondSeenInside);
}

TEST_F(ConnectorFramework, SendWhileInactiveCompletesAtOnceWithNotActive) {
    Send(9);
    ASSERT_EQ(Rec.Done.size(), 1u);
    EXPECT_EQ(Rec.Done[0].Error, cerNotActive);
    EXPECT_EQ(Rec.Done[0].Length, 0);
    EXPECT_EQ(Conn->QueueCount(), 0);
}

TEST_F(ConnectorFramework, TheQueueHoldsAtMost255AndRefusesMoreWithError1) {
    T.Gate = true;
    Conn->SetActive(true);
    Send(0);  // taken by the worker and held at the gate
    ASSERT_TRUE(T.WaitEntered(1));
    for (int i = 0; i < 255; ++i)
        Send(1);
    EXPECT_EQ(Conn->QueueCount(), 255);
    EXPECT_TRUE(Rec.Done.empty());
    Send(2);
    ASSERT_EQ(Rec.Done.size(), 1u);  // refused synchronously, on this thread
    EXPECT_EQ(Rec.Done[0].Error, cerQueueOverflow);
    EXPECT_EQ(Rec.Done[0].Tag, 2);
    T.OpenGate();
    ASSERT_TRUE(WaitDone(257));
    for (size_t i = 1; i < Rec.Done.size(); ++i)
        EXPECT_EQ(Rec.Done[i].Error, 0);
}

TEST_F(ConnectorFramework, DeactivationCompletesWaitingAndInFlightPacketsOnceWithNotActive) {
    T.Gate = true;
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(T.WaitEntered(1));
    Send(2);
    Send(3);
    Conn->SetActive(false);
    ASSERT_EQ(Rec.Done.size(), 3u);
    for (const TCompletion& c : Rec.Done)
        EXPECT_EQ(c.Error, cerNotActive);
    ProcessUntil([] { return false; }, 20);
    EXPECT_EQ(Rec.Done.size(), 3u);
}

TEST_F(ConnectorFramework, QueueClearCompletesTheWaitingPacketsWithNotActive) {
    T.Gate = true;
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(T.WaitEntered(1));
    Send(2);
    Send(3);
    Conn->QueueClear();
    ASSERT_EQ(Rec.Done.size(), 2u);
    EXPECT_EQ(Rec.Done[0].Tag, 2);
    EXPECT_EQ(Rec.Done[1].Tag, 3);
    EXPECT_EQ(Rec.Done[0].Error, cerNotActive);
    T.OpenGate();
    ASSERT_TRUE(WaitDone(3));
    EXPECT_EQ(Rec.Done[2].Error, 0);
}

TEST_F(ConnectorFramework, TheExchangePauseHoldsTheNextFrameAndWhatWaitsInItIsNeverSent) {
    using namespace std::chrono;
    Conn->SetActive(true);
    // A frame queued by the completion of the one before waits out the pause, then goes.
    Conn->SetExchangePause(60);
    Conn->Send(
        Frame(1), 8,
        [&](int32_t AError, PKRBuffer APack, int32_t ALength, void* AData) {
            Rec.Handler()(AError, APack, ALength, AData);
            Send(2);
        },
        nullptr, true, 8);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(Rec.Done[1].Error, 0);
    ASSERT_EQ(T.Served, (std::vector<uint8_t>{1, 2}));
    EXPECT_GE(T.ServedAt[1] - T.ServedAt[0], milliseconds(60));

    // During a long pause: a cleared frame and one waiting at deactivation complete with
    // cerNotActive and never reach the line; deactivation does not wait for the pause.
    Conn->SetExchangePause(60000);
    Send(3);
    ASSERT_TRUE(WaitDone(3));
    Send(4);
    Conn->QueueClear();
    ASSERT_EQ(Rec.Done.size(), 4u);
    EXPECT_EQ(Rec.Done[3].Error, cerNotActive);
    Send(5);
    const auto before = steady_clock::now();
    Conn->SetActive(false);
    EXPECT_LT(steady_clock::now() - before, seconds(10));
    ASSERT_EQ(Rec.Done.size(), 5u);
    EXPECT_EQ(Rec.Done[4].Tag, 5);
    EXPECT_EQ(Rec.Done[4].Error, cerNotActive);
    EXPECT_EQ(T.Served, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(ConnectorFramework, ARepeatedFrameRunsUntilEndedAndEndsOnceWhicheverWayItEnds) {
    Conn->SetActive(true);
    Conn->SetExchangePause(1);
    Conn->SetBatchInterval(10);
    auto repeat = [&](uint8_t ATag) {
        Conn->Send(Frame(ATag), 8, Rec.Handler(), nullptr, true, 8, 0, 0, nullptr, 0, true);
    };
    auto count = [&](uint8_t ATag, bool AGood) {
        return std::count_if(Rec.Done.begin(), Rec.Done.end(), [&](const TCompletion& c) {
            return c.Tag == ATag && (c.Error == 0) == AGood;
        });
    };
    auto goodReplies = [&](uint8_t ATag, int AAtLeast) {
        return ProcessUntil([&] { return count(ATag, true) >= AAtLeast; }, 2000);
    };
    auto ended = [&](uint8_t ATag) {
        return ProcessUntil([&] { return count(ATag, false) >= 1; }, 2000);
    };

    // Ended on purpose: one last completion with cerNotActive, and the line falls silent.
    repeat(1);
    ASSERT_TRUE(goodReplies(1, 5));
    Conn->EndRepeat();
    ASSERT_TRUE(ended(1));
    const size_t served = T.Served.size();
    testsupport::ProcessFor(50);
    EXPECT_EQ(T.Served.size(), served);

    // Another frame ends it and goes out; nothing repeats after it.
    repeat(2);
    ASSERT_TRUE(goodReplies(2, 3));
    Send(3);
    ASSERT_TRUE(ended(2));
    ASSERT_TRUE(ProcessUntil([&] { return count(3, true) == 1; }, 2000));
    testsupport::ProcessFor(50);
    EXPECT_EQ(T.Served.back(), 3);

    // A failed round is the last completion, with its own code.
    repeat(4);
    ASSERT_TRUE(goodReplies(4, 3));
    {
        std::lock_guard lock(T.Lock);
        T.Outcomes.push_back(cerReceiveTimeout);
    }
    ASSERT_TRUE(ended(4));

    // Cleared, deactivated or destroyed while it runs: once more each.
    repeat(5);
    ASSERT_TRUE(goodReplies(5, 3));
    Conn->QueueClear();
    ASSERT_TRUE(ended(5));
    repeat(6);
    ASSERT_TRUE(goodReplies(6, 3));
    Conn->SetActive(false);
    ASSERT_TRUE(ended(6));
    Conn->SetActive(true);
    repeat(7);
    ASSERT_TRUE(goodReplies(7, 3));
    Conn.reset();

    // Each ends once; rounds still undelivered at a deactivation complete with cerNotActive
    // before the record itself, never with a reply after the end.
    for (uint8_t tag = 1; tag <= 7; ++tag) {
        if (tag == 3) continue;
        std::vector<int32_t> codes;
        for (const TCompletion& c : Rec.Done)
            if (c.Tag == tag) codes.push_back(c.Error);
        const auto firstEnd = std::find_if(codes.begin(), codes.end(), [](int32_t e) { return e; });
        EXPECT_EQ(std::count(firstEnd, codes.end(), 0), 0) << "tag " << int(tag);
        if (tag < 6) {
            EXPECT_EQ(codes.end() - firstEnd, 1) << "tag " << int(tag);
        }
        EXPECT_EQ(codes.back(), tag == 4 ? int32_t(cerReceiveTimeout) : int32_t(cerNotActive));
    }
}

TEST_F(ConnectorFramework, DestructionCompletesEveryPacketOnce) {
    T.Gate = true;
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(T.WaitEntered(1));
    Send(2);
    Conn.reset();
    ASSERT_EQ(Rec.Done.size(), 2u);
    for (const TCompletion& c : Rec.Done)
        EXPECT_EQ(c.Error, cerNotActive);
}

TEST_F(ConnectorFramework, RepliesPostedButNotYetSeenCompleteWithNotActiveAfterDeactivation) {
    Conn->SetActive(true);
    Send(1);
    // Wait until the worker has handed the packet back, without letting the UI thread see it.
    ASSERT_TRUE(T.WaitEntered(1));
    ASSERT_TRUE(Conn->QueueWaitForEmpty(1000));
    while (Conn->GetCounter() < 1)
        std::this_thread::yield();
    Conn->SetActive(false);
    ASSERT_EQ(Rec.Done.size(), 1u);
    EXPECT_EQ(Rec.Done[0].Error, cerNotActive);
    ProcessUntil([] { return false; }, 20);
    EXPECT_EQ(Rec.Done.size(), 1u);
}

TEST_F(ConnectorFramework, FailedConnectPostsWaitReconnectingAndFailsWithError2) {
    T.OpenSucceeds = false;
    Conn->SetReconnectTime(1000);  // takes effect in the worker's copy as well
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(Rec.Done[0].Error, cerNotConnected);
    EXPECT_EQ(T.Opens, 1);  // the first packet after activation tries at once
    EXPECT_EQ(StatList(),
              (std::vector<TKRConnectorStat>{cstDisconnected, cstConnecting, cstWaitReconnecting}));
    // Within the reconnect pause: no new attempt, and no repeated state within 500 ms.
    Clock.Advance(400);
    Send(2);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(Rec.Done[1].Error, cerNotConnected);
    EXPECT_EQ(T.Opens, 1);
    EXPECT_EQ(States.size(), 3u);
    // Past 500 ms the waiting state is posted again.
    Clock.Advance(101);
    Send(3);
    ASSERT_TRUE(WaitDone(3));
    EXPECT_EQ(T.Opens, 1);
    ASSERT_EQ(States.size(), 4u);
    EXPECT_EQ(States[3].Stat, cstWaitReconnecting);
    EXPECT_EQ(States[3].Ms, 501u);  // milliseconds since the last attempt
    // After the reconnect pause a new attempt is made.
    T.OpenSucceeds = true;
    Clock.Advance(500);
    Send(4);
    ASSERT_TRUE(WaitDone(4));
    EXPECT_EQ(Rec.Done[3].Error, 0);
    EXPECT_EQ(T.Opens, 2);
    EXPECT_EQ(States[4].Stat, cstConnecting);
    EXPECT_EQ(States[5].Stat, cstConnected);
    EXPECT_EQ(Conn->Stat(), cstConnected);
}

TEST_F(ConnectorFramework, ThirdConsecutiveFailureClosesTheLinkUntilTheReconnectPausePassed) {
    Conn->SetReconnectTime(1000);
    Conn->SetActive(true);
    {
        std::lock_guard lock(T.Lock);
        T.Outcomes = {cerReceiveTimeout, cerNoAnswer,       0,
                      cerReceiveTimeout, cerReceiveTimeout, cerReceiveTimeout};
    }
    for (uint8_t tag = 1; tag <= 6; ++tag)
        Send(tag);
    ASSERT_TRUE(WaitDone(6));
    std::vector<int32_t> errors;
    for (const TCompletion& c : Rec.Done)
        errors.push_back(c.Error);
    // A success in between resets the count; three in a row close the link.
    EXPECT_EQ(errors, (std::vector<int32_t>{6, 4, 0, 6, 6, 6}));
    EXPECT_EQ(T.Closes, 1);
    EXPECT_EQ(States.back().Stat, cstDisconnected);
    EXPECT_EQ(Conn->Stat(), cstDisconnected);
    Clock.Advance(1000);  // not more than ReconnectTime yet
    Send(7);
    ASSERT_TRUE(WaitDone(7));
    EXPECT_EQ(Rec.Done[6].Error, cerNotConnected);
    EXPECT_EQ(States.back().Stat, cstWaitReconnecting);
    Clock.Advance(1);
    Send(8);
    ASSERT_TRUE(WaitDone(8));
    EXPECT_EQ(Rec.Done[7].Error, 0);
    EXPECT_EQ(States.back().Stat, cstConnected);
}

TEST_F(ConnectorFramework, ZeroCountErrorsForReconnectNeverClosesTheLink) {
    Conn->SetCountErrorsForReconnect(0);
    Conn->SetActive(true);
    {
        std::lock_guard lock(T.Lock);
        T.Outcomes = {6, 6, 6, 6, 6};
    }
    for (uint8_t tag = 1; tag <= 5; ++tag)
        Send(tag);
    ASSERT_TRUE(WaitDone(5));
    EXPECT_EQ(T.Closes, 0);
    EXPECT_EQ(Conn->Stat(), cstConnected);
}

TEST_F(ConnectorFramework, ExceptionInTheExchangeIsReportedAndThePacketStillCompletes) {
    std::vector<std::string> reports;
    Conn->SetOnRuntimeError([&](QObject* Sender, const std::string& D, const std::exception& E) {
        EXPECT_EQ(Sender, Conn.get());
        EXPECT_STREQ(E.what(), "transport failure");
        reports.push_back(D);
    });
    Conn->SetActive(true);
    {
        std::lock_guard lock(T.Lock);
        T.Outcomes = {-1};
    }
    Send(1);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(Rec.Done[0].Error, cerNoAnswer);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              "TKRConnectorThreadOut[FConnector.Name=\"FakeConnector\"] procedure Execute;");
}

TEST_F(ConnectorFramework, ExceptionInACompletionHandlerIsReportedAsWndProc) {
    std::vector<std::string> reports;
    Conn->SetOnRuntimeError(
        [&](QObject*, const std::string& D, const std::exception&) { reports.push_back(D); });
    Conn->SetActive(true);
    bool called = false;
    Conn->Send(
        Frame(1), 8,
        [&](int32_t, PKRBuffer APack, int32_t, void*) {
            called = true;
            delete APack;
            throw std::logic_error("handler failed");
        },
        nullptr, true, 8);
    ASSERT_TRUE(ProcessUntil([&] { return called; }, 2000));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "TKRConnector[FConnector.Name=\"FakeConnector\"] procedure WndProc;");
}

TEST_F(ConnectorFramework, AsyncEventsRunOnTheUiThreadAroundTheExchange) {
    std::vector<std::string> order;
    const auto ui = QCoreApplication::instance()->thread();
    Conn->SetOnSendAsync([&](TKRConnector* S, PKRBuffer P, int32_t L) {
        EXPECT_EQ(QThread::currentThread(), ui);
        EXPECT_EQ(S, Conn.get());
        EXPECT_EQ((*P)[0], 7);
        EXPECT_EQ(L, 8);
        order.push_back("send");
    });
    Conn->SetOnRecvAsync([&](TKRConnector*, PKRBuffer, int32_t) { order.push_back("recv"); });
    Conn->SetActive(true);
    Conn->Send(
        Frame(7), 8,
        [&](int32_t, PKRBuffer APack, int32_t, void*) {
            order.push_back("done");
            delete APack;
        },
        nullptr, true, 8);
    ASSERT_TRUE(ProcessUntil([&] { return order.size() == 3; }, 2000));
    EXPECT_EQ(order, (std::vector<std::string>{"send", "recv", "done"}));
}

TEST_F(ConnectorFramework, QueueWaitForEmptyServesTheWorkersCallsMeanwhile) {
    int sends = 0;
    Conn->SetOnSendAsync([&](TKRConnector*, PKRBuffer, int32_t) { ++sends; });
    Conn->SetActive(true);
    for (uint8_t tag = 1; tag <= 3; ++tag)
        Send(tag);
    EXPECT_TRUE(Conn->QueueWaitForEmpty(2000));
    EXPECT_GE(sends, 2);  // the last send event may still wait for this thread
}

// A drain before a disconnect (the key release at the end of a run) must see the last write
// exchanged, not only taken from the queue: the link may be closed right after it.
TEST_F(ConnectorFramework, QueueWaitForEmptyWaitsForThePacketTheWorkerHolds) {
    T.Gate = true;
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(T.WaitEntered(1));
    EXPECT_FALSE(Conn->QueueWaitForEmpty(50));
    T.OpenGate();
    EXPECT_TRUE(Conn->QueueWaitForEmpty(2000));
    std::lock_guard lock(T.Lock);
    EXPECT_EQ(T.Served, (std::vector<uint8_t>{1}));
}

TEST_F(ConnectorFramework, DeactivatingFromInsideASynchronousCallDoesNotDeadlock) {
    Conn->SetOnSendAsync([&](TKRConnector* S, PKRBuffer, int32_t) { S->SetActive(false); });
    Conn->SetActive(true);
    Send(1);
    Send(2);
    ASSERT_TRUE(WaitDone(2));
    for (const TCompletion& c : Rec.Done)
        EXPECT_EQ(c.Error, cerNotActive);
    ProcessUntil([] { return false; }, 20);
    EXPECT_EQ(Rec.Done.size(), 2u);
    EXPECT_FALSE(Conn->Active());
}

TEST_F(ConnectorFramework, DestroyingFromInsideASynchronousCallDoesNotDeadlock) {
    Conn->SetOnRecvAsync([&](TKRConnector*, PKRBuffer, int32_t) { Conn.reset(); });
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_FALSE(Conn);
    EXPECT_EQ(Rec.Done[0].Error, cerNotActive);
    ProcessUntil([] { return false; }, 20);
    EXPECT_EQ(Rec.Done.size(), 1u);
}

TEST_F(ConnectorFramework, DeactivatingWhileTheWorkerWaitsForTheUiThreadDoesNotDeadlock) {
    std::atomic<bool> sending{false};
    Conn->SetOnSend([&](TKRConnector*, PKRBuffer, int32_t) { sending.store(true); });
    Conn->SetOnSendAsync([](TKRConnector*, PKRBuffer, int32_t) {});
    Conn->SetActive(true);
    Send(1);
    // The worker is now about to call into (or already waiting for) this thread, which does
    // not process events until the deactivation has returned.
    while (!sending.load())
        std::this_thread::yield();
    Conn->SetActive(false);
    ASSERT_EQ(Rec.Done.size(), 1u);
    EXPECT_EQ(Rec.Done[0].Error, cerNotActive);
}

TEST_F(ConnectorFramework, DestroyingWhileTheWorkerWaitsForTheUiThreadDoesNotDeadlock) {
    std::atomic<bool> sending{false};
    Conn->SetOnSend([&](TKRConnector*, PKRBuffer, int32_t) { sending.store(true); });
    Conn->SetOnSendAsync([](TKRConnector*, PKRBuffer, int32_t) {});
    Conn->SetActive(true);
    Send(1);
    while (!sending.load())
        std::this_thread::yield();
    Conn.reset();
    ASSERT_EQ(Rec.Done.size(), 1u);
    EXPECT_EQ(Rec.Done[0].Error, cerNotActive);
}

TEST_F(ConnectorFramework, ReactivationStartsWithFreshCountersAndConnectsAtOnce) {
    Conn->SetReconnectTime(100000);
    Conn->SetActive(true);
    Send(1);
    ASSERT_TRUE(WaitDone(1));
    EXPECT_EQ(Conn->GetCounter(), 1u);
    Conn->SetActive(false);
    EXPECT_EQ(Conn->GetCounter(), 0u);
    Conn->SetActive(true);
    Send(2);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(Rec.Done[1].Error, 0);
    EXPECT_EQ(T.Opens, 2);
}

}  // namespace
