// Whole-file saves: through symbolic links to their targets, never over a special file, never a
// half-written or lost target, and the permissions of the file replaced.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tools/core/save_file.h"

namespace {

QByteArray Read(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t Mode(const QString& APath) {
    struct stat st {};
    return ::stat(QFile::encodeName(APath).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SaveFile, WritesThroughLinksKeepsPermissionsAndRefusesSpecialFiles) {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.txt");
    ASSERT_EQ(SaveFile(real, "old"), "");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    // A relative link, and a link to that link.
    ASSERT_EQ(::symlink("real.txt", QFile::encodeName(dir.filePath("link")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(dir.filePath("link")).constData(),
                        QFile::encodeName(dir.filePath("link2")).constData()),
              0);
    EXPECT_EQ(SaveFile(dir.filePath("link2"), "new"), "");
    EXPECT_TRUE(QFileInfo(dir.filePath("link")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir.filePath("link2")).isSymLink());
    EXPECT_EQ(Read(real), "new");
    EXPECT_EQ(Mode(real), 0640u);

    // A link to a file not made yet makes that file; the link stays.
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    ASSERT_EQ(::symlink("sub/made.txt", QFile::encodeName(dir.filePath("ahead")).constData()), 0);
    EXPECT_EQ(SaveFile(dir.filePath("ahead"), "made"), "");
    EXPECT_TRUE(QFileInfo(dir.filePath("ahead")).isSymLink());
    EXPECT_EQ(Read(dir.filePath("sub/made.txt")), "made");

    // A pipe, a folder, a link to a pipe: refused, left as they are.
    const QString pipe = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_EQ(::symlink("pipe", QFile::encodeName(dir.filePath("to-pipe")).constData()), 0);
    for (const QString& special : {pipe, dir.filePath("sub"), dir.filePath("to-pipe")}) {
        EXPECT_EQ(SaveFile(special, "x"), "not a regular file") << special.toStdString();
        EXPECT_EQ(CheckSaveTarget(special), "not a regular file") << special.toStdString();
    }
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A writer that fails leaves the old content; a missing folder is named by the system's text.
    EXPECT_EQ(SaveFile(real, [](const QString&) { return QStringLiteral("broken"); }), "broken");
    EXPECT_EQ(Read(real), "new");
    EXPECT_EQ(SaveFile(dir.filePath("none/x.txt"), "x"), "No such file or directory");
    EXPECT_EQ(CheckSaveTarget(dir.filePath("none/x.txt")), "No such file or directory");
    EXPECT_EQ(CheckSaveTarget(dir.filePath("new.txt")), "");
    EXPECT_FALSE(QFile::exists(dir.filePath("new.txt")));
    // No temporary file is left behind.
    const QStringList names =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_EQ(names.filter(QRegularExpression("^\\.")), QStringList())
        << names.join(' ').toStdString();
}

}  // namespace
