// Cost of the trend view.
// 1. One full redraw of the 320 x 220 picture with both traces over 320 samples that cross many
//    rows, next to the least a redraw of that picture can cost: QImage::fill plus one drawImage
//    of a ready 320 x 220 picture.
// 2. CPU of the demo window (virtual supply over loopback TCP, 100 ms session tick) with the trend
//    on "Run" (sampling and redrawing at 10 Hz) against the same window on "Hold", alternating
//    the two cases in rounds. The UI thread's own CPU time is reported beside the process's (which
//    includes the virtual supply's thread).
//
//   bench_trend_view [seconds per case, default 12]
// With BENCHLORD_SCREENSHOT=file.png it afterwards steps the supply's load for 34 s (a full ring)
// and saves the window with the "Oscilloscope" panel open.
// Run with QT_QPA_PLATFORM=offscreen (set automatically when unset).

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "app/app_style.h"
#include "app/demo_supply.h"
#include "app/main_form.h"
#include "app/side_bar.h"
#include "bench/bench_timing.h"
#include "session/settings_store.h"
#include "sim/virtual_supply.h"
#include "tools/oscilloscope_panel.h"
#include "tools/trend_picture.h"

namespace {

using benchtiming::MicrosPerCall;

double CpuSeconds(clockid_t AClock) {
    timespec ts{};
    clock_gettime(AClock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void RunFor(int AMs) {
    QEventLoop loop;
    QTimer::singleShot(AMs, &loop, &QEventLoop::quit);
    loop.exec();
}

struct TCpu {
    double process = 0;  // % of one core
    double ui = 0;
};

TCpu Measure(int AMs) {
    const double p0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double u0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer wall;
    wall.start();
    RunFor(AMs);
    const double seconds = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
    return {100.0 * (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0) / seconds,
            100.0 * (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - u0) / seconds};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplyAppStyle(app);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 12;

    // --- 1. one redraw ---
    TTrendModel model;
    for (int k = 0; k < 400; ++k) {
        const double t = k * 0.07;
        model.Sample(static_cast<uint32_t>(600 + 450 * std::sin(t)),
                     static_cast<uint32_t>(60 + 50 * std::sin(2.3 * t)), 1);
    }
    TTrendPicture picture;
    const TOscScale scale{200, 0, 20, 0};
    QImage target(kOscWidth, kOscHeight, QImage::Format_RGB32);
    QImage ready(kOscWidth, kOscHeight, QImage::Format_RGB32);
    ready.fill(Qt::darkGray);
    constexpr int kIterations = 3000;
    const double baseline = MicrosPerCall(kIterations, [&](int) {
        target.fill(Qt::black);
        QPainter p(&target);
        p.drawImage(0, 0, ready);
    });
    const double redraw =
        MicrosPerCall(kIterations, [&](int) { picture.Draw(model, scale, otBoth); });
    std::printf("trend redraw, 2 traces x 320 samples: %8.1f us\n", redraw);
    std::printf("baseline fill + drawImage 320x220:    %8.1f us\n", baseline);
    std::printf("ratio redraw / baseline:              %8.2f\n\n", redraw / baseline);

    // --- 2. the demo window, Run against Hold ---
    TDemoSupply demo;
    if (!demo.Start()) {
        std::fprintf(stderr, "virtual supply: %s\n", qPrintable(demo.Error()));
        return 1;
    }
    QTemporaryDir dir;
    TSettingsStore settings(TSettingsStore::PathUnder(dir.path()));
    TMainFormOptions options;
    options.Settings = &settings;
    options.PortNotices = false;
    options.VirtualSupply = true;
    TMainForm form(options);
    form.show();
    form.ConnectLoopback(demo.Port());
    QElapsedTimer wait;
    wait.start();
    while (!form.Session().Connected() && wait.elapsed() < 5000)
        RunFor(20);
    if (!form.Session().Connected()) {
        std::fprintf(stderr, "the window did not connect to the virtual supply\n");
        return 1;
    }
    RunFor(1000);
    TOscilloscopePanel* osc = form.OscPanel();
    TCpu run, hold;
    constexpr int kRounds = 3;
    const int slice = seconds * 1000 / kRounds;
    int drawsRun = 0;
    for (int round = 0; round < kRounds; ++round) {
        if (!osc->Settings().Run) osc->RunSwitch()->click();
        RunFor(300);
        const int draws = osc->DrawCount();
        const TCpu r = Measure(slice);
        drawsRun += osc->DrawCount() - draws;
        osc->RunSwitch()->click();  // Hold
        RunFor(300);
        const TCpu h = Measure(slice);
        run.process += r.process / kRounds;
        run.ui += r.ui / kRounds;
        hold.process += h.process / kRounds;
        hold.ui += h.ui / kRounds;
    }
    std::printf("demo window, %d s per case (%.1f redraws/s while running)\n", seconds,
                drawsRun / (seconds * 1.0));
    std::printf("                     process %%core   UI thread %%core\n");
    std::printf("trend on Run          %8.2f         %8.2f\n", run.process, run.ui);
    std::printf("trend on Hold         %8.2f         %8.2f\n", hold.process, hold.ui);
    std::printf("trend adds            %8.2f         %8.2f  (ratio Run / Hold %.2f)\n",
                run.process - hold.process, run.ui - hold.ui, run.ui / std::max(hold.ui, 1e-9));

    if (const QByteArray path = qgetenv("BENCHLORD_SCREENSHOT"); !path.isEmpty()) {
        if (!osc->Settings().Run) osc->RunSwitch()->click();
        form.OscCategory()->Header()->click();
        const double loads[] = {10, 14, 24, 40, 24, 12, 9, 16, 30, 60, 18, 10};
        for (int k = 0; k < 68; ++k) {
            demo.Supply()->SetLoad(loads[(k / 3) % std::size(loads)]);
            RunFor(500);
        }
        form.grab().save(QString::fromLocal8Bit(path));
    }
    form.close();
    return 0;
}
