#include "cli/cli_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "tools/core/log_stream.h"
#include "tools/core/save_file.h"

namespace {

constexpr qint64 kMaxInputBytes = 16 * 1024 * 1024;  // far beyond any plan or step file

QString SystemText(int AError) {
    return QString::fromLocal8Bit(std::strerror(AError));
}

QString ReadFd(int AFd, QByteArray& AOut) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(AFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SystemText(errno);
        if (n == 0) return {};
        AOut.append(buffer, n);
        if (AOut.size() > kMaxInputBytes)
            return QStringLiteral("too large for a plan or step file");
    }
}

}  // namespace

TInputFile ReadInputFile(const QString& APath) {
    const QByteArray path = QFile::encodeName(APath);
    const auto failed = [&APath](const QString& AReason) {
        return TInputFile{{}, "cannot read " + APath + ": " + AReason};
    };
    // The type is checked before opening (stat follows links), and the open does not block
    // should a pipe be swapped in meanwhile.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return failed(SystemText(errno));
    if (!S_ISREG(st.st_mode)) return failed(QStringLiteral("not a regular file"));
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failed(SystemText(errno));
    TInputFile file;
    QString error;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = QStringLiteral("not a regular file");
    else
        error = ReadFd(fd, file.Content);
    ::close(fd);
    if (!error.isEmpty()) return failed(error);
    return file;
}

QString OpenOutputStream(TLogStream& AStream, const QString& APath) {
    return AStream.Open(APath);
}

QString CheckOutputFile(const QString& APath) {
    return CheckSaveTarget(APath);
}

QString CannotWriteText(const QString& APath, const QString& AReason) {
    return "cannot write " + APath + ": " + AReason;
}
