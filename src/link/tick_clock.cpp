#include "link/tick_clock.h"

#include <chrono>

namespace {
class TSteadyTickClock final : public TTickClock {
public:
    uint32_t TickCount() const override {
        using namespace std::chrono;
        return static_cast<uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
};
}  // namespace

TTickClock& SystemTickClock() {
    static TSteadyTickClock clock;
    return clock;
}

int64_t KRSteadyMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
