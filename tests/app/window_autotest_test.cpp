// The "Auto Test" window on the main window against the virtual supply: a three-step run with its
// set points, output switching and log; the saved log and table; a close under a running test; a
// run whose switch-on never reached the supply.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <algorithm>

#include "controls/enter_form.h"
#include "controls/indicator.h"
#include "link/tcp_connector.h"
#include "session/session_core.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/supply_writes.h"
#include "tools/core/log_files.h"

using apptest::TWindowHarness;

namespace {

using testsupport::SupplyWrites;

class WindowAutotest : public ::testing::Test {
protected:
    explicit WindowAutotest(int ATickMs = 40) : h(Config(ATickMs)) {}

    apptest::THarnessConfig Config(int ATickMs = 40) {
        apptest::THarnessConfig config;
        config.autotest.Timings = {ATickMs, 10};
        config.autotest.LogOptions = [] {
            TLogOptions options;
            options.IntervalIndex = 0;  // a record every second (every tick)
            return options;
        };
        config.autotest.AskSaveFileName = [this](const QString& AProposed, const QString&) {
            proposed = AProposed;
            return chosen;
        };
        config.autotest.Confirm = [this](const QString& AText) {
            confirms << AText;
            return true;
        };
        config.autotest.Error = [this](const QString& AText) { errors << AText; };
        return config;
    }

    void SetUp() override {
        VirtualSupplyOptions options;
        options.identity.model = 5005;  // current unit 0.001 A
        ASSERT_TRUE(h.StartSupply(options));
        ASSERT_TRUE(h.Connect());
        ASSERT_TRUE(h.WaitPolls(3));
        form = h.form->TestForm();
        ASSERT_TRUE(h.form->AutoTestButton()->isEnabled());
        h.form->AutoTestButton()->click();
        ASSERT_TRUE(form->isVisible());
        chosen = h.dir.filePath("run");
    }

    void ThreeSteps() {
        form->AddButton()->click();
        form->AddButton()->click();
        TStepTable& table = form->Table();
        table.Steps[0].Time = 1;
        table.Steps[1] = {600, 300, 2, true, {}};
        table.Steps[2] = {700, 100, 1, true, {}};
        form->UpdateGrid();
    }

    QString chosen;
    QString proposed;
    QStringList confirms;
    QStringList errors;
    TWindowHarness h;
    TTestForm* form = nullptr;
};

// Ticks long enough for the readings of a few frames to come between two of them.
class WindowAutotestRun : public WindowAutotest {
protected:
    WindowAutotestRun() : WindowAutotest(120) {}
};

TEST_F(WindowAutotestRun, RunsTheTableAgainstTheSupplyAndSavesLogAndTable) {
    QTableWidget* grid = form->Grid();
    // The initial step, with a 0.001 A current unit: 5.00 V, 0.200 A, 1.00 W, one minute.
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->item(0, 1)->text(), "5.00");
    EXPECT_EQ(grid->item(0, 2)->text(), "0.200");
    EXPECT_EQ(grid->item(0, 3)->text(), "1.00");
    EXPECT_EQ(grid->item(0, 4)->text(), "1:00");
    // A set-current cell opens the entry pop-up on its editor, with the model's resolution.
    form->CellClick(0, 2);
    EXPECT_TRUE(h.popup->isVisible());
    EXPECT_EQ(h.popup->Indicator(), form->Editor(2));
    EXPECT_EQ(form->Editor(2)->PointPos, 4u);
    h.popup->hide();

    ThreeSteps();
    EXPECT_FALSE(form->SaveButton()->isEnabled());
    // The supply holds the first step's set points already: the start record shows them.
    h.supply->SetRegister(simreg::USET, 500);
    h.supply->SetRegister(simreg::ISET, 200);
    // The start record is the session's last reading: wait until a poll has brought them.
    ASSERT_TRUE(h.WaitFor([&] {
        const TReading& r = h.form->Session().LastReading();
        return r.Uset == 500 && r.Iset == 200;
    }));
    h.supply->ClearWrites();
    form->StartButton()->click();
    EXPECT_FALSE(form->StartButton()->isEnabled());
    EXPECT_FALSE(form->Grid()->isEnabled());
    ASSERT_TRUE(h.WaitFor([&] { return form->Sequencer().TimerActive(); }));
    ASSERT_TRUE(h.WaitFor([&] { return !form->Sequencer().Running(); }));
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));

    EXPECT_EQ(SupplyWrites(*h.supply),
              QStringList({"set 500 200", "onoff 1", "set 600 300", "set 700 100", "onoff 0"}));
    // The start record and one per tick: 1 + 2 + 1 ticks. Each is a reading: the set points
    // the supply had taken by then, in the table's order.
    const TLogList& log = form->Logger().Records();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].Uset, 500);
    const std::vector<std::pair<int, int>> steps{{500, 200}, {600, 300}, {700, 100}};
    auto step = steps.begin();
    for (const TLogRecord& record : log) {
        step = std::find(step, steps.end(), std::pair<int, int>(record.Uset, record.Iset));
        EXPECT_NE(step, steps.end()) << record.Uset << " " << record.Iset;
    }
    EXPECT_EQ(log.back().Uset, 700);
    EXPECT_TRUE(QFile::exists(form->RecoveryPath()));
    EXPECT_TRUE(form->StartButton()->isEnabled());

    // "Save": the text log under the chosen name with ".txt" added; the recovery copy goes.
    ASSERT_TRUE(form->SaveButton()->isEnabled());
    form->SaveButton()->click();
    EXPECT_TRUE(proposed.startsWith("Log_") && proposed.endsWith(".txt")) << proposed.toStdString();
    QFile saved(chosen + ".txt");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    ASSERT_EQ(lines.size(), 7);  // heading, five records, nothing after the last CR LF
    EXPECT_EQ(lines[0], QByteArray(kTextLogHeading) + "\r");
    EXPECT_TRUE(lines[5].startsWith(TextLogLine(log[4], 10, QLocale::system()).toLocal8Bit()))
        << lines[5].toStdString();
    EXPECT_FALSE(QFile::exists(form->RecoveryPath()));

    // The table survives: written at close, read back by the next window.
    h.form->close();
    TTestFormOptions options;
    options.TablePath = h.dir.filePath("Persistent.ini");
    TTestForm next(h.form->Session(), h.settings, nullptr, options);
    EXPECT_EQ(next.Table().Count, 3);
    EXPECT_EQ(next.Table().Steps[1], (TStepRecord{600, 300, 2, true, {}}));
}

TEST_F(WindowAutotest, CloseWithoutAskingSwitchesOffAndKeepsTheRecoveryCopy) {
    form->Table().Steps[0].Time = 3599;
    form->StartButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return form->Logger().Records().size() >= 3; }, 3000));
    ASSERT_EQ(h.supply->Register(simreg::ONOFF), 1);
    // Every record is on the disk while the run goes on, as a killed program would leave it.
    QFile copy(form->RecoveryPath());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_GE(ParseCsvLog(copy.readAll()).Records.size(), 3u);

    // A close the program started (a signal): no question, output off, keys released.
    h.form->close();
    EXPECT_TRUE(confirms.isEmpty());
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 0);
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);
    ASSERT_TRUE(QFile::exists(form->RecoveryPath()));

    // The next start offers the left-over log. Cancel, and a cancelled file dialog, keep it for
    // the start after; Yes and a name save it as text.
    TTestFormOptions options = Config().autotest;
    options.TablePath = h.dir.filePath("Persistent.ini");
    options.RecoveryPath = form->RecoveryPath();
    QStringList questions;
    TTestFormOptions::TAnswer answer = TTestFormOptions::anCancel;
    options.Ask = [&](const QString& AText) {
        questions << AText;
        return answer;
    };
    TTestForm next(h.form->Session(), h.settings, nullptr, options);
    next.OfferRecovery();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith("An autotest log of ")) << questions[0].toStdString();
    EXPECT_TRUE(QFile::exists(options.RecoveryPath));
    answer = TTestFormOptions::anYes;
    const QString name = chosen;
    chosen.clear();
    next.OfferRecovery();
    EXPECT_TRUE(QFile::exists(options.RecoveryPath));
    chosen = name;
    next.OfferRecovery();
    EXPECT_EQ(questions.size(), 3);
    EXPECT_TRUE(QFile::exists(chosen + ".txt"));
    EXPECT_FALSE(QFile::exists(options.RecoveryPath));
}

TEST_F(WindowAutotest, LostLinkEndsTheRunAndItsLogBeforeTheMessage) {
    ThreeSteps();
    form->Table().Steps[0].Time = 50;  // two seconds of 40 ms ticks
    form->StartButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return form->Logger().Records().size() >= 3; }, 3000));
    size_t atMessage = 0;
    bool runningAtMessage = true;
    h.presenter.onError = [&](const QString&) {
        atMessage = form->Logger().Records().size();
        runningAtMessage = form->Sequencer().Running();
        // The user leaves the box open for longer than the whole table would take.
        testsupport::ProcessFor(80 * 40);
    };
    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
    EXPECT_EQ(h.presenter.errors, QStringList({"Connection lost !!!"}));
    EXPECT_FALSE(runningAtMessage);
    // Nothing was logged while the box was open, the table was not stepped on, and the output
    // was never switched off by a run that only seemed to finish.
    EXPECT_EQ(form->Logger().Records().size(), atMessage);
    EXPECT_FALSE(form->Logger().Logging);
    EXPECT_FALSE(form->Sequencer().Completed());
    EXPECT_EQ(form->Sequencer().TestStep(), 0);
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 1);
    QFile copy(form->RecoveryPath());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(ParseCsvLog(copy.readAll()).Records.size(), atMessage);
}

TEST_F(WindowAutotest, ARunWhoseSwitchOnNeverReachedTheSupplyEndsWithAMessage) {
    // One 40 ms step, run while the supply answers slowly (not so slowly that an exchange counts
    // as lost): the table ends before the switch-on goes out.
    form->Table().Steps[0].Time = 1;
    form->UpdateGrid();
    h.form->Session().TaskMgr().SetTimeout(3000);
    h.form->Session().TCPConnector().SetReadTimeout(3000);
    SimFaults slow;
    slow.replyDelayMs = 300;
    h.supply->SetFaults(slow);
    h.supply->ClearWrites();
    form->StartButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return !SupplyWrites(*h.supply).filter("onoff").isEmpty(); }));
    h.supply->SetFaults({});
    ASSERT_TRUE(h.WaitFor([&] { return !errors.isEmpty(); }));
    EXPECT_EQ(errors, QStringList({kNeverConfirmedOnText}));
    EXPECT_FALSE(form->Sequencer().Running());
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 0);
}

TEST_F(WindowAutotest, ASavedTableThatFailsItsCheckIsSetAsideAndReportedOnce) {
    const QString path = h.dir.filePath("mine/Persistent.ini");
    ASSERT_TRUE(QDir().mkpath(h.dir.filePath("mine")));
    TStepTable mine = TStepTable::Initial();
    mine.Count = 2;
    mine.Steps[1] = {1200, 100, 30, true, {}};
    ASSERT_EQ(SaveTable(mine, h.settings, path), "");
    h.settings.WriteInteger("CRC", 12345);  // settings restored from an older backup
    TTestFormOptions options = Config().autotest;
    options.TablePath = path;
    QStringList errors;
    options.Error = [&](const QString& AText) { errors << AText; };
    {
        TTestForm opened(h.form->Session(), h.settings, nullptr, options);
        EXPECT_EQ(opened.Table(), TStepTable::Initial());
        opened.ReportTableProblem();
        opened.ReportTableProblem();
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].contains(path + " fails its check")) << errors[0].toStdString();
        EXPECT_TRUE(errors[0].contains("kept as " + path + ".bad")) << errors[0].toStdString();
        opened.close();  // saves its own table
    }
    QFile aside(path + ".bad");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(ParseTableFile(aside.readAll()), mine);
    EXPECT_EQ(LoadTable(h.settings, path), TStepTable::Initial());
}

TEST_F(WindowAutotest, StopQuestionOnTheUsersCloseAndStepLimits) {
    form->StartButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return form->Sequencer().TimerActive(); }));
    EXPECT_TRUE(form->CloseQuery(true));
    EXPECT_EQ(confirms, QStringList({"Stop the autotest?"}));
    EXPECT_FALSE(form->Sequencer().Running());
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 0);

    // "-" on a single step and "+" beyond 17 steps change nothing.
    form->DeleteButton()->click();
    EXPECT_EQ(form->Table().Count, 1);
    for (int i = 0; i < 20; ++i)
        form->AddButton()->click();
    EXPECT_EQ(form->Table().Count, 17);
    // "-" removes the last step whatever is selected; "+" copies the step before it.
    form->Table().Steps[16].Uset = 1234;
    form->Grid()->setCurrentCell(3, 1);
    form->DeleteButton()->click();
    EXPECT_EQ(form->Grid()->rowCount(), 16);
    EXPECT_EQ(form->Grid()->currentRow(), 3);
    form->AddButton()->click();
    EXPECT_EQ(form->Table().Steps[16], form->Table().Steps[15]);
}

TEST_F(WindowAutotest, StopEndsTheRunWithTheOutputOffAndKeepsItsLog) {
    // The window at the screen's right edge: the "Time, s" pop-up would run off it.
    const QRect area = form->screen()->availableGeometry();
    form->move(area.right() + 1 - form->frameGeometry().width(), area.top() + 40);
    const QRect cell = form->Grid()->visualRect(form->Grid()->model()->index(0, 4));
    ASSERT_GT(form->Grid()->viewport()->mapToGlobal(cell.topLeft()).x() + h.popup->width(),
              area.right());
    // Digits typed at once, before the window system has activated the pop-up, are its own;
    // Return ends the entry.
    form->CellClick(0, 4);
    QTest::keyClicks(form->Grid(), QStringLiteral("0130"));
    EXPECT_TRUE(area.contains(h.popup->frameGeometry())) << h.popup->x();
    QTest::keyClick(h.popup, Qt::Key_Return);
    EXPECT_FALSE(h.popup->isVisible());
    EXPECT_EQ(form->Table().Steps[0].Time, 90u);  // 1:30

    form->Table().Steps[0].Time = 3599;
    EXPECT_FALSE(form->StopButton()->isVisible());
    form->StartButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return form->Logger().Records().size() >= 3; }, 3000));
    ASSERT_EQ(h.supply->Register(simreg::ONOFF), 1);
    ASSERT_TRUE(form->StopButton()->isVisible());
    form->StopButton()->click();
    EXPECT_FALSE(form->Sequencer().Running());
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    EXPECT_EQ(form->StatusLabel()->text(), "Stopped by the user at step 1.");
    EXPECT_FALSE(form->StopButton()->isVisible());
    EXPECT_GE(form->Logger().Records().size(), 3u);
    EXPECT_TRUE(form->SaveButton()->isEnabled());
    EXPECT_TRUE(errors.isEmpty());
}

}  // namespace
