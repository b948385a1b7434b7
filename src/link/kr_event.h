#pragma once
// Manual-reset event on an eventfd, so that a wait can watch events and sockets together.

#include <cstdint>
#include <initializer_list>

class TKREvent {
public:
    explicit TKREvent(bool AInitialState = false);
    ~TKREvent();
    TKREvent(const TKREvent&) = delete;
    TKREvent& operator=(const TKREvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Readable while the event is set; may be added to poll/select sets.
    int Fd() const { return FFd; }
    // Waits up to ATimeout ms (negative: no limit); true when the event is set.
    bool Wait(int32_t ATimeout) const;

private:
    int FFd = -1;
};

// Waits until one of the events is set. Returns its index, -1 on time-out, -2 on a failed wait.
int KRWaitForAny(std::initializer_list<const TKREvent*> AEvents, int32_t ATimeout);
