#include "tools/core/log_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "tools/core/save_file.h"

namespace {
QString SystemText(int AError) {
    return QString::fromLocal8Bit(std::strerror(AError));
}
}  // namespace

TLogStream::~TLogStream() {
    Close();
}

QString TLogStream::Open(const QString& APath) {
    Close();
    fPath = APath;
    // Written through symbolic links: a link to a file not made yet makes that file. A special
    // file is refused here, before anything opens it.
    const TSaveTarget target = ResolveSaveTarget(APath);
    if (!target.Error.isEmpty()) return target.Error;
    const QByteArray path = QFile::encodeName(target.Path);
    fCreated = false;
    // Opened without blocking: a pipe swapped in after the check would otherwise wait for a
    // reader for ever.
    fFd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fFd < 0 && errno == ENOENT) {
        fFd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
        fCreated = fFd >= 0;
    }
    if (fFd < 0) return SystemText(errno);
    fCreatedPath = path;
    struct stat st {};
    if (::fstat(fFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fFd);
        fFd = -1;
        return QStringLiteral("not a regular file");
    }
    ::fcntl(fFd, F_SETFL, ::fcntl(fFd, F_GETFL) & ~O_NONBLOCK);
    fBegun = false;
    return {};
}

QString TLogStream::Begin(const QByteArray& AHeading) {
    if (fFd < 0) return SystemText(EBADF);
    if (::ftruncate(fFd, 0) != 0 || ::lseek(fFd, 0, SEEK_SET) < 0) return SystemText(errno);
    fBegun = true;
    return Write(AHeading);
}

QString TLogStream::Write(const QByteArray& ARow) {
    if (fFd < 0) return SystemText(EBADF);
    const off_t start = ::lseek(fFd, 0, SEEK_CUR);
    const char* data = ARow.constData();
    qsizetype left = ARow.size();
    int error = 0;
    while (left > 0) {
        const ssize_t n = ::write(fFd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        data += n;
        left -= n;
    }
    if (error == 0 && fSync && ::fdatasync(fFd) != 0) error = errno;
    if (error == 0) return {};
    // Half a row is taken back, so the file still ends with a whole one.
    if (start >= 0 && ::ftruncate(fFd, start) == 0) ::lseek(fFd, start, SEEK_SET);
    return SystemText(error);
}

void TLogStream::Close() {
    if (fFd < 0) return;
    ::close(fFd);
    fFd = -1;
    if (fCreated && !fBegun) ::unlink(fCreatedPath.constData());
    fCreated = false;
}
