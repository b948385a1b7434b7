#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/event_loop.h"

namespace clitest {

TChildProcess::TChildProcess(const std::string& AProgram, const std::vector<std::string>& AArgs) {
    // Everything the child needs is prepared before fork: it may only exec.
    std::vector<std::string> args{AProgram};
    args.insert(args.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    fPid = fork();
    if (fPid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    fOutFd = out[0];
    fErrFd = err[0];
    fcntl(fOutFd, F_SETFL, O_NONBLOCK);
    fcntl(fErrFd, F_SETFL, O_NONBLOCK);
}

TChildProcess::~TChildProcess() {
    if (Running()) {
        kill(fPid, SIGKILL);
        waitpid(fPid, nullptr, 0);
    }
    if (fOutFd >= 0) close(fOutFd);
    if (fErrFd >= 0) close(fErrFd);
}

bool TChildProcess::Running() {
    Drain();
    if (fPid <= 0 || fStatus >= 0) return false;
    int status = 0;
    if (waitpid(fPid, &status, WNOHANG) != fPid) return true;
    fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    Drain();
    return false;
}

void TChildProcess::Signal(int ASignal) {
    if (Running()) kill(fPid, ASignal);
}

int TChildProcess::Wait(int ATimeoutMs) {
    if (!testsupport::ProcessUntil([this] { return !Running(); }, ATimeoutMs)) return -1;
    return fStatus;
}

const std::string& TChildProcess::Out() {
    Drain();
    return fOut;
}

const std::string& TChildProcess::Err() {
    Drain();
    return fErr;
}

void TChildProcess::Drain() {
    char buffer[4096];
    for (auto [fd, text] : {std::pair{fOutFd, &fOut}, std::pair{fErrFd, &fErr}}) {
        if (fd < 0) continue;
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0)
            text->append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace clitest
