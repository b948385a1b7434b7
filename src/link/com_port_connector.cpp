#include "link/com_port_connector.h"

#include <algorithm>

namespace {
// Largest number of reply bytes read in one exchange.
constexpr int32_t kMaxReply = 255;

// True when the last ADelimiterLen bytes of the reply, read as a big-endian number, equal the
// delimiter (CR LF is 0x0D0A with length 2).
bool EndsWithDelimiter(const uint8_t* data, int32_t received, uint32_t delimiter, int32_t len) {
    if (len < 1 || len > 4 || received < len) return false;
    uint32_t tail = 0;
    for (int32_t i = received - len; i < received; ++i)
        tail = (tail << 8) | data[i];
    const uint32_t mask = len == 4 ? 0xFFFFFFFFu : ((1u << (8 * len)) - 1);
    return tail == (delimiter & mask);
}
}  // namespace

TKRCOMPortConnector::TKRCOMPortConnector(QObject* AOwner)
    : TKRConnector(ctCOMPort, AOwner), FComPort(std::make_unique<TKRCOMPort>()) {
    InstallThread();
}

TKRCOMPortConnector::~TKRCOMPortConnector() {
    ShutdownThread();
    FComPort->Close();
}

std::unique_ptr<TKRConnectorThread> TKRCOMPortConnector::CreateThread() {
    return std::make_unique<TKRCOMPortThread>(this, FComPort.get());
}

void TKRCOMPortConnector::SetActive(bool Value) {
    if (Value == Active()) return;
    if (Value) {
        FComPort->Open();  // the caller checks Connected()
        TKRConnector::SetActive(true);
    } else {
        TKRConnector::SetActive(false);
        ShutdownThread();
        FComPort->Close();
        InstallThread();
    }
}

TKRCOMPortThread::TKRCOMPortThread(TKRCOMPortConnector* AConnector, TKRCOMPort* AComPort)
    : TKRConnectorThread(AConnector), FComPort(AComPort) {
    FComPort->SetOnConnected([this](TKRCOMPort*) { PostStat(cstConnected); });
}

TKRCOMPortThread::~TKRCOMPortThread() {
    FComPort->SetOnConnected(nullptr);
}

void TKRCOMPortThread::TransportOpen() {
    // A reconnection uses the connector's write time-out for the whole write and a tenth of it
    // (at least 10 ms) per byte.
    const uint32_t wt = FWriteTimeout.load();
    FComPort->SetWriteTotalTimeoutConstant(wt);
    FComPort->SetWriteTotalTimeoutMultiplier(std::max<uint32_t>(wt / 10, 10));
    try {
        FComPort->Open();
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kCOMPortPrefix, krre::kCOMPortOpen, e);
    } catch (...) {
        ReportRuntimeError(krre::kCOMPortPrefix, krre::kCOMPortOpen, EKRUnknownError());
    }
}

void TKRCOMPortThread::Exchange() {
    if (!EnsureConnected()) return;

    uint32_t sendTime = 0;
    FPK->Error = cerNoError;
    bool sent = false;
    try {
        RaiseSendEvents();
        // Bytes that arrived after an earlier exchange ended (a late or over-long reply) would be
        // taken for the start of this reply.
        if (FPK->WaitResult && FComPort->InputCount() > 0) FComPort->PurgeInput();
        sendTime = Now();
        sent = FComPort->Write(FPK->Pack->data(), FPK->Length) >= FPK->Length;
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kCOMPortPrefix, krre::kCOMPortWrite, e);
    } catch (...) {
        ReportRuntimeError(krre::kCOMPortPrefix, krre::kCOMPortWrite, EKRUnknownError());
    }
    if (!sent) {
        SendFailed();
        Deliver();
        return;
    }

    if (FPK->WaitResult) {
        int32_t code;
        try {
            code = CollectReply(sendTime);
        } catch (const std::exception& e) {
            ReportRuntimeError(krre::kCOMPortPrefix, krre::kCOMPortReceive, e);
            code = cerNoAnswer;
        } catch (...) {
            ReportRuntimeError(krre::kCOMPortPrefix, krre::kCOMPortReceive, EKRUnknownError());
            code = cerNoAnswer;
        }
        if (code != cerNoError) CountFailure(code);
    }
    Deliver();
}

void TKRCOMPortThread::SendFailed() {
    FPK->Error = cerSendFailed;
    FPK->Length = 0;
    if (++FErrCntr2 >= kSendFailuresForClose) {
        // The line is taken for gone (adapter pulled out); reopen after the reconnect pause.
        FComPort->Close();
        FLastConnectTime.store(Now());
        FErrCntr2 = 0;
    }
}

int32_t TKRCOMPortThread::CollectReply(uint32_t ASendTime) {
    TKRConnectorPack& pk = *FPK;
    uint8_t* const data = pk.Pack->data();
    // Read limit: half again the expected length (room for ASCII framing noise), never more
    // than kMaxReply. A limit below the expected length (RLen 1) is raised to it.
    int32_t limit = kMaxReply;
    if (pk.RLen > 0)
        limit = std::max(std::min((pk.RLen / 2) * 3, kMaxReply), std::min(pk.RLen, kMaxReply));

    const uint32_t waitResp = FWaitRespTime.load();
    const uint32_t window = FWriteTimeout.load() + FReadTimeout.load();
    uint32_t gapDeadline = Now() + waitResp;
    int32_t received = 0;

    while (Now() - ASendTime < window && Working()) {
        const int32_t waiting = FComPort->InputCount();
        if (waiting > 0) {
            received += FComPort->Read(data + received, limit - received);
            if (pk.RLen > 0 && received >= pk.RLen) break;
            if (EndsWithDelimiter(data, received, pk.Delimiter, pk.DelimiterLen)) break;
            // A whole shorter reply (an exception) needs no silence to end it.
            if (pk.ReplyComplete && pk.ReplyComplete(data, received)) break;
            // The buffer share is full: further bytes could not be taken anyway.
            if (received >= limit) break;
            gapDeadline = Now() + waitResp;
            continue;
        }
        const uint32_t now = Now();
        if (static_cast<int32_t>(now - gapDeadline) > 0) break;  // silent for WaitRespTime ms
        // Sleep until input arrives, the gap deadline has passed, the window has closed (one
        // millisecond past each, so the checks above see them passed) or the worker is stopped.
        const uint32_t toGap = gapDeadline - now + 1;
        const uint32_t toWindow = window - (now - ASendTime) + 1;
        FComPort->WaitForInput(static_cast<int32_t>(std::min(toGap, toWindow)), StopFd());
    }

    if (received > 0) {
        ReceiveSucceeded(received);
        return cerNoError;
    }
    return Now() - ASendTime > window ? cerReceiveTimeout : cerNoAnswer;
}
