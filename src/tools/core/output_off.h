#pragma once
// Switching the output off before a session is closed under a running autotest (window close,
// interrupt of benchlordctl, lost link): a disconnect drops the scheduler's pending jobs, so the
// off write is sent at once and waited for, bounded, before the keys are released.

class TSessionCore;

// Writes ONOFF = 0 and waits up to ATimeoutMs for the answer while the event loop runs. With the
// session still connected its scheduler is stopped first (one request at a time); after a lost
// link the write is tried when the transport is still open. True when the supply answered.
bool SwitchOutputOffNow(TSessionCore& ACore, int ATimeoutMs);
