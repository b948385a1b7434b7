#pragma once
// Switching the output off (and putting back what a run changed) before a session is closed
// under a running autotest or plan (window close, interrupt of benchlordctl, lost link): a
// disconnect drops the scheduler's pending jobs, so the writes are sent at once and waited for,
// bounded, before the keys are released.

#include <cstdint>
#include <vector>

class TSessionCore;

// Writes AValues from register AStart and waits up to ATimeoutMs for the answer while the event
// loop runs. With the session still connected its scheduler is stopped first (one request at a
// time); after a lost link the write is tried when the transport is still open. True when the
// supply answered.
bool WriteRegistersNow(TSessionCore& ACore, uint16_t AStart, const std::vector<uint16_t>& AValues,
                       int ATimeoutMs);
// ONOFF = 0 as above.
bool SwitchOutputOffNow(TSessionCore& ACore, int ATimeoutMs);
