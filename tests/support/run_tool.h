#pragma once
// Runs a program of the system to its end for a test (promtool, openssl, mosquitto_passwd).
// Started with posix_spawn rather than QProcess: QProcess starts a thread of its own after the
// fork, which the thread sanitizer refuses in a test process that already runs link workers.

#include <string>
#include <vector>

namespace testsupport {

// Runs AArgs[0], looked up on PATH, under timeout(1) (ATimeoutSeconds) with its standard input
// from the file AInput (empty: /dev/null) and its standard output and error into the file
// AOutput (empty: dropped). Its exit status; 127 when it cannot be found, -1 on a signal.
int RunTool(const std::vector<std::string>& AArgs, const std::string& AInput = {},
            const std::string& AOutput = {}, int ATimeoutSeconds = 20);

}  // namespace testsupport
