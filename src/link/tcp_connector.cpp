#include "link/tcp_connector.h"

#include <algorithm>
#include <chrono>

TKRTCPConnector::TKRTCPConnector(QObject* AOwner)
    : TKRConnector(ctTCPClient, AOwner), FTCPClient(std::make_unique<TKRTCPSocketClient>()) {
    InstallThread();
}

TKRTCPConnector::~TKRTCPConnector() {
    ShutdownThread();
    FTCPClient.reset();
}

bool TKRTCPConnector::Connected() const {
    return FTCPClient->Connected();
}

std::string TKRTCPConnector::IP() const {
    std::lock_guard lock(FIPLock);
    return FIP;
}

void TKRTCPConnector::SetIP(const std::string& Value) {
    std::lock_guard lock(FIPLock);
    FIP = Value;
}

void TKRTCPConnector::SetActive(bool Value) {
    if (!Thread() || Value == Thread()->Active()) return;
    if (Value) {
        // Connects on the calling thread; the connector turns active either way.
        FTCPClient->SetAddr(IP());
        FTCPClient->SetPort(Port());
        FTCPClient->SetConnectTimeout(static_cast<int32_t>(ConnectTimeout()));
        try {
            FTCPClient->Open();
        } catch (const std::exception& e) {
            DoRuntimeError(KRRuntimeDescription(krre::kTCPPrefix, Name(), krre::kTCPOpen), e);
        }
        TKRConnector::SetActive(true);
        return;
    }
    TKRConnector::SetActive(false);
    // A fresh worker: fresh counters and an immediate connection attempt next time.
    ShutdownThread();
    FTCPClient->Close();
    InstallThread();
}

std::unique_ptr<TKRConnectorThread> TKRTCPConnector::CreateThread() {
    auto thread = std::make_unique<TKRTCPThread>(this, FTCPClient.get());
    FTCPClient->SetAbortFd(thread->StopFd());
    return thread;
}

TKRTCPThread::TKRTCPThread(TKRTCPConnector* AConnector, TKRTCPSocketClient* AClient)
    : TKRConnectorThread(AConnector), FTCPConnector(AConnector), FTCPClient(AClient) {}

bool TKRTCPThread::TransportConnected() {
    return FTCPClient->Connected();
}

void TKRTCPThread::TransportOpen() {
    FTCPClient->SetAddr(FTCPConnector->IP());
    FTCPClient->SetPort(FTCPConnector->Port());
    FTCPClient->SetConnectTimeout(static_cast<int32_t>(FTCPConnector->ConnectTimeout()));
    try {
        FTCPClient->Open();
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kTCPPrefix, krre::kTCPOpen, e);
    }
}

void TKRTCPThread::TransportClose() {
    FTCPClient->Close();
}

void TKRTCPThread::DiscardStaleInput() {
    // Bytes left from an earlier reply (a late segment, an over-long answer) must not be taken
    // for the reply to the next frame.
    try {
        TKRBuffer scratch;
        while (!Terminated() && !FTCPClient->IsReadBufferEmpty())
            if (FTCPClient->ReceiveBuf(scratch.data(), scratch.size()) <= 0) break;
    } catch (...) {
    }
}

void TKRTCPThread::Exchange() {
    if (!EnsureConnected()) return;
    FPK->Error = cerNoError;
    DiscardStaleInput();

    try {
        RaiseSendEvents();
        if (FTCPClient->WaitForWrite(static_cast<int32_t>(FTCPConnector->WriteTimeout()))) {
            // Stamped before the send: the reply's arrival stamp comes from the kernel, and on a
            // busy machine the reply can arrive before this thread runs again after send().
            FPK->SentUs = KRSteadyMicros();
            long n = FTCPClient->SendBuf(FPK->Pack->data(), FPK->Length);
            if (n < FPK->Length) CountFailure(cerSendFailed);
        } else {
            CountFailure(cerSendTimeout);
        }
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kTCPPrefix, krre::kTCPSend, e);
        CountFailure(cerSendFailed);
    }

    if (FPK->Error == cerNoError && FPK->WaitResult) {
        // A round of a repetition sleeps through the pause and the expected round trip at
        // once, then finds its reply waiting: the worker wakes once per round, and the pause
        // after the reply (counted from its arrival) is over by then.
        const uint32_t pause = FExchangePause.load();
        if (FPK->Repeat && pause > 0 && FRoundTripUs > 0)
            SleepUnlessStopped(uint64_t{pause} * 1000 + FRoundTripUs + FRoundTripUs / 4 + 50);
        try {
            const int32_t code = CollectReply();
            if (code != cerNoError) CountFailure(code);
        } catch (const std::exception& e) {
            ReportRuntimeError(krre::kTCPPrefix, krre::kTCPReceive, e);
            CountFailure(cerNoAnswer);
        }
    }
    Deliver();
}

int32_t TKRTCPThread::CollectReply() {
    // TCP is a stream: a reply may come in several segments (a Wi-Fi bridge splits them), so the
    // reads go on until the expected length or a whole reply by the packet's test has arrived,
    // within one read time-out from the first wait. Without either (unknown length, no test)
    // a single receive is the reply.
    using namespace std::chrono;
    TKRConnectorPack& pk = *FPK;
    uint8_t* const data = pk.Pack->data();
    const int32_t limit = pk.RLen > 0 ? std::min<int32_t>(pk.RLen, sizeof(TKRBuffer))
                                      : static_cast<int32_t>(sizeof(TKRBuffer));
    const auto deadline = steady_clock::now() + milliseconds(FTCPConnector->ReadTimeout());
    int32_t received = 0;
    while (!Terminated()) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (!FTCPClient->WaitForRead(static_cast<int32_t>(std::max<long long>(left, 0)))) {
            if (received == 0) return cerReceiveTimeout;
            break;  // what arrived goes to the reply check, which words the short length
        }
        int64_t arrivalUs = 0;
        const long n = FTCPClient->ReceiveBufStamped(data + received, limit - received, arrivalUs);
        if (n <= 0) {  // the peer closed the connection or the socket failed
            if (received == 0) return cerNoAnswer;
            break;
        }
        received += static_cast<int32_t>(n);
        pk.DoneUs = arrivalUs;
        if (received >= limit) break;
        if (pk.ReplyComplete ? pk.ReplyComplete(data, received) : pk.RLen <= 0) break;
    }
    if (received == 0) return cerNoAnswer;
    // Known from the arrival stamps: the next round of a repetition sleeps about this long.
    FRoundTripUs = pk.DoneUs > pk.SentUs && pk.SentUs > 0
                       ? std::min<int64_t>(pk.DoneUs - pk.SentUs, 1000000)
                       : 0;
    ReceiveSucceeded(received);
    return cerNoError;
}
