#pragma once
// Connector framework: a connector moves raw frames between the user-interface thread and one
// transport. Callers queue frames with Send; one worker thread per connector serves the queue
// oldest first, runs each exchange on the transport and hands the packet back to the
// user-interface thread, where its CallBack is called exactly once.
//
// Completion contract (every packet given to Send):
//  - CallBack(AError, APack, ALength, AData) runs exactly once, on the user-interface thread
//    (the thread that created the connector). AError is 0 or a TKRConnectorError code;
//    ALength is the reply length on success, 0 otherwise.
//  - Success and transport failures (codes 2 to 6) both arrive through the packet's CallBack;
//    the worker never calls into the Modbus request record itself.
//  - Refusals are reported at once, from inside Send, on the caller's thread: 1 when 255
//    packets already wait, 7 when the connector is inactive.
//  - Packets still waiting, in flight or undelivered when the connector is deactivated,
//    QueueClear is called or the connector is destroyed complete with 7 (cerNotActive).
//  - The buffer APack must come from `new TKRBuffer`; from the moment of Send it belongs to the
//    exchange and comes back to the CallBack, which then owns it (and must release it). Without
//    a CallBack the connector deletes the buffer; AData is never touched by the connector.
//
// Repeated packets (Send with ARepeat): after each good reply the worker sends the same frame
// again, after the exchange pause, for as long as no other packet is queued and EndRepeat,
// QueueClear or a deactivation has not ended the repetition. The CallBack then runs once per
// exchange, each time with a buffer of its own: with 0 for each good reply, and a last time
// either with the failure that ended the repetition or with 7 when it was ended otherwise.
// Good replies are handed over in batches, at most one frame interval (BatchInterval) late, so
// a fast link wakes the user-interface thread once per frame rather than once per reply.

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "link/connector_texts.h"
#include "link/kr_types.h"
#include "link/runtime_errors.h"
#include "link/tick_clock.h"
#include "link/worker_thread.h"

class TKRConnector;
class TKRConnectorThread;
class TKRThreadQueue2;
class TKRUiDispatcher;

enum TKRConnectorType { ctCOMPort = 0, ctTCPClient = 1, ctBluetooth = 2 };

enum TKRConnectorStat {
    cstNotActive = 0,
    cstDisconnected = 1,
    cstConnected = 2,
    cstConnecting = 3,
    cstWaitReconnecting = 4,
};

using TKRConnectorCallBack =
    std::function<void(int32_t AError, PKRBuffer APack, int32_t ALength, void* AData)>;
using TKRConnectorPackEv =
    std::function<void(TKRConnector* Sender, PKRBuffer APack, int32_t ALength)>;
using TKRConnectorStatEv =
    std::function<void(TKRConnector* Sender, TKRConnectorStat AStat, uint32_t AReconnectTime)>;

// One queued exchange.
struct TKRConnectorPack {
    bool WaitResult = false;   // collect a reply after sending
    int32_t Length = 0;        // bytes to send; after success the reply bytes received
    int32_t RLen = 0;          // expected reply length; <= 0 unknown
    int32_t DelimiterLen = 0;  // 0..4 bytes of Delimiter end a reply; 0 = none
    int32_t Error = 0;         // 0 or a TKRConnectorError code
    uint32_t Delimiter = 0;    // end-of-reply marker, last byte in the lowest 8 bits
    // Ends the read before RLen bytes when it recognises a whole reply; null: none.
    TKRReplyComplete ReplyComplete = nullptr;
    // Length of the shortest whole reply ReplyComplete may recognise (an RTU exception: 5), so a
    // serial worker knows when to look before RLen bytes are in; 0: any length.
    int32_t ShortReply = 0;
    PKRBuffer Pack = nullptr;  // frame to send; the reply is received into it
    void* pData = nullptr;     // caller's user data (the Modbus layer: its TMBPack)
    TKRConnectorCallBack CallBack;
    bool Repeat = false;  // sent again after each good reply (see the header)
    // For repeated packets: the last completion of the repetition (a good reply is not).
    bool Final = true;
    uint32_t RepeatEpoch = 0;  // the connector's repeat epoch at Send
    // Steady clock in microseconds, set by the worker: the request's last byte was written (the
    // exchange began, for one that failed before), and the reply's last byte was read (or the
    // packet was handed back without one). Their difference is the exchange itself, without the
    // pause between exchanges or the wait in the queue. 0 for packets that never reached the
    // worker.
    int64_t SentUs = 0;
    int64_t DoneUs = 0;
};
using PKRConnectorPack = TKRConnectorPack*;

// Abstract connector. Lives on the user-interface thread; all public operations are called
// there. Transports derive from it, create their worker in their constructor with
// InstallThread() and stop it with ShutdownThread() on deactivation and in their destructor.
class TKRConnector : public QObject {
public:
    explicit TKRConnector(TKRConnectorType AType, QObject* AOwner = nullptr);
    ~TKRConnector() override;

    // Queues one frame (see the completion contract above). A reply is read until ARecvLen
    // bytes, the delimiter or a whole reply by AReplyComplete has arrived, or the transport's
    // time-outs end the read. AShortReply: see TKRConnectorPack::ShortReply.
    void Send(PKRBuffer APack, int32_t ALength, TKRConnectorCallBack ACallBack, void* AData,
              bool AWaitResult = true, int32_t ARecvLen = 0, uint32_t ADelimiter = 0,
              int32_t ADelimiterLen = 0, TKRReplyComplete AReplyComplete = nullptr,
              int32_t AShortReply = 0, bool ARepeat = false);
    // Drops the waiting packets; they complete with cerNotActive. Ends a repetition.
    void QueueClear();
    // Ends the repetition of a repeated packet: the worker sends it no more and completes it
    // with cerNotActive (an exchange under way still completes first).
    void EndRepeat();
    // Longest time in milliseconds a good reply of a repeated packet waits to be handed over
    // with the next ones (40: one frame at 25 Hz).
    uint32_t BatchInterval() const { return FBatchInterval; }
    void SetBatchInterval(uint32_t AMs);
    // The exchange times of the packet whose CallBack runs (steady clock, microseconds; see
    // TKRConnectorPack::SentUs). Read them first thing: completing another packet replaces them.
    int64_t CompletingSentUs() const { return FCompletingSentUs; }
    int64_t CompletingDoneUs() const { return FCompletingDoneUs; }
    // Waits up to aTimeout ms until no packet waits and the one being served has been exchanged
    // and handed back (its completion may still wait for this thread).
    bool QueueWaitForEmpty(int32_t aTimeout);

    bool Active() const;
    virtual void SetActive(bool Value);
    virtual bool Connected() const { return false; }

    int32_t QueueCount() const;
    int32_t QueueOutCount() const { return 0; }
    TKRConnectorStat Stat() const;
    uint32_t LastConnectTime() const;
    TKRConnectorType ConnectorType() const { return FConnectorType; }
    uint32_t GetCounter() const;

    static std::string ErrorMsg(int32_t AError) { return KRConnectorErrorMsg(AError); }
    void DoRuntimeError(const std::string& ADesc, const std::exception& AException);

    // The component name used in runtime-error descriptions; also set as the objectName.
    // Safe to read from the worker thread (set it through SetName, not setObjectName).
    std::string Name() const;
    void SetName(const std::string& AName);

    // Time-outs in milliseconds. Read, write and connect time-outs accept 10..10000 only
    // (other values are ignored); transports may redefine them.
    virtual uint32_t ReadTimeout() const { return FReadTimeout.load(); }
    virtual void SetReadTimeout(uint32_t Value);
    virtual uint32_t WriteTimeout() const { return FWriteTimeout.load(); }
    virtual void SetWriteTimeout(uint32_t Value);
    virtual uint32_t ConnectTimeout() const { return FConnectTimeout.load(); }
    virtual void SetConnectTimeout(uint32_t Value);
    uint32_t WaitRespTime() const { return FWaitRespTime.load(); }
    void SetWaitRespTime(uint32_t Value);
    uint32_t ReconnectTime() const { return FReconnectTime.load(); }
    void SetReconnectTime(uint32_t Value);
    // 0 or less switches the failure count off.
    int32_t CountErrorsForReconnect() const { return FCountErrorsForReconnect.load(); }
    void SetCountErrorsForReconnect(int32_t Value) { FCountErrorsForReconnect.store(Value); }
    // Least time in milliseconds the line stays quiet after an exchange before the next one
    // starts (0: none). The worker keeps it right after handing the reply back, so a frame
    // queued meanwhile goes out when it ends, without waking the worker once more; a frame
    // still waiting when the queue is cleared or the connector deactivated is never sent.
    uint32_t ExchangePause() const { return FExchangePause.load(); }
    void SetExchangePause(uint32_t Value);

    // Events. OnSend/OnRecv run on the worker thread; OnSendAsync/OnRecvAsync run on the
    // user-interface thread while the worker waits; OnConnectionStatus on the UI thread.
    void SetOnSend(TKRConnectorPackEv AEv);
    void SetOnRecv(TKRConnectorPackEv AEv);
    void SetOnSendAsync(TKRConnectorPackEv AEv);
    void SetOnRecvAsync(TKRConnectorPackEv AEv);
    void SetOnConnectionStatus(TKRConnectorStatEv AEv);
    TKRConnectorPackEv OnSend() const;
    TKRConnectorPackEv OnRecv() const;
    TKRConnectorPackEv OnSendAsync() const;
    TKRConnectorPackEv OnRecvAsync() const;
    TKRConnectorStatEv OnConnectionStatus() const;
    void SetOnRuntimeError(TKRRuntimeErrorEv AEv) { FRuntimeErrorEv.Set(std::move(AEv)); }
    TKRRuntimeErrorEv OnRuntimeError() const { return FRuntimeErrorEv.Get(); }

    // Tick source for reconnect pauses and state messages; tests may install their own.
    // The clock must outlive the connector and be safe to read from the worker thread.
    // Set it while the connector is inactive (the worker is then renewed).
    void SetTickClock(const TTickClock* AClock);
    const TTickClock& TickClock() const { return *FClock.load(); }

protected:
    friend class TKRConnectorThread;
    friend class TKRUiDispatcher;

    // Creates the transport's worker (not yet started).
    virtual std::unique_ptr<TKRConnectorThread> CreateThread() = 0;
    // Creates and starts a fresh worker. Called by the transport's constructor and after
    // ShutdownThread on deactivation.
    void InstallThread();
    // Terminates the worker, waits for it, destroys it, then completes every packet the
    // worker handed back but the user-interface thread has not yet seen with cerNotActive.
    void ShutdownThread();
    TKRConnectorThread* Thread() const { return FThread.get(); }

    // Completes one packet on the calling (user-interface) thread and releases the record.
    void CompletePacket(std::unique_ptr<TKRConnectorPack> APack, int32_t AError);

private:
    // Called by the dispatcher on the user-interface thread.
    void HandlePacketMessage(std::unique_ptr<TKRConnectorPack> APack);
    void HandleStatusMessage(TKRConnectorStat AStat, uint32_t AMs);
    void CompleteAll(std::vector<std::unique_ptr<TKRConnectorPack>> APacks);

    std::atomic<uint32_t> FWaitRespTime{5};
    std::atomic<uint32_t> FReconnectTime{5000};
    std::atomic<uint32_t> FReadTimeout{100};
    std::atomic<uint32_t> FWriteTimeout{100};
    std::atomic<uint32_t> FConnectTimeout{1000};
    std::atomic<uint32_t> FExchangePause{0};
    // Raised to end a repetition: a repeated packet runs while its epoch is the current one.
    std::atomic<uint32_t> FRepeatEpoch{1};
    int32_t FRepeatsOpen = 0;  // repeated packets sent and not yet finally completed (UI thread)
    uint32_t FBatchInterval = 40;
    int64_t FCompletingSentUs = 0;
    int64_t FCompletingDoneUs = 0;
    std::unique_ptr<TKRUiDispatcher> FHandle;  // the hidden message window
    mutable std::mutex FEventLock;             // guards FName and the handler slots below
    std::string FName;
    TKRConnectorPackEv FOnRecv, FOnSend, FOnRecvAsync, FOnSendAsync;
    TKRConnectorStatEv FConnectionStatus;
    TKRRuntimeErrorSlot FRuntimeErrorEv;
    std::atomic<int32_t> FCountErrorsForReconnect{3};
    const TKRConnectorType FConnectorType;
    std::atomic<const TTickClock*> FClock;
    std::unique_ptr<TKRThreadQueue2> FQueue;
    std::unique_ptr<TKRConnectorThread> FThread;
};

// Worker base of every connector. Serves one packet per work step and keeps stepping while
// packets wait; the transport implements Exchange() for the packet in FPK, using the helpers
// below for the common frame.
class TKRConnectorThread : public TKRThread2 {
public:
    explicit TKRConnectorThread(TKRConnector* AConnector);
    ~TKRConnectorThread() override;

    TKRConnectorStat Stat() const { return FStat.load(); }
    uint32_t Counter() const { return FCounter.load(); }
    uint32_t LastConnectTime() const { return FLastConnectTime.load(); }

    // Copies of the connector's times, written by the connector's setters.
    std::atomic<uint32_t> FWaitRespTime;
    std::atomic<uint32_t> FReconnectTime;
    std::atomic<uint32_t> FReadTimeout;
    std::atomic<uint32_t> FWriteTimeout;
    std::atomic<uint32_t> FConnectTimeout;
    std::atomic<uint32_t> FExchangePause;

protected:
    // Takes the oldest packet as FPK (or the next round of a repetition) and runs Exchange();
    // exceptions become runtime errors. Then keeps the exchange pause, before the queue is
    // looked at again.
    void WorkStep() override;
    bool WorkPending() override;
    void Deactivated() override;
    // The transport's exchange step for FPK. Must hand FPK back with Deliver().
    virtual void Exchange() = 0;

    // Transport hooks used by EnsureConnected() and CountFailure().
    virtual bool TransportConnected() { return false; }
    virtual void TransportOpen() {}  // reports its own exceptions
    virtual void TransportClose() {}

    // Common step 1: connect on demand. Returns false when the packet was delivered with
    // cerNotConnected.
    bool EnsureConnected();
    // Counts one failure: Error := ACode, Length := 0; at the CountErrorsForReconnect limit
    // closes the transport, posts cstDisconnected and restarts the reconnect pause.
    void CountFailure(int32_t ACode);
    // A reply of AReceived bytes arrived: counter +1, Length, error count reset, recv events.
    void ReceiveSucceeded(int32_t AReceived);
    // OnSend (here) then OnSendAsync (user-interface thread, waiting for it).
    void RaiseSendEvents();
    void RaiseRecvEvents();
    // Posts a state message following the posting rules.
    void PostStat(TKRConnectorStat S);
    // Hands FPK back to the user-interface thread (a good reply of a repetition with the next
    // batch).
    void Deliver();
    void ReportRuntimeError(std::string_view APrefix, std::string_view ASuffix,
                            const std::exception& AException);
    uint32_t Now() const { return FConnector->TickClock().TickCount(); }

    TKRConnector* const FConnector;
    std::unique_ptr<TKRConnectorPack> FPK;  // packet being served, owned by the worker
    int64_t FLastDoneUs = 0;                // when the last exchange ended (its DoneUs)
    int32_t FErrCntr = 0;                   // consecutive failures (worker only)
    std::atomic<uint32_t> FLastConnectTime{0};

private:
    friend class TKRConnector;
    // Ends the repetition, completing its record with cerNotActive.
    void EndRepeat();
    // The repetition's record with the frame to send again (owned; its buffer holds the
    // request); null when nothing repeats.
    std::unique_ptr<TKRConnectorPack> FRepeat;
    bool FRepeatFailed = false;  // the round just delivered failed and ended the repetition
    uint32_t FLastStatusSendTm = 0;
    uint32_t FCreatedConnectTime = 0;  // FLastConnectTime as dated at creation
    std::atomic<TKRConnectorStat> FStat{cstNotActive};
    std::atomic<uint32_t> FCounter{0};
};
