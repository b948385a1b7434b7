#include "link/thread_queue.h"

#include "link/connector.h"

TKRThreadQueue2::TKRThreadQueue2() = default;
TKRThreadQueue2::~TKRThreadQueue2() = default;

TKRThreadQueue2::TItem TKRThreadQueue2::Push(TItem AItem) {
    std::lock_guard lock(FCriticalSection);
    if (!FActive) return AItem;
    // The events change only when the queue turns non-empty, so that a full queue costs no
    // system calls per packet.
    if (FList.empty()) {
        FSignalEvent.Set();
        FEmptyEvent.Reset();
    }
    FList.push_front(std::move(AItem));
    return nullptr;
}

TKRThreadQueue2::TItem TKRThreadQueue2::Pop() {
    std::lock_guard lock(FCriticalSection);
    if (FList.empty()) return nullptr;
    TItem item = std::move(FList.back());
    FList.pop_back();
    FInHand = true;
    if (FList.empty()) FSignalEvent.Reset();
    return item;
}

void TKRThreadQueue2::Finished() {
    std::lock_guard lock(FCriticalSection);
    FInHand = false;
    if (FList.empty()) FEmptyEvent.Set();
}

int32_t TKRThreadQueue2::Count() const {
    std::lock_guard lock(FCriticalSection);
    return static_cast<int32_t>(FList.size());
}

bool TKRThreadQueue2::AtLeast(int32_t ACount) const {
    return Count() >= ACount;
}

bool TKRThreadQueue2::Empty() const {
    std::lock_guard lock(FCriticalSection);
    return FList.empty();
}

std::vector<TKRThreadQueue2::TItem> TKRThreadQueue2::ClearLocked() {
    std::vector<TItem> items;
    if (FList.empty()) return items;  // the events already say so
    while (!FList.empty()) {
        items.push_back(std::move(FList.back()));
        FList.pop_back();
    }
    FSignalEvent.Reset();
    if (!FInHand) FEmptyEvent.Set();
    return items;
}

std::vector<TKRThreadQueue2::TItem> TKRThreadQueue2::Clear() {
    std::lock_guard lock(FCriticalSection);
    return ClearLocked();
}

bool TKRThreadQueue2::WaitForEmpty(int32_t aTimeOut) const {
    return FEmptyEvent.Wait(aTimeOut);
}

std::vector<TKRThreadQueue2::TItem> TKRThreadQueue2::SetActive(bool Value) {
    std::lock_guard lock(FCriticalSection);
    std::vector<TItem> removed;
    if (FActive && !Value) removed = ClearLocked();
    FActive = Value;
    return removed;
}

bool TKRThreadQueue2::Active() const {
    std::lock_guard lock(FCriticalSection);
    return FActive;
}
