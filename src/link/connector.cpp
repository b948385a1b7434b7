#include "link/connector.h"

#include <chrono>

#include "link/thread_queue.h"
#include "link/ui_dispatcher.h"

namespace {
constexpr int32_t kQueueLimit = 255;

bool TimeoutInRange(uint32_t Value) {
    return Value >= 10 && Value <= 10000;
}
}  // namespace

TKRConnector::TKRConnector(TKRConnectorType AType, QObject* AOwner)
    : QObject(AOwner), FConnectorType(AType), FClock(&SystemTickClock()) {
    FHandle = std::make_unique<TKRUiDispatcher>(this);
    FQueue = std::make_unique<TKRThreadQueue2>();
}

TKRConnector::~TKRConnector() {
    // Transports stop their worker in their own destructor; this is the safety net.
    ShutdownThread();
    CompleteAll(FQueue->SetActive(false));
    CompleteAll(FHandle->TakeUndelivered());
}

std::string TKRConnector::Name() const {
    std::lock_guard lock(FEventLock);
    return FName;
}

void TKRConnector::SetName(const std::string& AName) {
    {
        std::lock_guard lock(FEventLock);
        FName = AName;
    }
    setObjectName(QString::fromStdString(AName));
}

void TKRConnector::Send(PKRBuffer APack, int32_t ALength, TKRConnectorCallBack ACallBack,
                        void* AData, bool AWaitResult, int32_t ARecvLen, uint32_t ADelimiter,
                        int32_t ADelimiterLen, TKRReplyComplete AReplyComplete, int32_t AShortReply,
                        bool ARepeat) {
    auto pk = std::make_unique<TKRConnectorPack>();
    pk->WaitResult = AWaitResult;
    pk->Length = ALength;
    pk->RLen = ARecvLen;
    pk->DelimiterLen = ADelimiterLen;
    pk->Delimiter = ADelimiter;
    pk->ReplyComplete = AReplyComplete;
    pk->ShortReply = AShortReply;
    pk->Pack = APack;
    pk->pData = AData;
    pk->CallBack = std::move(ACallBack);
    if (ARepeat) {
        pk->Repeat = true;
        pk->RepeatEpoch = FRepeatEpoch.load();
        // Counted until its final completion, which every path below delivers exactly once.
        if (FRepeatsOpen++ == 0) FHandle->StartBatches(FBatchInterval);
    }
    // A frame that does not fit the buffer would be read past its end.
    if (!APack || ALength < 0 || ALength > static_cast<int32_t>(sizeof(TKRBuffer))) {
        CompletePacket(std::move(pk), cerSendFailed);
        return;
    }
    if (FQueue->AtLeast(kQueueLimit)) {
        CompletePacket(std::move(pk), cerQueueOverflow);
        return;
    }
    if (auto refused = FQueue->Push(std::move(pk)))
        CompletePacket(std::move(refused), cerNotActive);
}

void TKRConnector::QueueClear() {
    EndRepeat();
    CompleteAll(FQueue->Clear());
}

void TKRConnector::EndRepeat() {
    // A worker holding a repetition keeps stepping, so it sees the new epoch after the
    // exchange under way.
    FRepeatEpoch.fetch_add(1);
}

void TKRConnector::SetBatchInterval(uint32_t AMs) {
    FBatchInterval = std::max<uint32_t>(AMs, 1);
    if (FRepeatsOpen > 0) FHandle->StartBatches(FBatchInterval);
}

bool TKRConnector::QueueWaitForEmpty(int32_t aTimeout) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(std::max<int32_t>(aTimeout, 0));
    for (;;) {
        auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left < 0) left = 0;
        // Keep serving the worker's calls into this thread, or it could never empty the queue.
        int r = KRWaitForAny({&FQueue->EmptyEvent(), &FHandle->CallEvent()},
                             static_cast<int32_t>(left));
        if (r == 0) return true;
        if (r != 1) return false;
        FHandle->ServeCalls();
    }
}

bool TKRConnector::Active() const {
    return FQueue->Active();
}

void TKRConnector::SetActive(bool Value) {
    if (!FThread || Value == FThread->Active()) return;
    if (!Value) EndRepeat();
    FThread->SetActive(Value);
    CompleteAll(FQueue->SetActive(Value));
    if (auto ev = OnConnectionStatus()) ev(this, Value ? cstDisconnected : cstNotActive, 0);
}

int32_t TKRConnector::QueueCount() const {
    return FQueue->Count();
}

TKRConnectorStat TKRConnector::Stat() const {
    return FThread ? FThread->Stat() : cstNotActive;
}

uint32_t TKRConnector::LastConnectTime() const {
    return FThread ? FThread->LastConnectTime() : 0;
}

uint32_t TKRConnector::GetCounter() const {
    return FThread ? FThread->Counter() : 0;
}

void TKRConnector::DoRuntimeError(const std::string& ADesc, const std::exception& AException) {
    FRuntimeErrorEv.Report(this, ADesc, AException);
}

void TKRConnector::SetReadTimeout(uint32_t Value) {
    if (!TimeoutInRange(Value)) return;
    FReadTimeout.store(Value);
    if (FThread) FThread->FReadTimeout.store(Value);
}

void TKRConnector::SetWriteTimeout(uint32_t Value) {
    if (!TimeoutInRange(Value)) return;
    FWriteTimeout.store(Value);
    if (FThread) FThread->FWriteTimeout.store(Value);
}

void TKRConnector::SetConnectTimeout(uint32_t Value) {
    if (!TimeoutInRange(Value)) return;
    FConnectTimeout.store(Value);
    if (FThread) FThread->FConnectTimeout.store(Value);
}

void TKRConnector::SetWaitRespTime(uint32_t Value) {
    FWaitRespTime.store(Value);
    if (FThread) FThread->FWaitRespTime.store(Value);
}

void TKRConnector::SetExchangePause(uint32_t Value) {
    FExchangePause.store(Value);
    if (FThread) FThread->FExchangePause.store(Value);
}

void TKRConnector::SetReconnectTime(uint32_t Value) {
    FReconnectTime.store(Value);
    if (FThread) FThread->FReconnectTime.store(Value);
}

#define KR_EVENT_ACCESSORS(Type, Name, Field) \
    void TKRConnector::Set##Name(Type AEv) {  \
        std::lock_guard lock(FEventLock);     \
        Field = std::move(AEv);               \
    }                                         \
    Type TKRConnector::Name() const {         \
        std::lock_guard lock(FEventLock);     \
        return Field;                         \
    }
KR_EVENT_ACCESSORS(TKRConnectorPackEv, OnSend, FOnSend)
KR_EVENT_ACCESSORS(TKRConnectorPackEv, OnRecv, FOnRecv)
KR_EVENT_ACCESSORS(TKRConnectorPackEv, OnSendAsync, FOnSendAsync)
KR_EVENT_ACCESSORS(TKRConnectorPackEv, OnRecvAsync, FOnRecvAsync)
KR_EVENT_ACCESSORS(TKRConnectorStatEv, OnConnectionStatus, FConnectionStatus)
#undef KR_EVENT_ACCESSORS

void TKRConnector::SetTickClock(const TTickClock* AClock) {
    FClock.store(AClock ? AClock : &SystemTickClock());
    // The worker dates its last connection attempt by the clock; give it a fresh one.
    if (FThread && !Active()) {
        ShutdownThread();
        InstallThread();
    }
}

void TKRConnector::InstallThread() {
    FThread = CreateThread();
    FThread->Start();
}

void TKRConnector::ShutdownThread() {
    if (!FThread) return;
    FThread->Terminate();
    // A worker waiting for a call into this thread gives up instead of blocking the join.
    FHandle->CancelCalls();
    FThread->WaitFor();
    // A repetition the worker still held ends here.
    if (auto repeat = std::move(FThread->FRepeat)) CompletePacket(std::move(repeat), cerNotActive);
    FThread.reset();
    FHandle->ResumeCalls();
    CompleteAll(FHandle->TakeUndelivered());
}

bool TKRConnectorThread::WorkPending() {
    return !FConnector->FQueue->Empty() || FRepeat != nullptr;
}

void TKRConnector::CompletePacket(std::unique_ptr<TKRConnectorPack> APack, int32_t AError) {
    APack->Error = AError;
    if (AError != cerNoError) APack->Length = 0;
    if (APack->Repeat && APack->Final && --FRepeatsOpen == 0) FHandle->StopBatches();
    if (!APack->CallBack) {
        delete APack->Pack;
        return;
    }
    // Valid until the CallBack completes another packet (a CallBack may destroy the connector,
    // so nothing here is touched after it returns).
    FCompletingSentUs = APack->SentUs;
    FCompletingDoneUs = APack->DoneUs;
    try {
        APack->CallBack(APack->Error, APack->Pack, APack->Length, APack->pData);
    } catch (const std::exception& e) {
        DoRuntimeError(
            KRRuntimeDescription(krre::kConnectorPrefix, Name(), krre::kConnectorWndProc), e);
    } catch (...) {
        DoRuntimeError(
            KRRuntimeDescription(krre::kConnectorPrefix, Name(), krre::kConnectorWndProc),
            EKRUnknownError());
    }
}

void TKRConnector::CompleteAll(std::vector<std::unique_ptr<TKRConnectorPack>> APacks) {
    for (auto& pk : APacks)
        CompletePacket(std::move(pk), cerNotActive);
}

void TKRConnector::HandlePacketMessage(std::unique_ptr<TKRConnectorPack> APack) {
    // A packet that comes back after the connector went inactive is not reported as a result.
    int32_t error = FQueue->Active() ? APack->Error : int32_t(cerNotActive);
    CompletePacket(std::move(APack), error);
}

void TKRConnector::HandleStatusMessage(TKRConnectorStat AStat, uint32_t AMs) {
    if (auto ev = OnConnectionStatus()) ev(this, AStat, AMs);
}
