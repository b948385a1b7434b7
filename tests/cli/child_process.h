#pragma once
// A child process for tests, started with fork and exec only (the child does nothing else before
// exec, which keeps a threaded test process safe, also under the thread sanitizer). Its standard
// output and error are collected while the test waits on the event loop.

#include <sys/types.h>

#include <string>
#include <vector>

namespace clitest {

class TChildProcess {
public:
    TChildProcess(const std::string& AProgram, const std::vector<std::string>& AArgs);
    ~TChildProcess();  // kills a child still running
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    bool Started() const { return fPid > 0; }
    bool Running();
    void Signal(int ASignal);
    // Waits (serving events) until the child ends; its exit code, 128 + signal when a signal
    // ended it, -1 when it is still running after ATimeoutMs.
    int Wait(int ATimeoutMs = 5000);
    // What arrived so far.
    const std::string& Out();
    const std::string& Err();

private:
    void Drain();
    pid_t fPid = -1;
    int fOutFd = -1;
    int fErrFd = -1;
    int fStatus = -1;
    std::string fOut;
    std::string fErr;
};

}  // namespace clitest
