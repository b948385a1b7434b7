// Program entry: the application object with the general error report, the visual style, the
// windows in their creation order (main window, second entry pop-up, advanced settings window,
// first entry pop-up), and in demo mode the virtual supply the window connects to. With a bench
// file (or a demo of several supplies) the bench window instead.

#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <memory>

#include "app/app_options.h"
#include "app/app_style.h"
#include "app/bench_start.h"
#include "app/bench_window.h"
#include "app/benchlord_application.h"
#include "app/close_on_signals.h"
#include "app/demo_console.h"
#include "app/demo_supply.h"
#include "app/main_form.h"
#include "app/message_presenter.h"
#include "benchlord_version.h"
#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "session/settings_store.h"

namespace {

// The bench window on the supplies of a bench file, or on the demo's virtual supplies.
int RunBench(TBenchlordApplication& AApp, const TAppOptions& AOptions) {
    std::vector<std::unique_ptr<TDemoSupply>> demos;
    TBenchWindowOptions windowOptions;
    TBenchFile bench;
    if (AOptions.Demo) {
        std::vector<uint16_t> ports;
        for (int i = 0; i < AOptions.DemoSupplies; ++i) {
            demos.push_back(std::make_unique<TDemoSupply>(kDemoBenchModels[i]));
            if (!demos.back()->Start()) {
                QTextStream(stderr)
                    << "benchlord: the virtual supply did not start: " << demos.back()->Error()
                    << "\n";
                return 1;
            }
            ports.push_back(demos.back()->Port());
        }
        bench = DemoBench(ports);
        windowOptions.SettingsBase = DemoSettingsPath(TSettingsStore().FilePath());
        windowOptions.Form.VirtualSupply = true;
    } else {
        const TBenchParse parsed = LoadBenchFile(AOptions.BenchFile);
        if (!parsed.Error.isEmpty()) {
            QTextStream(stderr) << "benchlord: " << parsed.Error << "\n";
            return 1;
        }
        bench = parsed.Bench;
    }
    int result = 0;
    {
        TBenchWindow window(bench, windowOptions);
        if (!AOptions.BenchFile.isEmpty())
            window.setWindowTitle(QStringLiteral("Benchlord bench - ") +
                                  QFileInfo(AOptions.BenchFile).fileName());
        window.show();
        const auto closeOnSignals = CloseOnSignals(window);
        window.ConnectAll();
        result = AApp.exec();
    }
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The command line is read before the application object exists: --help, --version and a
    // mistyped option are answered without a display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const TAppOptions options = ParseAppOptions(args);
    if (!options.Error.isEmpty()) {
        QTextStream(stderr) << "benchlord: " << options.Error << "\n\n" << AppUsage();
        return 2;
    }
    if (options.Help) {
        QTextStream(stdout) << AppUsage();
        return 0;
    }
    if (options.Version) {
        QTextStream(stdout) << "benchlord " BENCHLORD_VERSION "\n" BENCHLORD_VERSION_NOTICE;
        return 0;
    }
    TBenchlordApplication app(argc, argv);
    ApplyAppStyle(app);
    if (!options.BenchFile.isEmpty() || options.DemoSupplies > 1) return RunBench(app, options);

    // The demo's supply runs before the window exists, so the first connect finds it listening.
    std::unique_ptr<TDemoSupply> demo;
    std::unique_ptr<TSettingsStore> demoSettings;
    TMainFormOptions formOptions;
    if (options.Demo) {
        demo = std::make_unique<TDemoSupply>();
        if (!demo->Start()) {
            QTextStream(stderr) << "benchlord: the virtual supply did not start: " << demo->Error()
                                << "\n";
            return 1;
        }
        demoSettings =
            std::make_unique<TSettingsStore>(DemoSettingsPath(TSettingsStore().FilePath()));
        formOptions.Settings = demoSettings.get();
        formOptions.VirtualSupply = true;
    }

    int result = 0;
    {
        TMainForm mainForm(formOptions);
        // The pop-ups are tool windows of the main window and go with it.
        auto* enterForm2 = new TEnterForm2(&mainForm);
        mainForm.AdvancedForm();
        auto* enterForm = new TEnterForm(&mainForm);
        mainForm.SetEntryPopups(enterForm, enterForm2);
        mainForm.show();
        // Ctrl-C, a kill or a closed terminal close the window as the user would.
        const auto closeOnSignals = CloseOnSignals(mainForm);
        if (demo) mainForm.ConnectLoopback(demo->Port());
        // The terminal drives the virtual supply (load changes, protections) while it runs.
        std::unique_ptr<TDemoConsole> console;
        if (demo) console = std::make_unique<TDemoConsole>(*demo->Supply());
        result = app.exec();
    }
    return result;
}
