#include "link/ui_dispatcher.h"

#include <QMetaMethod>
#include <QPointer>
#include <QThread>
#include <exception>
#include <list>

#include "link/connector.h"

struct TKRUiDispatcher::TCall {
    enum TState { csPending, csRunning, csDone, csAbandoned };
    std::function<void()> Func;
    TState State = csPending;
    std::exception_ptr Error;
};

struct TKRUiDispatcher::TMessage {
    enum TKind { mkPacket, mkStat, mkCall };
    TKind Kind = mkPacket;
    std::unique_ptr<TKRConnectorPack> Pack;
    int Stat = 0;
    uint32_t Ms = 0;
    std::shared_ptr<TCall> Call;
};

TKRUiDispatcher::TKRUiDispatcher(TKRConnector* AConnector) : FConnector(AConnector) {
    FBatchTimer.setTimerType(Qt::CoarseTimer);
    connect(&FBatchTimer, &QTimer::timeout, this, &TKRUiDispatcher::Drain);
}

TKRUiDispatcher::~TKRUiDispatcher() = default;

void TKRUiDispatcher::Enqueue(TMessage AMsg, bool AWake) {
    bool wake = false;
    {
        std::lock_guard lock(FLock);
        if (AMsg.Kind == TMessage::mkCall) SetCallEventLocked();
        FMessages.push_back(std::move(AMsg));
        if (AWake && !FWakePending) FWakePending = wake = true;
    }
    // The wake-up carries no data; the message itself went through FLock. Invoking through the
    // meta-object keeps the queued call's allocation inside Qt.
    if (wake) PostWake();
}

void TKRUiDispatcher::SetCallEventLocked() {
    if (FCallEventSet) return;
    FCallEventSet = true;
    FCallEvent.Set();
}

void TKRUiDispatcher::ResetCallEventLocked() {
    if (!FCallEventSet) return;
    FCallEventSet = false;
    FCallEvent.Reset();
}

void TKRUiDispatcher::PostWake() {
    // Looked up once: a look-up by name on every reply costs more than the call itself.
    static const QMetaMethod drain =
        staticMetaObject.method(staticMetaObject.indexOfMethod("Drain()"));
    drain.invoke(this, Qt::QueuedConnection);
}

void TKRUiDispatcher::PostPacket(std::unique_ptr<TKRConnectorPack> APack, bool ABatched) {
    TMessage m;
    m.Kind = TMessage::mkPacket;
    m.Pack = std::move(APack);
    Enqueue(std::move(m), !ABatched);
}

void TKRUiDispatcher::StartBatches(uint32_t AMs) {
    FBatchTimer.setInterval(static_cast<int>(AMs));
    if (!FBatchTimer.isActive()) FBatchTimer.start();
}

void TKRUiDispatcher::StopBatches() {
    FBatchTimer.stop();
}

void TKRUiDispatcher::PostStat(int AStat, uint32_t AMs) {
    TMessage m;
    m.Kind = TMessage::mkStat;
    m.Stat = AStat;
    m.Ms = AMs;
    Enqueue(std::move(m));
}

bool TKRUiDispatcher::Call(std::function<void()> AFunc) {
    if (QThread::currentThread() == thread()) {
        AFunc();
        return true;
    }
    auto call = std::make_shared<TCall>();
    call->Func = std::move(AFunc);
    {
        std::lock_guard lock(FLock);
        if (FCallsCancelled) return false;
    }
    TMessage m;
    m.Kind = TMessage::mkCall;
    m.Call = call;
    Enqueue(std::move(m));

    std::unique_lock lock(FLock);
    FCallDone.wait(lock, [&] { return call->State == TCall::csDone || FCallsCancelled; });
    if (call->State == TCall::csDone) {
        if (call->Error) std::rethrow_exception(call->Error);
        return true;
    }
    // Cancelled. A call not yet started is abandoned; one already running finishes on the
    // user-interface thread on its own (it holds only copies, never the worker's stack).
    if (call->State == TCall::csPending) call->State = TCall::csAbandoned;
    return false;
}

void TKRUiDispatcher::CancelCalls() {
    std::lock_guard lock(FLock);
    FCallsCancelled = true;
    FCallDone.notify_all();
}

void TKRUiDispatcher::ResumeCalls() {
    std::lock_guard lock(FLock);
    FCallsCancelled = false;
}

std::vector<std::unique_ptr<TKRConnectorPack>> TKRUiDispatcher::TakeUndelivered() {
    std::vector<std::unique_ptr<TKRConnectorPack>> packs;
    std::lock_guard lock(FLock);
    for (TMessage& m : FMessages) {
        if (m.Kind == TMessage::mkPacket) packs.push_back(std::move(m.Pack));
        if (m.Kind == TMessage::mkCall && m.Call->State == TCall::csPending)
            m.Call->State = TCall::csAbandoned;
    }
    FMessages.clear();
    ResetCallEventLocked();
    FCallDone.notify_all();
    return packs;
}

void TKRUiDispatcher::ServeCalls() {
    QPointer<TKRUiDispatcher> self(this);
    for (;;) {
        std::shared_ptr<TCall> call;
        {
            std::lock_guard lock(FLock);
            for (auto it = FMessages.begin(); it != FMessages.end() && !call;) {
                if (it->Kind != TMessage::mkCall) {
                    ++it;
                    continue;
                }
                if (it->Call->State == TCall::csPending) call = it->Call;
                it = FMessages.erase(it);
            }
            if (!call) {
                ResetCallEventLocked();
                return;
            }
            call->State = TCall::csRunning;
        }
        RunCall(*call);
        if (!self) return;
    }
}

void TKRUiDispatcher::RunCall(TCall& ACall) {
    QPointer<TKRUiDispatcher> self(this);
    std::exception_ptr err;
    try {
        ACall.Func();
    } catch (...) {
        err = std::current_exception();
    }
    // ACall is kept alive by the caller's shared pointer even if this object is gone; only
    // touch our lock while we still exist.
    if (!self) return;
    std::lock_guard lock(FLock);
    ACall.Error = err;
    ACall.State = TCall::csDone;
    FCallDone.notify_all();
}

void TKRUiDispatcher::Drain() {
    QPointer<TKRUiDispatcher> self(this);
    {
        // The wake-up that brought us here is used up; one posted later counts again.
        std::lock_guard lock(FLock);
        FWakePending = false;
    }
    for (;;) {
        TMessage m;
        bool wake = false;
        {
            std::lock_guard lock(FLock);
            if (FMessages.empty()) {
                ResetCallEventLocked();
                return;
            }
            m = std::move(FMessages.front());
            FMessages.pop_front();
            // Keep one wake-up outstanding while messages remain, so that a handler that runs a
            // nested event loop (a modal dialog) still sees the messages behind its own. This
            // loop serves them itself otherwise; the spare wake-up then finds nothing to do.
            if (!FMessages.empty() && !FWakePending) FWakePending = wake = true;
            if (m.Kind == TMessage::mkCall) {
                if (m.Call->State != TCall::csPending) continue;
                m.Call->State = TCall::csRunning;
            }
        }
        if (wake) PostWake();
        switch (m.Kind) {
            case TMessage::mkPacket:
                FConnector->HandlePacketMessage(std::move(m.Pack));
                break;
            case TMessage::mkStat:
                FConnector->HandleStatusMessage(static_cast<TKRConnectorStat>(m.Stat), m.Ms);
                break;
            case TMessage::mkCall:
                RunCall(*m.Call);
                break;
        }
        // A handler may have destroyed the connector and with it this object.
        if (!self) return;
    }
}
