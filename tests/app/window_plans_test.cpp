// The "Plans" window on the main window against the virtual supply: the editor and its files
// (nothing typed is dropped without a question, saves through links, special files refused),
// a plan run to its end, a run cut by a lost link, a charge whose raised OVP and OCP go back at
// every end, and a sweep drawn as it grows.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include "app/connection_panel.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"
#include "tests/support/event_loop.h"
#include "tests/support/supply_writes.h"
#include "tools/charge_dialog.h"
#include "tools/plan_editor.h"
#include "tools/plan_window.h"
#include "tools/sweep_page.h"
#include "tools/sweep_plot_view.h"
#include "tools/test_form.h"

namespace {

QByteArray ReadAll(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& APath, const QByteArray& AText) {
    QFile file(APath);
    return file.open(QIODevice::WriteOnly) && file.write(AText) == AText.size();
}

// The runs' clock: the system's until a test holds it, then moved only by the test.
class TRunClock final : public TTickClock {
public:
    uint32_t TickCount() const override { return fHeld ? fNow : SystemTickClock().TickCount(); }
    void Hold() {
        fNow = SystemTickClock().TickCount();
        fHeld = true;
    }
    void Advance(uint32_t AMs) { fNow += AMs; }

private:
    bool fHeld = false;
    uint32_t fNow = 0;
};

class WindowPlans : public ::testing::Test {
protected:
    WindowPlans() : h(Config()) {}

    apptest::THarnessConfig Config() {
        apptest::THarnessConfig config;
        config.plans.Ask = [this](const QString& AText) {
            asked << AText;
            return answers.empty() ? TPlanWindowOptions::anCancel : answers.takeFirst();
        };
        config.plans.Confirm = [this](const QString& AText) {
            confirms << AText;
            return true;
        };
        config.plans.AskSaveFileName = [this](const QString&, const QString&) { return chosen; };
        config.plans.AskOpenFileName = [this](const QString&, const QString&) { return chosen; };
        config.plans.AskCharge = [this](const TChargeSettings&) { return charge; };
        config.plans.Clock = &clock;
        return config;
    }

    void SetUp() override { Open(false); }

    void Open(bool ASerial) {
        VirtualSupplyOptions options;
        options.pty = ASerial;
        ASSERT_TRUE(h.StartSupply(options));
        ASSERT_TRUE(ASerial ? h.ConnectSerial() : h.Connect());
        ASSERT_TRUE(h.WaitPolls(3));
        ASSERT_TRUE(h.form->PlansButton()->isEnabled());
        h.form->PlansButton()->click();
        window = h.form->PlanWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
    }

    void Type(int ARow, int AColumn, const QString& AText) {
        QTableWidget* table = window->Editor()->Table();
        table->item(ARow, AColumn)->setText(AText);
    }

    QString Cell(int ARow, int AColumn) const {
        return window->Editor()->Table()->item(ARow, AColumn)->text();
    }

    TRunClock clock;
    apptest::TWindowHarness h;
    TPlanWindow* window = nullptr;
    QList<TPlanWindowOptions::TAnswer> answers;
    QStringList asked;
    QStringList confirms;
    QString chosen;
    std::optional<TChargeSettings> charge;
};

constexpr uint16_t kM0Ovp = simreg::kPresetBase + simreg::P_SOVP;
constexpr uint16_t kM0Ocp = simreg::kPresetBase + simreg::P_SOCP;

// "Charge..." for a 2 Ah Li-ion cell at 1 A puts the plan of benchlordctl charge in the editor;
// ARun runs it until the supply holds OVP 4.41 V and OCP 1.10 A (this model's 0.01 A) with the
// output on.
void PutChargeInEditor(TPlanWindow* AWindow, std::optional<TChargeSettings>& ACharge) {
    ACharge = TChargeSettings{QStringLiteral("li-ion"), 1, 2000, 1000, 0};
    AWindow->ChargeButton()->click();
}

bool RunUntilRaised(apptest::TWindowHarness& AH, TPlanWindow* AWindow) {
    AWindow->RunButton()->click();
    return AH.WaitFor([&] {
        return AH.supply->Register(kM0Ovp) == 441 && AH.supply->Register(kM0Ocp) == 110 &&
               AH.supply->Register(simreg::ONOFF) == 1 && AWindow->Runner() &&
               AWindow->Runner()->Progress().OutputSeen;
    });
}

TEST_F(WindowPlans, EditsAreNeverDroppedWithoutAQuestionAndFilesKeepWhatWasWritten) {
    // A plan file reached through a link, with a comment and a blank line.
    const QString real = h.dir.filePath("real.csv");
    const QString link = h.dir.filePath("plan.csv");
    ASSERT_TRUE(WriteAll(real, "voltage,current,seconds\n# warm-up\n\n7.00,0.300,5\n"));
    ASSERT_TRUE(QFile::link(real, link));

    Type(0, 0, "6.00");
    EXPECT_TRUE(window->Modified());
    EXPECT_TRUE(window->windowTitle().endsWith("*"));

    // Cancel keeps the edit and the editor as it was.
    answers = {TPlanWindowOptions::anCancel};
    EXPECT_FALSE(window->OpenFile(link));
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(Cell(0, 0), "6.00");
    EXPECT_TRUE(window->Modified());
    // Yes saves first (the untitled plan asks for a name, ".csv" is added), then opens.
    chosen = h.dir.filePath("first");
    answers = {TPlanWindowOptions::anYes};
    ASSERT_TRUE(window->OpenFile(link));
    EXPECT_EQ(ReadAll(chosen + ".csv"),
              "voltage,current,seconds,until,max_seconds\n6.00,0.500,10\n");
    ASSERT_EQ(window->Editor()->Table()->rowCount(), 3);
    EXPECT_EQ(Cell(0, 0), "# warm-up");
    EXPECT_EQ(Cell(2, 1), "0.300");
    EXPECT_FALSE(window->Modified());
    // The line numbers at the left are the saved file's.
    EXPECT_EQ(window->Editor()->Table()->verticalHeaderItem(2)->text(), "4");

    // A decimal comma is shown as a problem of its line.
    Type(2, 0, "7,5");
    EXPECT_TRUE(window->Editor()->ProblemLabel()->isVisible());
    EXPECT_TRUE(window->Editor()->ProblemLabel()->text().startsWith("line 4: voltage \"7,5\""))
        << window->Editor()->ProblemLabel()->text().toStdString();
    Type(2, 0, "7.50");
    EXPECT_FALSE(window->Editor()->ProblemLabel()->isVisible());

    // Save writes through the link: the link stays, its file gets the text with the comment and
    // the blank line where they were.
    ASSERT_TRUE(window->SaveClick());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(real),
              "voltage,current,seconds,until,max_seconds\n# warm-up\n\n7.50,0.300,5\n");

    // A pipe is refused with a message; the editor stays as it was.
    const QString fifo = h.dir.filePath("pipe.csv");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(window->OpenFile(fifo));
    ASSERT_EQ(h.presenter.errors.size(), 1);
    EXPECT_EQ(h.presenter.errors[0], "Cannot open " + fifo + ": not a regular file");
    EXPECT_EQ(Cell(2, 0), "7.50");
    window->SaveTo(fifo);
    ASSERT_EQ(h.presenter.errors.size(), 2);
    EXPECT_TRUE(h.presenter.errors[1].startsWith("Cannot write " + fifo))
        << h.presenter.errors[1].toStdString();

    // Closing the main window with unsaved edits asks; Cancel keeps everything open.
    Type(2, 2, "6");
    asked.clear();
    answers = {TPlanWindowOptions::anCancel};
    EXPECT_FALSE(window->CloseQuery(true));
    EXPECT_EQ(asked.size(), 1);
    answers = {TPlanWindowOptions::anNo};
    EXPECT_TRUE(window->CloseQuery(true));
}

QStringList EventTexts(QListWidget* AList) {
    QStringList texts;
    for (int i = 0; i < AList->count(); ++i)
        texts << AList->item(i)->text().mid(10);  // after "HH:mm:ss  "
    return texts;
}

TEST_F(WindowPlans, RunsATwoStepPlanToItsEndShowingWhatEndsEachStep) {
    // 10 ohms: 2.00 V would drive 0.20 A, so a 0.10 A limit puts the supply in CC; at 5.00 V
    // it draws 0.50 A, well above the second step's I<=0.05, so its time ends it. The third
    // ramps its voltage up from 1.00 V.
    const QString path = h.dir.filePath("two.csv");
    ASSERT_TRUE(WriteAll(path,
                         "voltage,current,seconds,until,max_seconds,ramp\n"
                         "2.00,0.10,,CC|V<=0.50,30\n"
                         "5.00,1.00,1,I<=0.05,30\n"
                         "3.00,1.00,2,,,V from 1.00\n"));
    ASSERT_TRUE(window->OpenFile(path));
    EXPECT_TRUE(window->Editor()->Problems().empty());
    EXPECT_EQ(Cell(2, kRampColumn), "V from 1.00");
    ASSERT_TRUE(window->RunButton()->isEnabled());
    window->RunButton()->click();
    EXPECT_TRUE(window->Running());
    EXPECT_FALSE(window->RunButton()->isEnabled());
    EXPECT_TRUE(window->StopButton()->isEnabled());
    EXPECT_FALSE(h.form->TestForm()->StartButton()->isEnabled());

    // While the second step runs the window names its end conditions and counts towards them.
    ASSERT_TRUE(h.WaitFor([&] {
        return window->StepLabel()->text().startsWith("Step 2 of 3 (line 3): 5.00 V, 1.00 A") &&
               window->ValuesLabel()->text().contains("Now 5.00 V, 0.50 A CV");
    }));
    EXPECT_EQ(window->ConditionLabel()->text(),
              "Ends on I<=0.050 (0 of 3 in a row) | 1 s, at most 30 s");
    EXPECT_TRUE(window->ValuesLabel()->text().startsWith("Elapsed 0:00:00 of 0:00:30"))
        << window->ValuesLabel()->text().toStdString();

    ASSERT_TRUE(h.WaitFor([&] { return !window->Running(); }));
    const QStringList events = EventTexts(window->Events());
    ASSERT_EQ(events.size(), 8) << events.join('\n').toStdString();
    EXPECT_TRUE(events[2].startsWith("Step 1 ended: CC after 0:00:00, "))
        << events[2].toStdString();
    EXPECT_TRUE(events[4].startsWith("Step 2 ended: time after 0:00:01, "))
        << events[4].toStdString();
    EXPECT_EQ(events[5], "Step 3 (line 4) started: 3.00 V, 1.00 A, ramp V from 1.00 V over 2 s");
    EXPECT_TRUE(events[7].startsWith("Plan completed after ")) << events[7].toStdString();
    EXPECT_EQ(window->StepLabel()->text(), events[7]);
    EXPECT_EQ(window->Runner()->EndReason(), TPlanEnd::Completed);
    EXPECT_GT(window->Runner()->Progress().PlanAh, 0.0);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    ASSERT_TRUE(h.WaitFor([&] { return window->RunButton()->isEnabled(); }));
    EXPECT_TRUE(window->SaveLogButton()->isEnabled());
    EXPECT_GE(window->Logger().Records().size(), 3u);
    EXPECT_TRUE(h.presenter.errors.isEmpty()) << h.presenter.errors.join('\n').toStdString();

    // Another file: the unsaved log is asked about (Cancel keeps everything), then the last
    // run's status and log go. Every problem of the new plan is listed with its line.
    const QString bad = h.dir.filePath("bad.csv");
    ASSERT_TRUE(WriteAll(bad,
                         "voltage,current,seconds,until,max_seconds\n"
                         "60.00,1.00,10,,\n"
                         "5.00,1.00,,CC,\n"
                         "5.00,abc,10,,\n"));
    EXPECT_FALSE(window->OpenFile(bad));
    EXPECT_EQ(asked, QStringList({"The log of the last run is not saved.\rSave it first?"}));
    EXPECT_EQ(window->StepLabel()->text(), events[7]);
    answers = {TPlanWindowOptions::anNo};
    ASSERT_TRUE(window->OpenFile(bad));
    EXPECT_EQ(window->StepLabel()->text(), "Not running");
    EXPECT_EQ(window->Events()->count(), 0);
    EXPECT_FALSE(window->SaveLogButton()->isEnabled());
    QStringList problems;
    for (const TPlanProblem& problem : window->Editor()->Problems())
        problems << QString::number(problem.Line) + " " + problem.Text.section(' ', 0, 1);
    EXPECT_EQ(problems,
              QStringList({"2 voltage outside", "2 60.00 V", "3 a step", "4 current \"abc\""}));
}

TEST_F(WindowPlans, ClosingEitherWindowOrDisconnectingMidRunStopsItWithTheOutputOff) {
    Type(0, 2, "");
    Type(0, 3, "I<=0.01");
    Type(0, 4, "60");
    auto runUntilOn = [&] {
        window->RunButton()->click();
        return h.WaitFor([&] {
            return window->Runner()->Progress().OutputSeen &&
                   h.supply->Register(simreg::ONOFF) == 1;
        });
    };
    // The Plans window asks first; the main window's panel shows the output off after.
    ASSERT_TRUE(runUntilOn());
    window->close();
    EXPECT_EQ(confirms, QStringList({"Stop the plan?"}));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Runner()->EndReason(), TPlanEnd::Stopped);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    ASSERT_TRUE(h.WaitFor([&] { return window->RunButton()->isEnabled(); }));

    // Disconnect does not leave the output on behind it either.
    ASSERT_TRUE(runUntilOn());
    h.form->ConnectionPanel()->DisconnectBtn()->click();
    EXPECT_FALSE(h.form->Session().Connected());
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 0);
    EXPECT_FALSE(window->Running());
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(h.WaitFor([&] { return window->RunButton()->isEnabled(); }));

    // A close of the main window the program started (a signal) asks nothing and switches the
    // output off before the session ends.
    ASSERT_TRUE(runUntilOn());
    confirms.clear();
    h.form->close();
    EXPECT_TRUE(confirms.isEmpty());
    EXPECT_FALSE(h.form->Session().Connected());
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 0);
    EXPECT_EQ(window->Runner()->EndReason(), TPlanEnd::Stopped);
}

// Over a serial line, where a supply that stopped answering may still take a write.
class WindowPlansSerial : public WindowPlans {
protected:
    void SetUp() override { Open(true); }
};

TEST_F(WindowPlansSerial, ALostLinkEndsTheRunWithTheOutputOffAndSaysSo) {
    Type(0, 2, "");
    Type(0, 3, "I<=0.01");
    Type(0, 4, "60");
    window->RunButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return window->Runner()->Progress().OutputSeen; }));
    ASSERT_TRUE(h.WaitFor([&] { return window->Logger().Records().size() >= 2; }));
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 1);
    // The supply still takes requests but answers none.
    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
    EXPECT_FALSE(window->Running());
    EXPECT_EQ(window->Runner()->EndReason(), TPlanEnd::LinkLost);
    // The switch-off reached the supply although its answer never came (applied on the
    // supply's thread, late on a loaded machine); the window says so before the session's box.
    EXPECT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }, 5000));
    ASSERT_EQ(h.presenter.errors.size(), 2) << h.presenter.errors.join('|').toStdString();
    EXPECT_TRUE(h.presenter.errors[0].startsWith(
        "The link to the supply was lost. The plan stopped in step 1. Switching the output off "
        "was sent but not confirmed"))
        << h.presenter.errors[0].toStdString();
    EXPECT_EQ(h.presenter.errors[1], "Connection lost !!!");
    // What was recorded stays, and can be saved.
    EXPECT_GE(window->Logger().Records().size(), 2u);
    EXPECT_TRUE(h.WaitFor([&] { return window->SaveLogButton()->isEnabled(); }));
    EXPECT_FALSE(window->RunButton()->isEnabled());
    const QStringList events = EventTexts(window->Events());
    EXPECT_TRUE(
        events.contains("Plan the link was lost during step 1") ||
        std::any_of(events.begin(), events.end(),
                    [](const QString& e) { return e.startsWith("Plan the link was lost"); }))
        << events.join('\n').toStdString();
}

TEST_F(WindowPlans, AChargePutsItsRaisedProtectionsBackAfterStopAndAfterTheProgramCloses) {
    h.supply->SetBattery(SimBattery{});  // 2 Ah at 3.6 V
    const uint16_t ovp = h.supply->Register(kM0Ovp);
    const uint16_t ocp = h.supply->Register(kM0Ocp);
    // The dialog shows the plan its entries make, and none it cannot make.
    TChargeDialog dialog(1);
    dialog.Current()->setValue(1);
    EXPECT_EQ(dialog.Summary()->text(),
              "li-ion, 1 cell, 2.000 Ah: 1.00 A up to 4.20 V, then 4.20 V until the current "
              "falls to 0.20 A; at most 4:00:00");
    dialog.Termination()->setValue(1);
    EXPECT_EQ(dialog.Summary()->text(),
              "No plan: the termination current (1.00 A) must be below the charge current (1.00 "
              "A)");
    PutChargeInEditor(window, charge);
    EXPECT_EQ(window->Editor()->Text(),
              "voltage,current,seconds,until,max_seconds\n"
              "# charge li-ion, 1 cell, 2.000 Ah: 1.00 A up to 4.20 V, then 4.20 V until the "
              "current falls to 0.20 A; at most 4:00:00\n"
              "4.20,1.000,,I<=0.200,14400\n");
    EXPECT_TRUE(window->Modified());

    ASSERT_TRUE(RunUntilRaised(h, window));
    window->StopButton()->click();
    ASSERT_TRUE(h.WaitFor([&] {
        return h.supply->Register(kM0Ovp) == ovp && h.supply->Register(kM0Ocp) == ocp &&
               h.supply->Register(simreg::ONOFF) == 0;
    }));
    const QStringList events = EventTexts(window->Events());
    EXPECT_EQ(events.first(), "OVP and OCP 4.41 V and 1.10 A on M0 for the run (they were " +
                                  QString::number(ovp / 100.0, 'f', 2) + " V and " +
                                  QString::number(ocp / 100.0, 'f', 2) + " A)");
    ASSERT_TRUE(h.WaitFor([&] {
        return EventTexts(window->Events())
            .last()
            .startsWith(
                "The OVP and OCP of M0 were put "
                "back to");
    }));

    // An edited charge is a plan of its own: it runs without touching the protections.
    Type(1, 1, "0.900");
    ASSERT_TRUE(h.WaitFor([&] { return window->RunButton()->isEnabled(); }));
    window->RunButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 1; }));
    EXPECT_EQ(h.supply->Register(kM0Ovp), ovp);
    window->StopButton()->click();
    ASSERT_TRUE(h.WaitFor([&] { return window->RunButton()->isEnabled(); }));

    // Closing the program mid-charge puts them back before the session ends (the edit and the
    // log of the last run may go).
    answers = {TPlanWindowOptions::anNo, TPlanWindowOptions::anNo};
    PutChargeInEditor(window, charge);
    ASSERT_TRUE(RunUntilRaised(h, window));
    h.form->close();
    EXPECT_FALSE(h.form->Session().Connected());
    EXPECT_TRUE(h.WaitFor([&] {
        return h.supply->Register(kM0Ovp) == ovp && h.supply->Register(kM0Ocp) == ocp &&
               h.supply->Register(simreg::ONOFF) == 0;
    }));
    EXPECT_TRUE(h.presenter.errors.isEmpty()) << h.presenter.errors.join('\n').toStdString();
}

// With no cell the taper condition holds at once; the charge waits ten seconds for its current
// and then stops, as the command line's charge does, with everything put back.
TEST_F(WindowPlans, AChargeOnAnOpenLoadStopsAfterTenSecondsWithoutCurrent) {
    h.supply->SetLoad(0);
    clock.Hold();
    const uint16_t ovp = h.supply->Register(kM0Ovp);
    const uint16_t ocp = h.supply->Register(kM0Ocp);
    PutChargeInEditor(window, charge);
    ASSERT_TRUE(RunUntilRaised(h, window));
    clock.Advance(9900);
    ASSERT_TRUE(h.WaitPolls(3));
    EXPECT_TRUE(window->Runner()->Running()) << "not charged: no current went in";
    clock.Advance(100);
    ASSERT_TRUE(h.WaitFor([&] {
        return !window->Runner()->Running() && h.supply->Register(simreg::ONOFF) == 0 &&
               h.supply->Register(kM0Ovp) == ovp && h.supply->Register(kM0Ocp) == ocp;
    }));
    const QString why =
        "The charge was stopped: no charge current: it stayed at 0.00 A, not above the "
        "termination current of 0.20 A, for 10 s; is a cell connected, are the contacts closed?";
    ASSERT_EQ(h.presenter.errors, QStringList{why});
    EXPECT_TRUE(EventTexts(window->Events()).contains(why));
    EXPECT_TRUE(window->StepLabel()->text().startsWith("Plan stopped after"))
        << window->StepLabel()->text().toStdString();
}

TEST_F(WindowPlansSerial, AChargeCutByALostLinkPutsItsRaisedProtectionsBack) {
    h.supply->SetBattery(SimBattery{});
    const uint16_t ovp = h.supply->Register(kM0Ovp);
    const uint16_t ocp = h.supply->Register(kM0Ocp);
    PutChargeInEditor(window, charge);
    ASSERT_TRUE(RunUntilRaised(h, window));
    // The supply still takes requests but answers none.
    SimFaults silent;
    silent.dropEvery = 1;
    h.supply->SetFaults(silent);
    ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
    EXPECT_EQ(window->Runner()->EndReason(), TPlanEnd::LinkLost);
    EXPECT_TRUE(h.WaitFor(
        [&] {
            return h.supply->Register(kM0Ovp) == ovp && h.supply->Register(kM0Ocp) == ocp &&
                   h.supply->Register(simreg::ONOFF) == 0;
        },
        5000))
        << h.supply->Register(kM0Ovp) << " " << h.supply->Register(kM0Ocp) << " "
        << h.presenter.errors.join('|').toStdString() << " / "
        << EventTexts(window->Events()).join('|').toStdString();
    ASSERT_FALSE(h.presenter.errors.isEmpty());
    EXPECT_TRUE(h.presenter.errors[0].contains(
        "Putting the OVP and OCP of M0 back to " + QString::number(ovp / 100.0, 'f', 2) +
        " V and " + QString::number(ocp / 100.0, 'f', 2) +
        " A was not confirmed (no reply from the supply): check them on the supply."))
        << h.presenter.errors[0].toStdString();
}

TEST_F(WindowPlans, SweepDrawsItsCurveAsItGrowsStopsAtComplianceAndExports) {
    // 10 ohms: 1.0, 1.5, 2.0 V give 0.10, 0.15, 0.20 A; a 0.16 A limit is met at 2.0 V.
    TSweepPage* sweep = window->Sweep();
    window->Tabs()->setCurrentWidget(sweep);
    sweep->Quantity()->setCurrentIndex(0);
    sweep->From()->setValue(1.0);
    sweep->To()->setValue(2.5);
    sweep->Step()->setValue(0.5);
    sweep->Dwell()->setValue(0.2);
    sweep->Limit()->setValue(0.16);
    ASSERT_TRUE(sweep->RunButton()->isEnabled());
    const uint16_t uset = h.supply->Register(simreg::USET), iset = h.supply->Register(simreg::ISET);
    QApplication::processEvents();
    const int plotWidth = sweep->Plot()->width();
    sweep->RunButton()->click();
    ASSERT_TRUE(sweep->Running());
    EXPECT_FALSE(window->RunButton()->isEnabled());
    EXPECT_FALSE(sweep->From()->isEnabled());
    // The plot shows the first point before the second is recorded.
    ASSERT_TRUE(h.WaitFor([&] { return !sweep->Current()->Points().empty(); }));
    EXPECT_EQ(sweep->Plot()->Data().Points.size(), sweep->Current()->Points().size());
    ASSERT_TRUE(h.WaitFor([&] { return !sweep->Running(); }, 15000));
    EXPECT_EQ(sweep->Current()->End(), seCompliance) << sweep->Status()->text().toStdString();
    ASSERT_EQ(sweep->Plot()->Data().Points.size(), 3u);
    EXPECT_TRUE(sweep->Plot()->Data().Compliance);
    EXPECT_NEAR(sweep->Plot()->Data().Points[1].Iout, 0.15, 0.01);
    EXPECT_TRUE(sweep->Status()->text().startsWith("3 of 4 points: compliance"))
        << sweep->Status()->text().toStdString();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    // The set points found at the start are back, and the status says so without squeezing
    // the plot.
    ASSERT_TRUE(h.WaitFor([&] {
        return h.supply->Register(simreg::USET) == uset && h.supply->Register(simreg::ISET) == iset;
    }));
    EXPECT_TRUE(sweep->Status()->text().contains("Set points back to "));
    QApplication::processEvents();
    EXPECT_EQ(sweep->Plot()->width(), plotWidth);

    const QString csv = h.dir.filePath("curve.csv");
    const QString png = h.dir.filePath("curve.png");
    EXPECT_EQ(sweep->ExportTo(csv), "");
    EXPECT_EQ(sweep->ExportTo(png), "");
    EXPECT_EQ(ReadAll(csv).count('\n'), 4);
    EXPECT_FALSE(QImage(png).isNull());
}

}  // namespace
