#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace testsupport {

int RunTool(const std::vector<std::string>& AArgs, const std::string& AInput,
            const std::string& AOutput, int ATimeoutSeconds) {
    std::vector<std::string> line{"timeout", std::to_string(ATimeoutSeconds)};
    line.insert(line.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : line)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, AInput.empty() ? "/dev/null" : AInput.c_str(),
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, AOutput.empty() ? "/dev/null" : AOutput.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return 127;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
