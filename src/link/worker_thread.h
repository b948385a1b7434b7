#pragma once
// Generic worker: a thread that sleeps on its stop event and a work event and runs work steps
// while the work event is set and the worker is active. Once woken it keeps stepping as long as
// WorkPending() says so, without waiting on the events between steps.

#include <atomic>
#include <cstdint>
#include <thread>

#include "link/kr_event.h"

class TKRThread2 {
public:
    // Name of every worker thread as the system shows it (at most 15 characters).
    static constexpr const char* kThreadName = "link worker";

    // AWaitEvent is the work event (for connectors: the queue's signal event); not owned.
    explicit TKRThread2(const TKREvent* AWaitEvent);
    virtual ~TKRThread2();
    TKRThread2(const TKRThread2&) = delete;
    TKRThread2& operator=(const TKRThread2&) = delete;

    // Starts the thread. Called by the owner once the object is fully constructed.
    void Start();
    // Marks the thread terminated and sets the stop event; does not wait.
    void Terminate();
    // Waits for the thread to end (Terminate first).
    void WaitFor();

    virtual void SetActive(bool Value);
    bool Active() const { return FActive.load(); }
    // True until the thread is told to terminate.
    bool Working() const { return !FTerminated.load(); }
    bool Terminated() const { return FTerminated.load(); }
    // Becomes readable once Terminate was called; long waits of a work step watch it.
    int StopFd() const { return FStopEvent.Fd(); }

protected:
    // One unit of work; runs on the worker thread.
    virtual void WorkStep() = 0;
    // True when another work step has work right away; checked between steps.
    virtual bool WorkPending() { return false; }
    // Called on the worker thread when it finds itself deactivated.
    virtual void Deactivated() {}
    // Sleeps AMicros microseconds unless the thread is told to terminate first.
    void SleepUnlessStopped(uint64_t AMicros) const;

private:
    void Execute();

    std::atomic<bool> FActive{false};
    std::atomic<bool> FTerminated{false};
    TKREvent FStopEvent;
    TKREvent FWakeEvent;  // set when Active changes, so an idle worker re-reads it
    const TKREvent* FWorkEvent;
    std::thread FThread;
};
