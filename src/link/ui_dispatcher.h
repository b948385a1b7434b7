#pragma once
// The connector's stand-in for a hidden message window: a QObject on the user-interface thread
// that receives packets and state messages posted by the worker, and runs calls the worker makes
// into the user-interface thread while it waits for them.
//
// Messages travel through a mutex-protected queue; Qt only carries an argument-less wake-up, so
// every hand-over between the threads is visible to ThreadSanitizer.

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "link/kr_event.h"

struct TKRConnectorPack;
class TKRConnector;

class TKRUiDispatcher : public QObject {
    Q_OBJECT
public:
    explicit TKRUiDispatcher(TKRConnector* AConnector);
    ~TKRUiDispatcher() override;

    // Worker side. A batched packet wakes nobody: it is handed over by the batch timer, or
    // with the next message that does wake.
    void PostPacket(std::unique_ptr<TKRConnectorPack> APack, bool ABatched = false);
    void PostStat(int AStat, uint32_t AMs);
    // Runs AFunc on the user-interface thread and waits for it. Returns false without running
    // it when calls are cancelled (the worker is being stopped). On the UI thread it runs
    // AFunc directly.
    bool Call(std::function<void()> AFunc);

    // User-interface side.
    // Abandons waiting calls and makes further calls return at once until ResumeCalls.
    void CancelCalls();
    void ResumeCalls();
    // Removes every undelivered packet (oldest first) and drops undelivered state messages.
    std::vector<std::unique_ptr<TKRConnectorPack>> TakeUndelivered();
    // Runs the calls that wait (used while the UI thread itself waits for the worker).
    void ServeCalls();
    // Drains every AMs milliseconds while batched packets may come, until StopBatches.
    void StartBatches(uint32_t AMs);
    void StopBatches();
    // Processes every queued message now.
    Q_INVOKABLE void Drain();
    // Set while a call waits to be served.
    const TKREvent& CallEvent() const { return FCallEvent; }

private:
    struct TCall;
    struct TMessage;
    void Enqueue(TMessage AMsg, bool AWake = true);
    void PostWake();
    // FCallEvent is written only when its state changes (FLock held).
    void SetCallEventLocked();
    void ResetCallEventLocked();
    void RunCall(TCall& ACall);

    TKRConnector* const FConnector;
    std::mutex FLock;
    std::condition_variable FCallDone;
    std::list<TMessage> FMessages;
    bool FWakePending = false;  // a posted wake-up has not yet reached Drain
    bool FCallEventSet = false;
    bool FCallsCancelled = false;
    TKREvent FCallEvent;
    QTimer FBatchTimer;
};
