#include "link/connector.h"
#include "link/thread_queue.h"
#include "link/ui_dispatcher.h"

namespace {
// A repeated cstWaitReconnecting is posted again after this many milliseconds.
constexpr uint32_t kWaitReconnectingRepeat = 500;
}  // namespace

TKRConnectorThread::TKRConnectorThread(TKRConnector* AConnector)
    : TKRThread2(&AConnector->FQueue->SignalEvent()),
      FWaitRespTime(AConnector->FWaitRespTime.load()),
      FReconnectTime(AConnector->FReconnectTime.load()),
      FReadTimeout(AConnector->FReadTimeout.load()),
      FWriteTimeout(AConnector->FWriteTimeout.load()),
      FConnectTimeout(AConnector->FConnectTimeout.load()),
      FExchangePause(AConnector->FExchangePause.load()),
      FConnector(AConnector) {
    // Dated one reconnect pause in the past, so the first exchange may connect at once.
    FCreatedConnectTime = Now() - FReconnectTime.load() - 1;
    FLastConnectTime.store(FCreatedConnectTime);
}

TKRConnectorThread::~TKRConnectorThread() {
    Terminate();
    WaitFor();
}

namespace {
// A fresh record for the next round of a repetition: the same request in a buffer of its own.
std::unique_ptr<TKRConnectorPack> NextRound(const TKRConnectorPack& ARepeat) {
    auto pk = std::make_unique<TKRConnectorPack>(ARepeat);
    pk->Pack = new TKRBuffer(*ARepeat.Pack);
    pk->Final = false;
    return pk;
}
}  // namespace

void TKRConnectorThread::WorkStep() {
    FPK = FConnector->FQueue->Pop();
    const bool taken = FPK != nullptr;
    const uint32_t epoch = FConnector->FRepeatEpoch.load();
    // Another packet, or an end asked for by the user-interface thread, ends a repetition.
    if (FRepeat && (FPK || FRepeat->RepeatEpoch != epoch)) EndRepeat();
    if (FPK && FPK->Repeat && FPK->RepeatEpoch == epoch) {
        // The request is kept before the reply overwrites the buffer.
        FRepeat = NextRound(*FPK);
        FRepeat->Final = true;
        FPK->Final = false;
    } else if (!FPK && FRepeat) {
        FPK = NextRound(*FRepeat);
    }
    if (!FPK) return;
    // The pause in force when the exchange began is the one kept after it.
    const uint32_t pause = FExchangePause.load();
    FPK->SentUs = KRSteadyMicros();
    try {
        Exchange();
    } catch (const std::exception& e) {
        ReportRuntimeError(krre::kWorkerPrefix, krre::kWorkerExecute, e);
    } catch (...) {
        ReportRuntimeError(krre::kWorkerPrefix, krre::kWorkerExecute, EKRUnknownError());
    }
    // An exchange that ended without handing the packet back must still complete it.
    if (FPK) {
        if (FPK->Error == cerNoError) FPK->Error = cerNoAnswer;
        FPK->Length = 0;
        Deliver();
    }
    // A failed round was the repetition's last completion.
    if (FRepeatFailed) {
        FRepeatFailed = false;
        delete FRepeat->Pack;
        FRepeat.reset();
    }
    // A drain waits for this: the packet has been exchanged (or failed) and handed back.
    if (taken) FConnector->FQueue->Finished();
    // The pause is slept before the next packet is taken, never with one in hand: what the
    // user-interface thread queues meanwhile is found at its end, and a clear still reaches it.
    // It counts from the reply; a transport that slept through part of it already (a round of
    // a repetition) sleeps only the rest.
    if (pause > 0) {
        const int64_t rest = int64_t{pause} * 1000 - (KRSteadyMicros() - FLastDoneUs);
        if (rest > 0) SleepUnlessStopped(static_cast<uint64_t>(rest));
    }
}

bool TKRConnectorThread::EnsureConnected() {
    if (TransportConnected()) return true;
    // Until a first attempt (or a closed link) re-dates it, the attempt time is the one set at
    // creation, and the worker may connect at once even if ReconnectTime was raised since.
    const uint32_t last = FLastConnectTime.load();
    if (last == FCreatedConnectTime || Now() - last > FReconnectTime.load()) {
        PostStat(cstConnecting);
        TransportOpen();
        FLastConnectTime.store(Now());
    }
    if (!TransportConnected()) {
        PostStat(cstWaitReconnecting);
        FPK->Error = cerNotConnected;
        FPK->Length = 0;
        Deliver();
        return false;
    }
    PostStat(cstConnected);
    FErrCntr = 0;
    return true;
}

void TKRConnectorThread::CountFailure(int32_t ACode) {
    ++FErrCntr;
    FPK->Error = ACode;
    FPK->Length = 0;
    const int32_t limit = FConnector->CountErrorsForReconnect();
    if (limit > 0 && FErrCntr >= limit) {
        TransportClose();
        PostStat(cstDisconnected);
        FLastConnectTime.store(Now());
        FErrCntr = 0;
    }
}

void TKRConnectorThread::ReceiveSucceeded(int32_t AReceived) {
    FCounter.fetch_add(1);
    FPK->Length = AReceived;
    FErrCntr = 0;
    RaiseRecvEvents();
}

namespace {
void RaisePackEvents(TKRConnector* AConnector, TKRUiDispatcher& AHandle,
                     const TKRConnectorPackEv& AOnThread, const TKRConnectorPackEv& AOnUi,
                     PKRBuffer APack, int32_t ALength) {
    if (AOnThread) AOnThread(AConnector, APack, ALength);
    // The call holds copies only, so it stays valid if this worker stops waiting for it.
    if (AOnUi)
        AHandle.Call([AConnector, AOnUi, APack, ALength] { AOnUi(AConnector, APack, ALength); });
}
}  // namespace

void TKRConnectorThread::RaiseSendEvents() {
    RaisePackEvents(FConnector, *FConnector->FHandle, FConnector->OnSend(),
                    FConnector->OnSendAsync(), FPK->Pack, FPK->Length);
}

void TKRConnectorThread::RaiseRecvEvents() {
    RaisePackEvents(FConnector, *FConnector->FHandle, FConnector->OnRecv(),
                    FConnector->OnRecvAsync(), FPK->Pack, FPK->Length);
}

void TKRConnectorThread::PostStat(TKRConnectorStat S) {
    const uint32_t now = Now();
    if (S == FStat.load() &&
        (S != cstWaitReconnecting || now - FLastStatusSendTm <= kWaitReconnectingRepeat))
        return;
    FStat.store(S);
    FLastStatusSendTm = now;
    FConnector->FHandle->PostStat(S, now - FLastConnectTime.load());
}

void TKRConnectorThread::Deliver() {
    if (!FPK) return;
    // A transport that knows when the reply arrived has set it already.
    if (FPK->DoneUs == 0) FPK->DoneUs = KRSteadyMicros();
    FLastDoneUs = FPK->DoneUs;
    if (FPK->Repeat && !FPK->Final && FPK->Error != cerNoError) {
        FPK->Final = true;
        FRepeatFailed = FRepeat != nullptr;
    }
    const bool batched = FPK->Repeat && !FPK->Final;
    FConnector->FHandle->PostPacket(std::move(FPK), batched);
}

void TKRConnectorThread::EndRepeat() {
    if (!FRepeat) return;
    FRepeat->Error = cerNotActive;
    FRepeat->Length = 0;
    FConnector->FHandle->PostPacket(std::move(FRepeat), false);
}

void TKRConnectorThread::Deactivated() {
    EndRepeat();
}

void TKRConnectorThread::ReportRuntimeError(std::string_view APrefix, std::string_view ASuffix,
                                            const std::exception& AException) {
    FConnector->DoRuntimeError(KRRuntimeDescription(APrefix, FConnector->Name(), ASuffix),
                               AException);
}
