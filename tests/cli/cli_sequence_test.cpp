// benchlordctl sequence against the virtual supply: a step file run with its set points, output
// switching and streamed log; a bad table refused with its line number before anything is sent;
// an interrupted run switching the output off; a run the supply never confirmed on failing; the
// saved table shown.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>

#include "session/settings_store.h"
#include "sim/sim_device.h"
#include "tests/cli/cli_harness.h"
#include "tests/support/supply_writes.h"
#include "tools/core/log_files.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/step_table.h"

using clitest::TCliHarness;

namespace {

using testsupport::SupplyWrites;

class CliSequence : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.supply.Started()) << h.supply.Error(); }

    QString File(const QString& AName, const QByteArray& AText) {
        QFile file(dir.filePath(AName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AText);
        return file.fileName();
    }

    clitest::TCliRun Run(const QStringList& AArgs,
                         const std::function<void(TCliRunner&)>& AMore = nullptr) {
        return h.Run(h.Tcp() + AArgs, [&](TCliRunner& ARunner) {
            TCliConfig& config = ARunner.EditConfig();
            config.Sequence = {100, 5};  // a tick sees the readings after a step's set points
            config.TablePath = dir.filePath("Persistent.ini");
            config.UserSettingsPath = dir.filePath("DPS.ini");
            if (AMore) AMore(ARunner);
        });
    }

    QTemporaryDir dir;
    TCliHarness h;
};

TEST_F(CliSequence, StepFileRunsWithItsSetPointsAndStreamsTheLog) {
    const QString steps = File("steps.csv",
                               "voltage,current,seconds,enabled\n"
                               "5,0.2,2\n"
                               "9,1,1,0\n"
                               "6.5,0.3,1\n"
                               "7,0.1,1\n");
    const QString log = dir.filePath("run.txt");
    const auto run = Run({"sequence", "run", steps, "--log", log, "--log-every", "1"});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "step 1: 5.00 V 0.20 A 2 s\n"
              "step 3: 6.50 V 0.30 A 1 s\n"
              "step 4: 7.00 V 0.10 A 1 s\n");
    EXPECT_EQ(SupplyWrites(h.supply.Supply()),
              QStringList({"lock 1", "set 500 20", "onoff 1", "set 650 30", "set 700 10", "onoff 0",
                           "lock 0"}));
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Heading, the start record and one per tick (2 + 1 + 1), each line ended by CR LF.
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], QByteArray(kTextLogHeading) + "\r");
    EXPECT_TRUE(lines[5].contains("   7.00   0.10")) << lines[5].toStdString();
}

TEST_F(CliSequence, BadTablesAreRefusedWithTheirLineAndNothingIsSent) {
    const QString syntax = File("syntax.csv", "5,0.2,1\n5,0.2\n");
    auto run = Run({"sequence", "run", syntax});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("syntax.csv: line 2: expected voltage,current,seconds"),
              std::string::npos)
        << run.Err;
    const QString limits = File("limits.csv", "5,0.2,1\n# too high for a 5015\n60,1,1\n");
    run = Run({"sequence", "run", limits});
    EXPECT_EQ(run.Code, 2);
    EXPECT_NE(run.Err.find("limits.csv: line 3: voltage outside 0.10 to 51.00 V"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
}

TEST_F(CliSequence, InterruptSwitchesTheOutputOffAndReleasesTheKeys) {
    const QString steps = File("long.csv", "5,0.2,3600\n");
    const QString log = dir.filePath("run.csv");
    const auto run = Run({"sequence", "run", steps, "--log", log}, [&](TCliRunner& ARunner) {
        TCliRunner* runner = &ARunner;
        runner->fOnSessionStarted = [this, runner] {
            // Once the output is on, Ctrl-C.
            auto* timer = new QTimer(runner);
            QObject::connect(timer, &QTimer::timeout, runner, [this, runner] {
                if (h.supply.Reg(simreg::ONOFF) == 1) runner->Interrupt();
            });
            timer->start(10);
        };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 130);
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_GE(ParseCsvLog(file.readAll()).Records.size(), 1u);
}

TEST_F(CliSequence, LostLinkEndsTheRunWithExitThree) {
    const QString steps = File("long.csv", "5,0.2,3600\n");
    const auto run = Run({"sequence", "run", steps}, [&](TCliRunner& ARunner) {
        TCliRunner* runner = &ARunner;
        runner->fOnSessionStarted = [this, runner] {
            auto* timer = new QTimer(runner);
            QObject::connect(timer, &QTimer::timeout, runner, [this] {
                if (h.supply.Started() && h.supply.Reg(simreg::ONOFF) == 1) h.supply.Stop();
            });
            timer->start(10);
        };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 3) << run.Err;
}

TEST_F(CliSequence, ARunWhoseOutputTheSupplyNeverConfirmedOnFailsWithFour) {
    // The supply answers slowly from the session's start until it is sent a switch: the whole
    // (two ticks long) table runs while the first set-point write waits for its reply, so the
    // run's switch-on and its switch-off at the end are both still waiting to go out.
    // Slow, not silent: no exchange counts as lost.
    h.config.Timings.ResponseTimeout = 3000;
    h.config.TcpReadTimeout = 3000;
    const QString steps = File("short.csv", "5,2,1\n7,0.35,1\n");
    h.supply->ClearWrites();
    const auto run = Run({"sequence", "run", steps}, [&](TCliRunner& ARunner) {
        TCliRunner* runner = &ARunner;
        runner->fOnSessionStarted = [this, runner] {
            SimFaults slow;
            slow.replyDelayMs = 300;
            h.supply->SetFaults(slow);
            auto* timer = new QTimer(runner);
            QObject::connect(timer, &QTimer::timeout, runner, [this, timer] {
                if (!SupplyWrites(h.supply.Supply()).filter("onoff").isEmpty()) {
                    h.supply->SetFaults({});
                    timer->stop();
                }
            });
            timer->start(10);
        };
    });
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Code, 4) << run.Out << run.Err
                           << SupplyWrites(h.supply.Supply()).join(", ").toStdString();
    EXPECT_NE(run.Err.find("The output was never seen on during the run"), std::string::npos)
        << run.Err;
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST_F(CliSequence, ARefusedRunLeavesTheLogFileAsItWas) {
    const QByteArray lastWeek = "Time       Uset   Iset   Uout   Iout    Pout\r\nlast week\r\n";
    const QString precious = File("precious.txt", lastWeek);
    const QString good = File("good.csv", "5,0.2,1\n");
    const QString limits = File("limits.csv", "60,1,1\n");
    EXPECT_EQ(Run({"sequence", "run", File("bad.csv", "5,0.2\n"), "--log", precious}).Code, 2);
    EXPECT_EQ(Run({"sequence", "run", limits, "--log", precious}).Code, 2);
    // A file the refused run would have made is not left behind.
    EXPECT_EQ(Run({"sequence", "run", limits, "--log", dir.filePath("new.csv")}).Code, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("new.csv")));
    // A log that cannot be written is a local I/O error, found before anything is sent.
    for (const char* name : {"none/run.txt", "none/run.xlsx"}) {
        const auto run = Run({"sequence", "run", good, "--log", dir.filePath(name)});
        EXPECT_EQ(run.Code, 6);
        EXPECT_NE(run.Err.find("benchlordctl: cannot write " + dir.filePath(name).toStdString() +
                               ": No such file or directory"),
                  std::string::npos)
            << run.Err;
    }
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
    h.supply.Stop();
    EXPECT_EQ(Run({"sequence", "run", good, "--log", precious}).Code, 3);
    QFile file(precious);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), lastWeek);
}

TEST_F(CliSequence, ALogThatCannotBeWrittenEndsTheRunWithSixOutputOffKeysReleased) {
    // A device is refused before anything is sent.
    const QString steps = File("steps.csv", "5,0.2,1\n");
    auto run = Run({"sequence", "run", steps, "--log", "/dev/full", "--format", "csv"});
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("benchlordctl: cannot write /dev/full: not a regular file"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());

    // A disk that fills during the run: files may grow no further than a few rows.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const QString log = dir.filePath("run.csv");
    run = Run({"sequence", "run", File("long.csv", "5,0.2,3600\n"), "--log", log, "--format", "csv",
               "--log-every", "1"},
              [&](TCliRunner& ARunner) {
                  ARunner.fOnSessionStarted = [&] {
                      rlimit small = before;
                      small.rlim_cur = 300;
                      ::setrlimit(RLIMIT_FSIZE, &small);
                  };
              });
    ::setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("cannot write " + log.toStdString() + ": File too large"),
              std::string::npos)
        << run.Err;
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith(QByteArray(kReadingsCsvHeader) + "\n"));
    EXPECT_TRUE(text.endsWith('\n')) << "whole rows only";
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply.Reg(simreg::LOCK), 0);
}

TEST_F(CliSequence, WorkbookIsSavedThroughALinkAndItsFailureAtTheEndIsExitSix) {
    if (!SpreadsheetOffered()) GTEST_SKIP() << "built without libxlsxwriter";
    const QString steps = File("steps.csv", "5,0.2,1\n");
    const QString link = dir.filePath("link.xlsx");
    ASSERT_EQ(::symlink("real.xlsx", QFile::encodeName(link).constData()), 0);
    auto run = Run({"sequence", "run", steps, "--log", link});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile real(dir.filePath("real.xlsx"));
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    EXPECT_TRUE(real.read(2) == "PK");

    // A special file is refused before anything is sent.
    const QString fifo = dir.filePath("pipe.xlsx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    h.supply->ClearWrites();
    run = Run({"sequence", "run", steps, "--log", fifo});
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("cannot write " + fifo.toStdString() + ": not a regular file"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());

    // The workbook is written at the end: a failure then still fails the run.
    const QString late = dir.filePath("late.xlsx");
    run = Run({"sequence", "run", steps, "--log", late}, [&](TCliRunner& ARunner) {
        ARunner.fOnSessionStarted = [&] { QDir().mkdir(late); };
    });
    EXPECT_EQ(run.Code, 6);
    EXPECT_NE(run.Err.find("benchlordctl: cannot write " + late.toStdString()), std::string::npos)
        << run.Err;
    EXPECT_EQ(h.supply.Reg(simreg::ONOFF), 0);
}

TEST_F(CliSequence, CsvLogHasTheColumnsAndTimeStampsOfWatch) {
    const QString log = dir.filePath("run.csv");
    // The supply holds the step's set points already, so every reading shows them.
    h.supply.SetReg(simreg::USET, 500);
    h.supply.SetReg(simreg::ISET, 20);
    const auto run =
        Run({"sequence", "run", File("steps.csv", "5,0.2,2\n"), "--log", log, "--log-every", "1"});
    ASSERT_EQ(run.Code, 0) << run.Err;
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5);  // header, three records, the empty rest
    EXPECT_EQ(lines[0], "time,uset,iset,uout,iout,power,uin,mode,protect,output");
    for (int i = 1; i <= 3; ++i) {
        const QList<QByteArray> cells = lines[i].split(',');
        ASSERT_EQ(cells.size(), 10) << lines[i].toStdString();
        const QDateTime t = QDateTime::fromString(QString::fromLatin1(cells[0]), Qt::ISODateWithMs);
        EXPECT_TRUE(t.isValid() && t.date() == QDate::currentDate()) << cells[0].toStdString();
        EXPECT_EQ(cells[1], "5.00");
        EXPECT_EQ(cells[2], "0.20");
        EXPECT_EQ(cells[8], "none");
    }
}

TEST_F(CliSequence, ASavedTableThatFailsItsCheckIsNeitherShownNorRun) {
    TStepTable table = TStepTable::Initial();
    table.Steps[0] = {1234, 150, 90, true, {}};
    const QString path = dir.filePath("Persistent.ini");
    const TSettingsStore store(dir.filePath("DPS.ini"));
    ASSERT_EQ(SaveTable(table, store, path), "");
    store.WriteInteger("CRC", 1);
    const auto show = h.Run({"sequence", "show"}, [&](TCliRunner& ARunner) {
        ARunner.EditConfig().TablePath = path;
        ARunner.EditConfig().UserSettingsPath = dir.filePath("DPS.ini");
    });
    for (const auto& run : {show, Run({"sequence", "run"})}) {
        EXPECT_EQ(run.Code, 2);
        EXPECT_NE(run.Err.find(path.toStdString() + ": the saved table fails its check (its check "
                                                    "value (CRC) does not match)"),
                  std::string::npos)
            << run.Err;
    }
    EXPECT_TRUE(SupplyWrites(h.supply.Supply()).isEmpty());
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(CliSequence, ShownTableRunsBackAsAStepFile) {
    TStepTable table = TStepTable::Initial();
    table.Count = 3;
    table.Steps[0].Time = 1;
    table.Steps[1] = {1234, 150, 2, false, {}};
    table.Steps[2] = {700, 35, 1, true, {}};
    const TSettingsStore store(dir.filePath("DPS.ini"));
    ASSERT_EQ(SaveTable(table, store, dir.filePath("Persistent.ini")), "");
    const auto offline = [&] {
        return h.Run({"sequence", "show"}, [&](TCliRunner& ARunner) {
            ARunner.EditConfig().TablePath = dir.filePath("Persistent.ini");
            ARunner.EditConfig().UserSettingsPath = dir.filePath("DPS.ini");
        });
    };
    // The current unit is the model's: unknown without a link or a remembered serial device.
    auto show = offline();
    EXPECT_EQ(show.Code, 2);
    EXPECT_NE(show.Err.find("the current unit depends on the model"), std::string::npos);
    show = Run({"sequence", "show"});
    ASSERT_EQ(show.Code, 0) << show.Err;
    const std::string rows =
        "voltage,current,seconds,enabled\n5.00,2.00,1,1\n12.34,1.50,2,0\n7.00,0.35,1,1\n";
    EXPECT_NE(show.Out.find(rows), std::string::npos) << show.Out;
    store.WriteString("PORT", "ttyUSB0");
    store.WriteDevice("ttyUSB0", "DPS5015");
    EXPECT_NE(offline().Out.find(rows), std::string::npos);

    // What 'show' printed runs exactly as the saved table does.
    const QString file = File("shown.csv", QByteArray::fromStdString(show.Out));
    h.supply->ClearWrites();
    ASSERT_EQ(Run({"sequence", "run", file}).Code, 0);
    const QStringList byFile = SupplyWrites(h.supply.Supply());
    h.supply->ClearWrites();
    ASSERT_EQ(Run({"sequence", "run"}).Code, 0);
    EXPECT_EQ(SupplyWrites(h.supply.Supply()), byFile);
    EXPECT_EQ(byFile,
              QStringList({"lock 1", "set 500 200", "onoff 1", "set 700 35", "onoff 0", "lock 0"}));
}

}  // namespace
