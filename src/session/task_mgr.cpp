#include "session/task_mgr.h"

// Fixed service order: the first pending job in this list is served. ReadData is not listed;
// it is what a tick serves when nothing is pending.
const TLN_TaskMgr::TJobSlot TLN_TaskMgr::kServiceOrder[] = {
    {&TLN_TaskMgr::fReadMemNum, &TLN_TaskMgr::fOnReadMemNum},
    {&TLN_TaskMgr::fReadMemNumAndCounters, &TLN_TaskMgr::fOnReadMemNumAndCounters},
    {&TLN_TaskMgr::fWriteOnOff, &TLN_TaskMgr::fOnWriteOnOff},
    {&TLN_TaskMgr::fReadGlobalData, &TLN_TaskMgr::fOnReadGlobalData},
    {&TLN_TaskMgr::fWriteGlobalData, &TLN_TaskMgr::fOnWriteGlobalData},
    {&TLN_TaskMgr::fReadCalibData, &TLN_TaskMgr::fOnReadCalibData},
    {&TLN_TaskMgr::fWriteCalibCmd, &TLN_TaskMgr::fOnWriteCalibCmd},
    {&TLN_TaskMgr::fWriteMemNum, &TLN_TaskMgr::fOnWriteMemNum},
    {&TLN_TaskMgr::fWriteMemory, &TLN_TaskMgr::fOnWriteMemory},
    {&TLN_TaskMgr::fWriteCommand, &TLN_TaskMgr::fOnWriteCommand},
    {&TLN_TaskMgr::fReadSetData, &TLN_TaskMgr::fOnReadSetData},
    {&TLN_TaskMgr::fReadMemory, &TLN_TaskMgr::fOnReadMemory},
    {&TLN_TaskMgr::fWriteSetData, &TLN_TaskMgr::fOnWriteSetData},
    {&TLN_TaskMgr::fWriteBled, &TLN_TaskMgr::fOnWriteBled},
    {&TLN_TaskMgr::fReadTemperature, &TLN_TaskMgr::fOnReadTemperature},
    {&TLN_TaskMgr::fReadDebugData, &TLN_TaskMgr::fOnReadDebugData},
};

TLN_TaskMgr::TLN_TaskMgr(uint32_t AInterval) : fInterval(AInterval) {
    fTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
}

TLN_TaskMgr::~TLN_TaskMgr() {
    fTimer.stop();
}

void TLN_TaskMgr::Clear() {
    EndRepetition();
    for (const TJobSlot& slot : kServiceOrder)
        this->*slot.Counter = 0;
    fWriteJumpBoot = 0;
    fErrorCount = 0;
}

void TLN_TaskMgr::Start() {
    Clear();
    fRunning = true;
    Restart(fInterval);
}

void TLN_TaskMgr::Stop() {
    fRunning = false;
    fTimer.stop();
    EndRepetition();
}

void TLN_TaskMgr::EndRepetition() {
    if (!fPollRepeating) return;
    fPollRepeating = false;
    Fire(this, fOnEndRepeat);
}

void TLN_TaskMgr::Mark(int32_t& ACounter) {
    ++ACounter;
    if (!fRunning || !fPollRepeating) return;
    EndRepetition();
    // As after a reply: nothing was lost, the job goes out next.
    fErrorCount = 0;
    Restart(0);
}

bool TLN_TaskMgr::JobPending() const {
    if (fWriteJumpBoot > 0) return true;
    for (const TJobSlot& slot : kServiceOrder)
        if (this->*slot.Counter > 0) return true;
    return false;
}

void TLN_TaskMgr::PollCallback(uint32_t ARepetition) {
    if (ARepetition == 0) {
        Callback();
        return;
    }
    // A reply of a repetition that has ended since steers nothing.
    if (!fRunning || !fPollRepeating || ARepetition != fPollEpoch) return;
    if (JobPending()) {
        EndRepetition();
        Callback();
        return;
    }
    // One request stays out and none was lost; the time-out counts from this reply.
    fErrorCount = 1;
    fLastRepeatReply.start();
}

void TLN_TaskMgr::Callback() {
    // A reply that arrives after the scheduler was stopped must not start it again: after a
    // stop nothing is sent until the next Start.
    if (!fRunning) return;
    fErrorCount = 0;
    // Once the reply's handlers have returned (a zero timer), not from inside them.
    Restart(fPauseInLink ? 0 : fInterval);
}

uint32_t TLN_TaskMgr::PollWait() const {
    if (fPollPause == 0 || !fLastPoll.isValid() || JobPending()) return 0;
    const qint64 left = static_cast<qint64>(fPollPause) - fLastPoll.elapsed();
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void TLN_TaskMgr::Restart(uint32_t AInterval) {
    fTimer.stop();
    fTimer.setInterval(static_cast<int>(AInterval));
    fTimer.start();
    if (fInHandler) fRescheduled = true;
}

void TLN_TaskMgr::Fire(TLN_TaskMgr* ASelf, const TTaskNotifyEvent& AEvent) {
    if (AEvent) AEvent(ASelf);
}

void TLN_TaskMgr::Tick() {
    fTimer.stop();
    // A standing repetition that answered within the time-out is still on time.
    if (fPollRepeating && fLastRepeatReply.isValid()) {
        const qint64 since = fLastRepeatReply.elapsed();
        if (since < fTimeout) {
            Restart(static_cast<uint32_t>(fTimeout - since));
            return;
        }
    }
    EndRepetition();
    // An error count of 1 here means the previous request got no reply within the time-out.
    if (fErrorCount == 1) Fire(this, fOnTimeout);
    if (!fRunning) return;  // the time-out handler may have ended the session
    if (fErrorCount >= 3) {
        Stop();
        Fire(this, fOnError);
        return;
    }
    // Nothing was left unanswered and nothing is pending: the next poll may have to wait.
    if (fErrorCount == 0) {
        const uint32_t wait = PollWait();
        if (wait > 0) {
            Restart(wait);
            return;
        }
    }
    ++fErrorCount;

    if (fWriteJumpBoot > 0) {
        // The device leaves its application on this request and never answers: stay silent
        // until someone starts the scheduler again.
        fWriteJumpBoot = 0;
        fRunning = false;
        Fire(this, fOnWriteJumpBoot);
        return;
    }

    const TTaskNotifyEvent* handler = &fOnReadData;
    for (const TJobSlot& slot : kServiceOrder) {
        if (this->*slot.Counter > 0) {
            this->*slot.Counter = 0;
            handler = &(this->*slot.Handler);
            break;
        }
    }

    if (handler == &fOnReadData) {
        fLastPoll.start();
        if (fRepeatPoll && fPauseInLink && fPollPause == 0) {
            fPollRepeating = true;
            if (++fPollEpoch == 0) ++fPollEpoch;  // 0 means a single request
            fLastRepeatReply.invalidate();
        }
    }
    fInHandler = true;
    fRescheduled = false;
    Fire(this, *handler);
    fInHandler = false;
    // A handler that completed at once (Callback) or ended the session (Stop) has already
    // decided what comes next; otherwise wait for the reply.
    if (fRescheduled || !fRunning) return;
    Restart(fTimeout);
}
