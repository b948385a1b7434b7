#pragma once
// Switching the output off before a session is closed under a running autotest (window close,
// interrupt of benchlordctl, lost link): a disconnect drops the scheduler's pending jobs, so the
// off write is sent at once and waited for, bounded, before the keys are released. Other writes
// owed at such an end (the protections a run raised) go out with it.

#include <cstdint>
#include <vector>

class TSessionCore;

// A register write sent at once (one value: a single-register write).
struct TRegisterWrite {
    uint16_t Start = 0;
    std::vector<uint16_t> Values;
};

// Writes ONOFF = 0 and waits up to ATimeoutMs for the answer while the event loop runs. With the
// session still connected its scheduler is stopped first (one request at a time); after a lost
// link the write is tried when the transport is still open. True when the supply answered.
bool SwitchOutputOffNow(TSessionCore& ACore, int ATimeoutMs);
// Sends AWrites the same way, one after the other, waiting for each up to ATimeoutMs (or the
// connector's own reply wait) and the time the port takes to open again after a write that got
// no reply; which of them the supply answered.
std::vector<bool> WriteRegistersNow(TSessionCore& ACore, const std::vector<TRegisterWrite>& AWrites,
                                    int ATimeoutMs);
