#pragma once
// The connector's packet queue: first in, first out, guarded by its own lock. The signal event is
// set while packets wait; the empty event while none waits and the worker holds none it took
// (so a wait for it sees the last write really exchanged). Both change only when the queue turns
// empty or non-empty, or the worker is done with the packet it took.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "link/kr_event.h"

struct TKRConnectorPack;

class TKRThreadQueue2 {
public:
    using TItem = std::unique_ptr<TKRConnectorPack>;

    TKRThreadQueue2();
    ~TKRThreadQueue2();

    // Queues the item when active and returns null; when inactive the item is handed back.
    TItem Push(TItem AItem);
    // Removes and returns the oldest item, or null. The worker calls Finished() once it is done
    // with an item it took.
    TItem Pop();
    void Finished();
    int32_t Count() const;
    bool AtLeast(int32_t ACount) const;
    bool Empty() const;
    // Empties the queue and hands the removed items back, oldest first.
    std::vector<TItem> Clear();
    // Waits up to aTimeOut ms for the queue to be empty and the item taken last to be done.
    bool WaitForEmpty(int32_t aTimeOut) const;
    // Deactivating an active queue clears it; the removed items are handed back, oldest first.
    std::vector<TItem> SetActive(bool Value);
    bool Active() const;

    const TKREvent& SignalEvent() const { return FSignalEvent; }
    const TKREvent& EmptyEvent() const { return FEmptyEvent; }

private:
    std::vector<TItem> ClearLocked();

    mutable std::mutex FCriticalSection;
    std::deque<TItem> FList;  // newest at the front, oldest at the back
    TKREvent FSignalEvent{false};
    TKREvent FEmptyEvent{true};
    bool FActive = false;
    bool FInHand = false;  // an item taken by Pop() is not yet Finished()
};
