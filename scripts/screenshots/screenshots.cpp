// Takes the pictures for the README: the main window against the virtual supply (as --demo shows
// it) with a live trend, the window with each side panel open, the Auto Test, History and Plans
// windows (a charge plan, the charge running, a sweep and a ramp), and the bench window of the
// two-supply demo.
// Usage: benchlord_screenshots OUTPUT_FOLDER (run offscreen, see scripts/screenshots.sh).

#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_style.h"
#include "app/bench_start.h"
#include "app/bench_window.h"
#include "app/demo_supply.h"
#include "app/main_form.h"
#include "app/output_panel.h"
#include "app/side_bar.h"
#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "session/settings_store.h"
#include "sim/sim_device.h"
#include "sim/virtual_supply.h"
#include "tools/history_window.h"
#include "tools/plan_window.h"
#include "tools/sweep_page.h"
#include "tools/test_form.h"

namespace {

// Lets the event loop run for AMs milliseconds (the window keeps polling the supply).
void Run(int AMs) {
    QEventLoop loop;
    QTimer::singleShot(AMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until ACondition holds, at most ATimeoutMs.
bool RunUntil(const std::function<bool()>& ACondition, int ATimeoutMs) {
    for (int waited = 0; waited < ATimeoutMs; waited += 50) {
        if (ACondition()) return true;
        Run(50);
    }
    return ACondition();
}

bool Save(QWidget* AWidget, const QDir& AFolder, const QString& AName) {
    const QString path = AFolder.filePath(AName);
    if (!AWidget->grab().save(path)) {
        QTextStream(stderr) << "benchlord_screenshots: cannot write " << path << "\n";
        return false;
    }
    QTextStream(stdout) << path << "\n";
    return true;
}

// The bench window of the two-supply demo (`benchlord --demo 2`): both switched on in order,
// the +12 V rail loaded, a little while of live readings.
bool SaveBench(const QDir& AFolder) {
    std::vector<std::unique_ptr<TDemoSupply>> supplies;
    std::vector<uint16_t> ports;
    for (int i = 0; i < 2; ++i) {
        supplies.push_back(std::make_unique<TDemoSupply>(kDemoBenchModels[i]));
        if (!supplies.back()->Start()) {
            QTextStream(stderr) << "benchlord_screenshots: " << supplies.back()->Error() << "\n";
            return false;
        }
        ports.push_back(supplies.back()->Port());
    }
    // The logic rail at 3.3 V with a 0.5 A limit (the DPS3005 sets its current in mA).
    supplies[1]->Supply()->SetRegister(simreg::USET, 330);
    supplies[1]->Supply()->SetRegister(simreg::ISET, 500);
    QTemporaryDir settings;
    TBenchWindowOptions options;
    options.SettingsBase = settings.filePath(QStringLiteral("DPS.ini"));
    options.Form.VirtualSupply = true;
    TBenchWindow window(DemoBench(ports), options);
    window.show();
    window.ConnectAll();
    const auto connected = [&] {
        for (int i = 0; i < window.Count(); ++i)
            if (!window.Bench().Session(i) || !window.Bench().Session(i)->Connected()) return false;
        return true;
    };
    if (!RunUntil(connected, 10000)) {
        QTextStream(stderr) << "benchlord_screenshots: the bench did not connect\n";
        return false;
    }
    window.AllOnButton()->click();
    RunUntil([&] { return window.Status()->text() == QStringLiteral("All on"); }, 10000);
    Run(3000);
    const bool saved = Save(&window, AFolder, QStringLiteral("bench.png"));
    window.close();
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        QTextStream(stderr) << "usage: benchlord_screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir folder(app.arguments().at(1));
    ApplyAppStyle(app);

    TDemoSupply demo;
    if (!demo.Start()) {
        QTextStream(stderr) << "benchlord_screenshots: " << demo.Error() << "\n";
        return 1;
    }
    TSettingsStore settings(DemoSettingsPath(TSettingsStore().FilePath()));
    TMainFormOptions options;
    options.Settings = &settings;
    options.VirtualSupply = true;
    // Opening the next plan lets the last run's log go without a question.
    options.Plans.Ask = [](const QString&) { return TPlanWindowOptions::anNo; };
    TMainForm form(options);
    auto* enterForm2 = new TEnterForm2(&form);
    form.AdvancedForm();
    auto* enterForm = new TEnterForm(&form);
    form.SetEntryPopups(enterForm, enterForm2);
    form.show();
    form.ConnectLoopback(demo.Port());
    // The demo starts with the output off: switched on, the panel is live.
    if (RunUntil([&] { return form.Session().Connected(); }, 10000))
        form.OutputPanel()->OnOffBtn()->click();
    if (!RunUntil([&] { return form.Session().Connected() && form.Session().Data().IOUT > 0; },
                  10000)) {
        QTextStream(stderr) << "benchlord_screenshots: the window did not connect\n";
        return 1;
    }

    // A load that changes over the 32 s the trend shows, so that both traces move.
    VirtualSupply& supply = *demo.Supply();
    int ok = 0;
    form.OscCategory()->Header()->click();
    for (const double ohms : {10.0, 16.0, 24.0, 12.0, 8.0, 10.0}) {
        supply.SetLoad(ohms);
        Run(5000);
    }
    ok += Save(&form, folder, QStringLiteral("screenshot.png"));

    const std::pair<TCategoryPanel*, const char*> panels[] = {
        {form.ParamCategory(), "panel-parameters.png"},
        {form.PresetCategory(), "panel-profile.png"},
        {form.ConnectionCategory(), "panel-connection.png"},
        {form.OscCategory(), "panel-oscilloscope.png"},
    };
    for (const auto& [panel, name] : panels) {
        if (!panel->Expanded()) panel->Header()->click();
        Run(500);
        ok += Save(&form, folder, QString::fromLatin1(name));
    }

    form.AutoTestButton()->click();
    if (!RunUntil([&] { return form.TestForm() && form.TestForm()->isVisible(); }, 5000)) {
        QTextStream(stderr) << "benchlord_screenshots: the Auto Test window did not open\n";
        return 1;
    }
    Run(500);
    ok += Save(form.TestForm(), folder, QStringLiteral("autotest.png"));
    form.TestForm()->close();

    // The History window after a protection trip and the output switched on again.
    supply.SetLoad(3.0);
    Run(3000);
    supply.TripProtection(2);
    Run(4000);
    form.Session().OnOffBtnClick();
    supply.SetLoad(10.0);
    Run(6000);
    form.ShowHistory();
    form.HistoryWindow()->resize(1000, 560);
    Run(1000);
    ok += Save(form.HistoryWindow(), folder, QStringLiteral("history.png"));
    form.HistoryWindow()->close();

    // The Plans window: a Li-ion charge plan in the editor, the same plan charging a cell, and
    // a red LED's I-V curve.
    if (form.Session().PowerOn()) form.Session().OnOffBtnClick();
    RunUntil([&] { return !form.Session().PowerOn() && supply.Register(simreg::ONOFF) == 0; },
             5000);
    supply.SetBattery(SimBattery{});
    QTemporaryDir plans;
    const QString planPath = plans.filePath(QStringLiteral("li-ion-2ah.csv"));
    QFile planFile(planPath);
    if (!planFile.open(QIODevice::WriteOnly) ||
        !planFile.write("# One Li-ion cell of 2 Ah: 1 A until the supply regulates the voltage,\n"
                        "# then 4.20 V until the current tapers to C/20\n"
                        "voltage,current,seconds,until,max_seconds\n"
                        "4.20,1.00,,CV|trip,10800\n"
                        "4.20,1.00,,I<=0.10|Ah>=2.2,7200\n")) {
        QTextStream(stderr) << "benchlord_screenshots: cannot write " << planPath << "\n";
        return 1;
    }
    planFile.close();
    form.ShowPlans();
    TPlanWindow* window = form.PlanWindow();
    window->resize(900, 640);
    window->OpenFile(planPath);
    RunUntil([&] { return window->RunButton()->isEnabled(); }, 5000);
    Run(500);
    ok += Save(window, folder, QStringLiteral("plans.png"));
    window->RunButton()->click();
    Run(8000);
    ok += Save(window, folder, QStringLiteral("plans-running.png"));
    window->StopClick();
    RunUntil([&] { return !form.Session().PowerOn() && window->RunButton()->isEnabled(); }, 5000);

    supply.SetDiode(SimDiode::Led());
    TSweepPage* sweep = window->Sweep();
    window->Tabs()->setCurrentWidget(sweep);
    sweep->From()->setValue(0);
    sweep->To()->setValue(3);
    sweep->Step()->setValue(0.05);
    sweep->Dwell()->setValue(0.3);
    sweep->Limit()->setValue(0.05);
    sweep->RunButton()->click();
    RunUntil([&] { return !sweep->Running(); }, 60000);
    Run(500);
    ok += Save(window, folder, QStringLiteral("plans-sweep.png"));

    // A soft start on 10 ohms: the voltage ramps up from 1 V until the load draws 1.1 A, then
    // the current ramps.
    supply.SetLoad(10.0);
    const QString rampPath = plans.filePath(QStringLiteral("soft-start.csv"));
    QFile rampFile(rampPath);
    if (!rampFile.open(QIODevice::WriteOnly) ||
        !rampFile.write("# Soft start: from 1 V up until the load draws 1.1 A, then the current\n"
                        "# ramps from 0.2 A to 1 A\n"
                        "voltage,current,seconds,until,max_seconds,ramp\n"
                        "12.00,2.00,,I>=1.10,20,V from 1.00\n"
                        "12.00,1.00,15,,,I from 0.20\n")) {
        QTextStream(stderr) << "benchlord_screenshots: cannot write " << rampPath << "\n";
        return 1;
    }
    rampFile.close();
    window->Tabs()->setCurrentIndex(0);
    window->OpenFile(rampPath);
    RunUntil([&] { return window->RunButton()->isEnabled(); }, 5000);
    window->RunButton()->click();
    Run(10000);
    ok += Save(window, folder, QStringLiteral("plans-ramp.png"));
    window->StopClick();
    form.close();
    ok += SaveBench(folder);
    return ok == 12 ? 0 : 1;
}
