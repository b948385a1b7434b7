// The files benchlordctl is given, for every option that names one: special files (a pipe with no
// reader, a socket, a device, a folder) are refused before anything is sent and without blocking;
// links are read and written through, a dangling one making its target.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "cli/cli_files.h"
#include "tests/cli/child_process.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/event_loop.h"
#include "tools/core/log_stream.h"
#include "tools/core/readings_csv.h"

using clitest::TChildProcess;
using clitest::TCliHarness;

namespace {

std::string ToolPath() {
    testsupport::EnsureCoreApp();
    const std::string path = QCoreApplication::applicationDirPath().toStdString() + "/benchlordctl";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

QString Write(const QString& APath, const QByteArray& AText) {
    QFile file(APath);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(AText);
    return APath;
}

QByteArray Read(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A bound socket file that nobody reads.
bool MakeSocket(const QString& APath, int& AFd) {
    AFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(APath);
    if (AFd < 0 || path.size() >= static_cast<qsizetype>(sizeof a.sun_path)) return false;
    std::copy(path.begin(), path.end(), a.sun_path);
    return ::bind(AFd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

TEST(CliFiles, SpecialFilesAreRefusedForEveryFileOptionWithoutBlocking) {
    if (ToolPath().empty()) GTEST_SKIP() << "benchlordctl is not built";
    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    QTemporaryDir dir;
    const QString steps = Write(dir.filePath("steps.csv"), "5,0.2,1\n");
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    int socketFd = -1;
    const QString socketPath = dir.filePath("sock");
    ASSERT_TRUE(MakeSocket(socketPath, socketFd));
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkdir(folder));

    struct TOption {
        QStringList Args;  // "F" stands for the file
        int Code;
        const char* Verb;
    };
    const QList<TOption> options{
        {{"plan", "run", "F"}, 2, "read"},
        {{"sequence", "run", "F"}, 2, "read"},
        {{"plan", "run", steps, "--log", "F"}, 6, "write"},
        {{"charge", "--chemistry", "li-ion", "--cells", "1", "--capacity", "1", "--log", "F"},
         6,
         "write"},
        {{"sequence", "run", steps, "--log", "F"}, 6, "write"},
        {{"sequence", "run", steps, "--log", "F", "--format", "xlsx"}, 6, "write"},
        {{"watch", "--csv", "F"}, 6, "write"},
        {{"sweep", "voltage", "0", "1", "0.5", "--csv", "F"}, 6, "write"},
        {{"sweep", "voltage", "0", "1", "0.5", "--png", "F"}, 6, "write"},
    };
    for (const QString& special : {fifo, socketPath, QString("/dev/null"), folder}) {
        for (const TOption& option : options) {
            QStringList args = h.Tcp();
            for (const QString& a : option.Args)
                args << (a == "F" ? special : a);
            std::vector<std::string> argv;
            for (const QString& a : args)
                argv.push_back(a.toStdString());
            TChildProcess p(ToolPath(), argv);
            const std::string what = args.join(' ').toStdString();
            const int code = p.Wait(10000);
            if (code == 6 && option.Code == 6 && option.Args.contains("xlsx") &&
                p.Err().find("cannot write .xlsx") != std::string::npos)
                continue;  // a build without the workbook writer
            EXPECT_EQ(code, option.Code) << what << ": " << p.Err();
            EXPECT_NE(p.Err().find("cannot " + std::string(option.Verb) + " " +
                                   special.toStdString() + ": not a regular file"),
                      std::string::npos)
                << what << ": " << p.Err();
        }
    }
    ::close(socketFd);
    EXPECT_TRUE(h.supply->Writes().empty());
}

// The opener's rules for each kind of path, and one command that writes through a dangling link.
TEST(CliFiles, LinksAreWrittenThroughAndADanglingLinkMakesItsTarget) {
    QTemporaryDir dir;
    const QString real = Write(dir.filePath("real.csv"), "kept\n");
    const QString link = dir.filePath("link.csv");
    ASSERT_EQ(::symlink("real.csv", QFile::encodeName(link).constData()), 0);
    const QString dangling = dir.filePath("dangling.csv");
    ASSERT_EQ(::symlink("made.csv", QFile::encodeName(dangling).constData()), 0);
    const QString nowhere = dir.filePath("nowhere.csv");
    ASSERT_EQ(::symlink("missing/made.csv", QFile::encodeName(nowhere).constData()), 0);

    EXPECT_EQ(ReadInputFile(link).Content, "kept\n");
    EXPECT_EQ(ReadInputFile(dangling).Error,
              "cannot read " + dangling + ": No such file or directory");
    EXPECT_EQ(CheckOutputFile(dangling), "");
    EXPECT_EQ(CheckOutputFile(nowhere), "No such file or directory");
    {
        TLogStream stream;
        ASSERT_EQ(OpenOutputStream(stream, link), "");
        EXPECT_EQ(Read(real), "kept\n") << "left as it is until the run begins";
        ASSERT_EQ(stream.Begin("new\n"), "");
    }
    EXPECT_EQ(Read(real), "new\n");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    {
        TLogStream stream;
        ASSERT_EQ(OpenOutputStream(stream, dangling), "");
        EXPECT_TRUE(QFileInfo::exists(dir.filePath("made.csv")));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("made.csv"))) << "a run that never began";
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());

    TCliHarness h;
    ASSERT_TRUE(h.supply.Started()) << h.supply.Error();
    const auto run = h.Run(h.Tcp() << "watch"
                                   << "--count"
                                   << "1"
                                   << "--csv" << dangling);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());
    EXPECT_TRUE(Read(dir.filePath("made.csv")).startsWith(QByteArray(kReadingsCsvHeader) + "\n"));
}

}  // namespace
