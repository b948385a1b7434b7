#pragma once
// A tick clock that moves only when a test advances it. Safe to read from any thread.

#include <atomic>
#include <cstdint>

#include "link/tick_clock.h"

namespace testsupport {

class TManualClock final : public TTickClock {
public:
    explicit TManualClock(uint32_t AStart = 1000000) : fNow(AStart) {}
    uint32_t TickCount() const override { return fNow.load(); }
    void Advance(uint32_t AMs) { fNow.fetch_add(AMs); }
    void Set(uint32_t AMs) { fNow.store(AMs); }

private:
    std::atomic<uint32_t> fNow;
};

}  // namespace testsupport
