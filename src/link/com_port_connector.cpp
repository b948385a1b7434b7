#include "link/com_port_connector.h"

#include <algorithm>

namespace {
// Largest number of reply bytes read in one exchange.
constexpr int32_t kMaxReply = 255;
// Longest time in microseconds a whole short reply (an exception) may wait after its last byte
// before it is recognised, when the sleep goes on to the expected length instead.
constexpr uint64_t kShortReplyLateUs = 5000;

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

// Microseconds the line needs for ABytes bytes at the speed the port applied: start bit, data
// bits, parity bit and stop bits. 0 when the speed is not known.
uint64_t WireTimeUs(const TKRCOMLineSettings& ALine, int32_t ABytes) {
    if (ALine.BaudRate <= 0 || ABytes <= 0) return 0;
    const int64_t bits =
        1 + ALine.DataBits + (ALine.Parity != 0 ? 1 : 0) + (ALine.StopBits ? 2 : 1);
    return static_cast<uint64_t>(ABytes) * static_cast<uint64_t>(bits) * 1000000u /
           static_cast<uint64_t>(ALine.BaudRate);
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
        FWrittenUs = KRSteadyMicros();
        sent = FComPort->Write(FPK->Pack->data(), FPK->Length) >= FPK->Length;
        FPK->SentUs = KRSteadyMicros();
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

int32_t TKRCOMPortThread::SleepToReply(const TKRCOMLineSettings& ALine, int64_t AWrittenUs) {
    // Neither the first byte nor each byte is waited for: the request's and the reply's time on
    // the line and the device's usual answer time are slept at once, then the reply is looked at.
    // A short reply (an exception) is aimed at first when the rest of the expected one would
    // make it wait too long after its end.
    const TKRConnectorPack& pk = *FPK;
    if (pk.RLen <= 0 || FAnswerUs < 0 || ALine.BaudRate <= 0) return 0;
    const bool lookShort = pk.ShortReply > 0 && pk.ShortReply < pk.RLen &&
                           WireTimeUs(ALine, pk.RLen - pk.ShortReply) > kShortReplyLateUs;
    const int32_t aimed = lookShort ? pk.ShortReply : pk.RLen;
    const int64_t until = AWrittenUs + static_cast<int64_t>(WireTimeUs(ALine, pk.Length)) +
                          FAnswerUs + static_cast<int64_t>(WireTimeUs(ALine, aimed));
    // Never past the silence gap: a device that does not answer is still noticed in time.
    const int64_t us =
        std::min<int64_t>(until - KRSteadyMicros(), int64_t{FWaitRespTime.load()} * 1000);
    if (us > 0) SleepUnlessStopped(static_cast<uint64_t>(us));
    return aimed;
}

void TKRCOMPortThread::LearnAnswerTime(const TKRCOMLineSettings& ALine, int64_t AWrittenUs,
                                       int32_t AWaiting, int32_t AAimed) {
    if (ALine.BaudRate <= 0) return;
    if (AAimed > 0 && AWaiting >= AAimed) {
        // Found whole: the device may answer sooner than thought. Aim a little earlier next
        // time, so the estimate follows it down.
        FAnswerUs -= FAnswerUs / 16 + 20;
        if (FAnswerUs < 0) FAnswerUs = 0;
        return;
    }
    // Caught under way: its first byte came about as long ago as the bytes here took.
    const int64_t firstByte = KRSteadyMicros() - static_cast<int64_t>(WireTimeUs(ALine, AWaiting));
    const int64_t requestEnd = AWrittenUs + static_cast<int64_t>(WireTimeUs(ALine, FPK->Length));
    FAnswerUs = std::max<int64_t>(0, firstByte - requestEnd);
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

    const TKRCOMLineSettings line = FComPort->Applied();
    const int32_t aimed = SleepToReply(line, FWrittenUs);
    bool firstLook = true;

    while (Now() - ASendTime < window && Working()) {
        const int32_t waiting = FComPort->InputCount();
        if (waiting > 0 && firstLook) LearnAnswerTime(line, FWrittenUs, waiting, aimed);
        firstLook = firstLook && waiting == 0;
        if (waiting > 0) {
            received += FComPort->Read(data + received, limit - received);
            pk.DoneUs = KRSteadyMicros();  // the last byte so far: a silence gap may follow
            if (pk.RLen > 0 && received >= pk.RLen) break;
            if (EndsWithDelimiter(data, received, pk.Delimiter, pk.DelimiterLen)) break;
            // A whole shorter reply (an exception) needs no silence to end it.
            if (pk.ReplyComplete && pk.ReplyComplete(data, received)) break;
            // The buffer share is full: further bytes could not be taken anyway.
            if (received >= limit) break;
            gapDeadline = Now() + waitResp;
            // The rest of a reply of known length is on its way: rather than waking for each
            // byte, sleep for the time the line needs to carry the bytes up to the next point
            // where the reply may be whole (a short exception reply, else the expected length),
            // then take them in one read. Bytes that are slower than the line are waited for as
            // before; the sleep never passes the silence gap or the window.
            if (pk.RLen > 0) {
                // Where the rest of the expected reply is near, the short reply is not looked
                // for on its own: one wake-up less per reply on a fast line, and a short reply
                // is then recognised at most kShortReplyLateUs after its end.
                const bool lookShort = pk.ShortReply > received && pk.ShortReply < pk.RLen &&
                                       WireTimeUs(line, pk.RLen - received) > kShortReplyLateUs;
                const int32_t next = lookShort ? pk.ShortReply : pk.RLen;
                const uint32_t now = Now();
                const uint64_t leftMs = std::min<uint64_t>(
                    gapDeadline - now, window - std::min(window, now - ASendTime));
                const uint64_t us = std::min(WireTimeUs(line, next - received), leftMs * 1000);
                if (us > 0) SleepUnlessStopped(us);
            }
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
