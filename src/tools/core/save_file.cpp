#include "tools/core/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

QString SystemText(int AError) {
    return QString::fromLocal8Bit(std::strerror(AError));
}

// The folder part of an encoded path ("." when there is none).
QByteArray FolderOf(const QByteArray& APath) {
    const qsizetype slash = APath.lastIndexOf('/');
    if (slash < 0) return ".";
    return slash == 0 ? QByteArray("/") : APath.left(slash);
}

bool WriteAll(int AFd, const char* AData, qsizetype ASize) {
    while (ASize > 0) {
        const ssize_t n = ::write(AFd, AData, static_cast<size_t>(ASize));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        AData += n;
        ASize -= n;
    }
    return true;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

TSaveTarget ResolveSaveTarget(const QString& APath) {
    QByteArray path = QFile::encodeName(APath);
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            if (errno == ENOENT) return {QFile::decodeName(path), {}};  // a new file
            return {{}, SystemText(errno)};
        }
        if (S_ISLNK(st.st_mode)) {
            QByteArray link(4096, '\0');
            const ssize_t n = ::readlink(path.constData(), link.data(), link.size());
            if (n < 0) return {{}, SystemText(errno)};
            link.truncate(n);
            // A relative link names a file beside the link.
            path = link.startsWith('/') ? link : FolderOf(path) + "/" + link;
            continue;
        }
        if (!S_ISREG(st.st_mode)) return {{}, QStringLiteral("not a regular file")};
        return {QFile::decodeName(path), {}};
    }
    return {{}, SystemText(ELOOP)};
}

QString CheckSaveTarget(const QString& APath) {
    const TSaveTarget target = ResolveSaveTarget(APath);
    if (!target.Error.isEmpty()) return target.Error;
    const QByteArray folder = FolderOf(QFile::encodeName(target.Path));
    if (::access(folder.constData(), W_OK) != 0) return SystemText(errno);
    return {};
}

QString SaveFile(const QString& APath, const std::function<QString(const QString&)>& AWrite) {
    const TSaveTarget target = ResolveSaveTarget(APath);
    if (!target.Error.isEmpty()) return target.Error;
    const QByteArray targetPath = QFile::encodeName(target.Path);
    const QByteArray name = targetPath.mid(targetPath.lastIndexOf('/') + 1);
    QByteArray temp = FolderOf(targetPath) + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return SystemText(errno);
    ::close(fd);
    const auto fail = [&](const QString& AReason) {
        ::unlink(temp.constData());
        return AReason;
    };
    const QString error = AWrite(QFile::decodeName(temp));
    if (!error.isEmpty()) return fail(error);

    // On the disk before it takes the name, with the permissions of the file it replaces.
    const int sync = ::open(temp.constData(), O_RDONLY | O_CLOEXEC);
    if (sync < 0 || ::fsync(sync) != 0) {
        const int e = errno;
        if (sync >= 0) ::close(sync);
        return fail(SystemText(e));
    }
    ::close(sync);
    struct stat old {};
    const mode_t mode =
        ::stat(targetPath.constData(), &old) == 0 ? old.st_mode & 07777 : NewFileMode();
    if (::chmod(temp.constData(), mode) != 0 ||
        ::rename(temp.constData(), targetPath.constData()) != 0)
        return fail(SystemText(errno));
    return {};
}

QString SaveFile(const QString& APath, const QByteArray& ABytes) {
    return SaveFile(APath, [&ABytes](const QString& ATemp) -> QString {
        const int fd = ::open(QFile::encodeName(ATemp).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return SystemText(errno);
        const bool ok = WriteAll(fd, ABytes.constData(), ABytes.size());
        const int e = errno;
        if (::close(fd) != 0 && ok) return SystemText(errno);
        return ok ? QString() : SystemText(e);
    });
}

QString CannotWrite(const QString& APath, const QString& AReason) {
    return "Cannot write " + APath + ": " + AReason;
}

QString ReadInputFile(const QString& APath, qint64 AMaxBytes, const QString& AWhat,
                      QByteArray& AText) {
    const QFileInfo info(APath);
    if (!info.exists()) return QStringLiteral("no such file");
    if (!info.isFile()) return QStringLiteral("not a regular file");
    if (info.size() > AMaxBytes)
        return "larger than " + AWhat + " can be (" + QString::number(AMaxBytes >> 20) + " MiB)";
    QFile file(APath);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    AText = file.read(AMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) return file.errorString();
    return {};
}
