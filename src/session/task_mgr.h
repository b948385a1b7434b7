#pragma once
// The job scheduler of a session. Every part of the program that needs the supply only marks a job
// as pending; on each tick the scheduler serves the most urgent pending job by calling its handler,
// which issues exactly one Modbus request. When nothing is pending it polls the live readings.
// One request is outstanding at a time; three unanswered requests in a row end the session.
// Everything here runs on the user-interface thread.

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>

class TLN_TaskMgr;

// Notification callback; the scheduler passes itself as sender.
using TTaskNotifyEvent = std::function<void(TLN_TaskMgr* Sender)>;

class TLN_TaskMgr {
public:
    // AInterval: pause in milliseconds between a reply and the next request (5 in the program).
    explicit TLN_TaskMgr(uint32_t AInterval);
    ~TLN_TaskMgr();
    TLN_TaskMgr(const TLN_TaskMgr&) = delete;
    TLN_TaskMgr& operator=(const TLN_TaskMgr&) = delete;

    // Request operations: each marks its job as pending; repeated requests before the job is
    // served collapse into one. Allowed at any time; the next Start discards what is pending.
    void ReadMemNum() { Mark(fReadMemNum); }
    void ReadMemNumAndCounters() { Mark(fReadMemNumAndCounters); }
    void WriteOnOff() { Mark(fWriteOnOff); }
    void ReadGlobalData() { Mark(fReadGlobalData); }
    void WriteGlobalData() { Mark(fWriteGlobalData); }
    void ReadCalibData() { Mark(fReadCalibData); }
    void WriteCalibCmd() { Mark(fWriteCalibCmd); }
    void WriteMemNum() { Mark(fWriteMemNum); }
    void WriteMemory() { Mark(fWriteMemory); }
    void WriteCommand() { Mark(fWriteCommand); }
    void ReadSetData() { Mark(fReadSetData); }
    void ReadMemory() { Mark(fReadMemory); }
    void WriteSetData() { Mark(fWriteSetData); }
    void WriteBled() { Mark(fWriteBled); }
    void ReadTemperature() { Mark(fReadTemperature); }
    void ReadDebugData() { Mark(fReadDebugData); }
    void WriteJumpBoot() { Mark(fWriteJumpBoot); }

    // All job counters and the error count back to zero.
    void Clear();
    // Clear, then start ticking after the pause interval.
    void Start();
    // Stop ticking; pending counters keep their values. A reply arriving afterwards does not
    // restart the scheduler.
    void Stop();
    // Called by every reply handler after a successful reply: the next job follows fInterval
    // after this reply (issued at once when the link keeps that pause, see SetPauseInLink).
    void Callback();

    bool Running() const { return fRunning; }
    uint32_t ErrorCount() const { return fErrorCount; }
    uint32_t Interval() const { return fInterval; }
    uint32_t Timeout() const { return fTimeout; }
    // Response time-out in milliseconds (1000 in the program; tests shorten it).
    void SetTimeout(uint32_t ATimeout) { fTimeout = ATimeout; }
    // Least time in milliseconds from one live-reading poll to the next while no job is pending
    // (0, as in the window: poll again after the pause interval). Pending jobs are still served
    // after the pause interval.
    void SetPollPause(uint32_t APause) { fPollPause = APause; }
    // True when the link keeps the pause interval after each exchange itself (the connector's
    // exchange pause): a reply's Callback then lets the next job go out at once, and the link
    // holds it back until the pause has passed. This saves the scheduler a timer wake-up per
    // request and the link's worker the wake-up of a request arriving while it is idle.
    void SetPauseInLink(bool AValue) { fPauseInLink = AValue; }
    // When the link keeps the pause and no poll pause is set: the live-reading poll goes out as
    // a repeated request, which the link sends again by itself after each reply while nothing
    // else is pending; the readings come back in batches, once per frame. Saves the request
    // and a wake-up of each thread per reading on a fast link.
    void SetRepeatPoll(bool AValue) { fRepeatPoll = AValue; }
    // For the live-reading handler: the repetition its request starts, 0 for a single request.
    uint32_t PollRepetition() const { return fPollRepeating ? fPollEpoch : 0; }
    // Called by the live-reading handler after each good reply, with the PollRepetition its
    // request went out with (0: as Callback). A repetition's reply lets a pending job go next
    // (the job's request ends the repetition in the link); otherwise the repetition reads on.
    void PollCallback(uint32_t ARepetition);

    // Job handlers, each issuing one request; a job without a handler is still consumed.
    TTaskNotifyEvent fOnReadMemNum;
    TTaskNotifyEvent fOnReadMemNumAndCounters;
    TTaskNotifyEvent fOnWriteOnOff;
    TTaskNotifyEvent fOnWriteSetData;
    TTaskNotifyEvent fOnWriteMemNum;
    TTaskNotifyEvent fOnWriteMemory;
    TTaskNotifyEvent fOnWriteBled;
    TTaskNotifyEvent fOnReadMemory;
    TTaskNotifyEvent fOnReadData;
    TTaskNotifyEvent fOnReadSetData;
    TTaskNotifyEvent fOnReadGlobalData;
    TTaskNotifyEvent fOnWriteGlobalData;
    TTaskNotifyEvent fOnReadCalibData;
    TTaskNotifyEvent fOnWriteCalibCmd;
    TTaskNotifyEvent fOnReadTemperature;
    TTaskNotifyEvent fOnReadDebugData;
    TTaskNotifyEvent fOnWriteJumpBoot;
    TTaskNotifyEvent fOnWriteCommand;
    // Raised at the tick after an unanswered request, and after three in a row.
    TTaskNotifyEvent fOnError;
    TTaskNotifyEvent fOnTimeout;
    // The link must stop repeating the live-reading poll (stop, start, or another job's turn).
    TTaskNotifyEvent fOnEndRepeat;

private:
    struct TJobSlot {
        int32_t TLN_TaskMgr::*Counter;
        TTaskNotifyEvent TLN_TaskMgr::*Handler;
    };
    static const TJobSlot kServiceOrder[];

    void Tick();
    // Milliseconds until the next poll may go out; 0 when it may go now.
    uint32_t PollWait() const;
    void Restart(uint32_t AInterval);
    // Marks a job; a standing repetition of the poll gives way at once, so jobs go out in the
    // order they were asked for, not a frame later in service order.
    void Mark(int32_t& ACounter);
    bool JobPending() const;
    void EndRepetition();
    static void Fire(TLN_TaskMgr* ASelf, const TTaskNotifyEvent& AEvent);

    int32_t fReadMemNum = 0;
    int32_t fReadMemNumAndCounters = 0;
    int32_t fWriteSetData = 0;
    int32_t fWriteOnOff = 0;
    int32_t fWriteMemNum = 0;
    int32_t fWriteMemory = 0;
    int32_t fWriteBled = 0;
    int32_t fReadMemory = 0;
    int32_t fReadSetData = 0;
    int32_t fReadGlobalData = 0;
    int32_t fWriteGlobalData = 0;
    int32_t fReadDebugData = 0;
    int32_t fReadCalibData = 0;
    int32_t fWriteCalibCmd = 0;
    int32_t fReadTemperature = 0;
    int32_t fWriteJumpBoot = 0;
    int32_t fWriteCommand = 0;

    uint32_t fErrorCount = 0;
    QTimer fTimer;
    uint32_t fTimeout = 1000;
    uint32_t fInterval;
    uint32_t fPollPause = 0;
    bool fPauseInLink = false;
    bool fRepeatPoll = false;
    bool fPollRepeating = false;  // a repeated live-reading poll stands in the link
    uint32_t fPollEpoch = 0;      // numbers the repetitions, so replies of an ended one are known
    QElapsedTimer fLastRepeatReply;
    QElapsedTimer fLastPoll;
    // Between Start and Stop (or the error stop, or a served jump to the boot loader).
    bool fRunning = false;
    // Set while a job handler runs; a Callback or Stop inside the handler then decides how the
    // timer continues instead of the response wait.
    bool fInHandler = false;
    bool fRescheduled = false;
};
