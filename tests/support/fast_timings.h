#pragma once
// Session intervals shortened for tests: the same rules, milliseconds instead of seconds.

#include "session/session_core.h"

namespace testsupport {

inline TSessionTimings FastTimings() {
    TSessionTimings t;
    t.TaskInterval = 2;
    t.ResponseTimeout = 400;  // a reply late by a loaded machine's stall still counts
    t.SessionTick = 20;
    t.AutoconnectFirst = 20;
    t.AutoconnectRetry = 60;
    t.DrainTimeout = 1000;
    t.ReactivateWait = 0;
    return t;
}

}  // namespace testsupport
