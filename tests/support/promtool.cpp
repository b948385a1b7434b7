#include "tests/support/promtool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include <QFile>
#include <QTemporaryDir>

extern char** environ;

namespace testsupport {

std::string PromtoolProblems(const QByteArray& AText) {
    QTemporaryDir dir;
    const QString in = dir.filePath("metrics.txt"), out = dir.filePath("said.txt");
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly) || file.write(AText) != AText.size())
        return "cannot write the exposition for promtool";
    file.close();
    const std::string inPath = in.toStdString(), outPath = out.toStdString();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // timeout(1) bounds a promtool that hangs; it exits 127 when promtool is missing.
    const char* argv[] = {"timeout", "20", "promtool", "check", "metrics", nullptr};
    pid_t pid = -1;
    const int spawned =
        posix_spawnp(&pid, "timeout", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return "cannot start promtool";
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    QFile said(out);
    const QString text =
        said.open(QIODevice::ReadOnly) ? QString::fromUtf8(said.readAll()).trimmed() : QString();
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 127) return "promtool is missing (scripts/ensure_deps.sh)";
    if (code != 0 && text.isEmpty()) return "promtool failed";
    return text.toStdString();
}

}  // namespace testsupport
