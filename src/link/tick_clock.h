#pragma once
// Millisecond tick source. Production code uses the steady clock; tests install their own clock
// so that time-outs and reconnect delays can be driven without waiting.

#include <cstdint>

class TTickClock {
public:
    virtual ~TTickClock() = default;
    // Milliseconds since an arbitrary origin; wraps like a 32-bit tick counter.
    virtual uint32_t TickCount() const = 0;
};

// The steady-clock implementation.
TTickClock& SystemTickClock();

// The steady clock in microseconds (the link's exchange times).
int64_t KRSteadyMicros();
