// Cost of the whole main window connected to the virtual supply: paint events of the whole
// window tree per live reading, CPU time of this process (all its threads, user and system) as a
// percentage of one core, wake-ups of the link's worker thread and of the user-interface thread
// per reading ("link/ui wk/rd"), and live readings per second next to `benchlordctl watch` (the
// same session without a window, polling as fast as the link allows) on the same line, with the
// CPU time that session takes alone. The supply runs as a separate `benchlord-sim` process beside
// this program, so its own work is not counted. The baseline is a minimal window that repaints
// one label 25 times a second, measured in the same round.
//
//   bench_window_cost [--platform offscreen|xcb] [--seconds N] [--repeat N] [--case NAME]...
//
// Under a real X server (or Xvfb: `xvfb-run -a -s "-screen 0 1280x1024x24" bench_window_cost
// --platform xcb`) the figures include what the display costs; offscreen leaves that out.
// Without --platform the platform comes from QT_QPA_PLATFORM or Qt's default.
//
// Cases: label (the baseline), demo (TCP to the supply with the output on, as --demo does), tcp
// (the same with the output off), 9600 and 115200 (pseudo-terminal with wire time, output on),
// idle (window shown, not connected), bench1, bench2 and bench4 (the bench window with 1, 2 or 4
// supplies, each its own benchlord-sim over TCP with the output on; readings/s counts every
// supply's, and the line ends with the bench's CPU against N demo windows of the same round).
// Without --case all run in that order, label first (and demo before any bench).
// --seconds sets the measuring time per case (default 30). --repeat runs all cases that many
// rounds and ends with the median and the spread (min-max) per case, each ratio taken against
// the label of its own round. The trend picture runs at 10 Hz as in the program; --hold puts it
// on "Hold" to see the rest alone.

#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "app/app_style.h"
#include "app/bench_start.h"
#include "app/bench_window.h"
#include "app/benchlord_application.h"
#include "app/connection_panel.h"
#include "app/main_form.h"
#include "app/message_presenter.h"
#include "cli/cli_args.h"
#include "cli/cli_runner.h"
#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "link/port_discovery.h"
#include "link/worker_thread.h"
#include "session/settings_store.h"
#include "session/task_mgr.h"
#include "tests/support/thread_wakeups.h"
#include "tools/oscilloscope_panel.h"

namespace {

void RunFor(int AMs) {
    QEventLoop loop;
    QTimer::singleShot(AMs, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WaitUntil(const std::function<bool()>& APredicate, int AMs) {
    QElapsedTimer t;
    t.start();
    while (!APredicate() && t.elapsed() < AMs)
        RunFor(5);
    return APredicate();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The user-interface thread's name as /proc shows it (the program's name, cut to 15 characters).
std::string MainThreadName() {
    QFile comm(QStringLiteral("/proc/self/comm"));
    if (!comm.open(QIODevice::ReadOnly)) return {};
    return comm.readAll().trimmed().toStdString();
}

// Counts paint events of every widget of one top-level window, by widget for the report.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* AWindow) : fWindow(AWindow) { qApp->installEventFilter(this); }
    ~TPaintCounter() override { qApp->removeEventFilter(this); }
    uint64_t Total() const { return fTotal; }
    void Reset() {
        fTotal = 0;
        fByWidget.clear();
    }
    // The widgets that painted most, "name x count".
    QString Top(int ACount) const {
        std::vector<std::pair<uint64_t, QString>> rows;
        for (auto it = fByWidget.begin(); it != fByWidget.end(); ++it)
            rows.emplace_back(it.value(), it.key());
        std::sort(rows.rbegin(), rows.rend());
        QStringList parts;
        for (int i = 0; i < ACount && i < static_cast<int>(rows.size()); ++i)
            parts << QStringLiteral("%1 x%2").arg(rows[i].second).arg(rows[i].first);
        return parts.join(QStringLiteral(", "));
    }

protected:
    bool eventFilter(QObject* AObject, QEvent* AEvent) override {
        if (AEvent->type() != QEvent::Paint || !AObject->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(AObject);
        if (widget->window() != fWindow) return false;
        ++fTotal;
        const QString name = widget->objectName().isEmpty()
                                 ? QString::fromLatin1(widget->metaObject()->className())
                                 : widget->objectName();
        ++fByWidget[name];
        return false;
    }

private:
    QWidget* fWindow;
    uint64_t fTotal = 0;
    QHash<QString, uint64_t> fByWidget;
};

class TSilentPresenter : public TMessagePresenter {
public:
    void Error(QWidget*, const QString& AText) override {
        std::fprintf(stderr, "error box: %s\n", qPrintable(AText));
    }
    void Information(QWidget*, const QString&) override {}
    bool Confirm(QWidget*, const QString&) override { return true; }
    void RetextError(const QString&) override {}
};

// benchlord-sim beside this program, with the endpoints it printed.
class TSimProcess {
public:
    bool Start(const QStringList& AArgs) {
        fProcess.setProgram(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/benchlord-sim"));
        fProcess.setArguments(AArgs);
        fProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        fProcess.start();
        if (!fProcess.waitForStarted(3000)) return false;
        const QRegularExpression tcp(QStringLiteral("^tcp 127\\.0\\.0\\.1:(\\d+)"));
        const QRegularExpression pty(QStringLiteral("^pty (\\S+)"));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && (Port == 0 || (AArgs.contains("--pty") && Pty.isEmpty()))) {
            if (!fProcess.canReadLine() && !fProcess.waitForReadyRead(200)) continue;
            while (fProcess.canReadLine()) {
                const QString line = QString::fromUtf8(fProcess.readLine()).trimmed();
                if (auto m = tcp.match(line); m.hasMatch()) Port = m.captured(1).toUShort();
                if (auto m = pty.match(line); m.hasMatch()) Pty = m.captured(1);
            }
        }
        return Port != 0;
    }
    void Command(const QString& ALine) { fProcess.write((ALine + "\n").toUtf8()); }
    ~TSimProcess() {
        if (fProcess.state() == QProcess::NotRunning) return;
        Command(QStringLiteral("quit"));
        if (!fProcess.waitForFinished(2000)) fProcess.kill();
        fProcess.waitForFinished(1000);
    }

    uint16_t Port = 0;
    QString Pty;

private:
    QProcess fProcess;
};

struct TFigures {
    double cpuPercent = 0;
    double readingsPerSecond = 0;
    double paintsPerReading = 0;
    double paintsPerSecond = 0;
    double wakeupsPerReading = -1;
    double uiWakeupsPerReading = -1;
    QString top;
};

// The window as the program builds it: private settings, production timings.
struct TWindow {
    QTemporaryDir dir;
    TSettingsStore settings{TSettingsStore::PathUnder(dir.path())};
    TSilentPresenter presenter;
    std::unique_ptr<TMainForm> form;

    TWindow() {
        TMainFormOptions options;
        options.Settings = &settings;
        options.Presenter = &presenter;
        options.PortNotices = false;
        form = std::make_unique<TMainForm>(options);
        auto* popup2 = new TEnterForm2(form.get());
        auto* popup = new TEnterForm(form.get());
        form->SetEntryPopups(popup, popup2);
        form->show();
    }
};

// Measures AMs of whatever runs now; the readings are those of every session given.
TFigures Measure(QWidget* AWindow, const std::vector<TSessionCore*>& ASessions, int AMs) {
    TPaintCounter paints(AWindow);
    uint64_t readings = 0;
    std::vector<QMetaObject::Connection> connections;
    for (TSessionCore* session : ASessions)
        connections.push_back(
            QObject::connect(session, &TSessionCore::LiveReading, [&] { ++readings; }));
    QElapsedTimer wall;
    const testsupport::TThreadWakeups wakeups0(TKRThread2::kThreadName);
    const testsupport::TThreadWakeups uiWakeups0(MainThreadName());
    const double cpu0 = CpuSeconds();
    wall.start();
    RunFor(AMs);
    const double cpu = CpuSeconds() - cpu0;
    const double secs = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const uint64_t wakeups = wakeups0.Since();
    const uint64_t uiWakeups = uiWakeups0.Since();
    for (const auto& c : connections)
        QObject::disconnect(c);
    TFigures f;
    f.cpuPercent = 100.0 * cpu / secs;
    f.readingsPerSecond = static_cast<double>(readings) / secs;
    f.paintsPerSecond = static_cast<double>(paints.Total()) / secs;
    f.paintsPerReading =
        readings ? static_cast<double>(paints.Total()) / static_cast<double>(readings) : 0;
    if (readings) {
        f.wakeupsPerReading = static_cast<double>(wakeups) / static_cast<double>(readings);
        f.uiWakeupsPerReading = static_cast<double>(uiWakeups) / static_cast<double>(readings);
    }
    f.top = paints.Top(6);
    return f;
}

TFigures MeasureLabel(int AMs) {
    QLabel label;
    label.setObjectName(QStringLiteral("Label"));
    label.resize(200, 40);
    label.show();
    int n = 0;
    QTimer timer;
    timer.setInterval(40);
    QObject::connect(&timer, &QTimer::timeout, [&] { label.setText(QString::number(++n)); });
    timer.start();
    RunFor(500);
    return Measure(&label, {}, AMs);
}

// Readings per second of `benchlordctl watch` on the same line, in this process, polling as fast
// as the link allows as the window does (the command's shortest interval, 10 ms, would slow a
// fast link down, so the pause between polls is taken away at the first reading).
// ACpuPercent receives the CPU time of that session (link included) as a share of one core.
double MeasureWatch(const QStringList& ALink, int AMs, double& ACpuPercent) {
    QStringList args = ALink;
    args << QStringLiteral("watch") << QStringLiteral("--interval") << QStringLiteral("0.01");
    const TParseResult parsed = ParseArguments(args);
    if (!parsed.Error.isEmpty()) {
        std::fprintf(stderr, "watch: %s\n", qPrintable(parsed.Error));
        return -1;
    }
    std::ostringstream out, err;
    TCliRunner runner(parsed.Request, out, err);
    uint64_t readings = 0;
    bool started = false;
    runner.fOnSessionStarted = [&] {
        started = true;
        QObject::connect(runner.Session(), &TSessionCore::LiveReading, [&] {
            if (readings++ == 0) runner.Session()->TaskMgr().SetPollPause(0);
        });
    };
    runner.Start();
    if (!WaitUntil([&] { return started; }, 5000)) {
        std::fprintf(stderr, "watch: no session (%s)\n", err.str().c_str());
        return -1;
    }
    RunFor(1000);
    const uint64_t r0 = readings;
    QElapsedTimer t;
    const double cpu0 = CpuSeconds();
    t.start();
    RunFor(AMs);
    const double ms = static_cast<double>(t.elapsed());
    ACpuPercent = 100.0 * (CpuSeconds() - cpu0) * 1000.0 / ms;
    const double rate = static_cast<double>(readings - r0) * 1000.0 / ms;
    runner.Interrupt();
    WaitUntil([&] { return runner.Finished(); }, 5000);
    return rate;
}

struct TResult {
    QString name;
    TFigures f;
    double watch = -1;
    double watchCpu = -1;
};

bool gHoldTrend = false;

bool RunConnected(const QString& ACase, int AMs, TResult& AOut) {
    const bool serial = ACase != QStringLiteral("demo") && ACase != QStringLiteral("tcp");
    const int baud = ACase == QStringLiteral("9600") ? 9600 : 115200;
    QStringList simArgs{QStringLiteral("--tcp"), QStringLiteral("0")};
    if (serial)
        simArgs << QStringLiteral("--pty") << QStringLiteral("--wire-time")
                << QStringLiteral("--baud") << QString::number(baud);
    TSimProcess sim;
    if (!sim.Start(simArgs)) {
        std::fprintf(stderr, "%s: benchlord-sim did not start\n", qPrintable(ACase));
        return false;
    }
    // As the demo: 12.00 V with a 1.50 A limit into 10 ohm, output on (off for "tcp").
    sim.Command(QStringLiteral("reg 0 1200"));
    sim.Command(QStringLiteral("reg 1 150"));
    if (ACase != QStringLiteral("tcp")) sim.Command(QStringLiteral("on"));

    TWindow w;
    if (serial) {
        AddExtraPort(sim.Pty);
        w.form->Session().FillPortList();
        QComboBox* ports = w.form->ConnectionPanel()->ComPortComboBox();
        const int index = ports->findText(sim.Pty, Qt::MatchContains);
        if (index < 0) return false;
        ports->setCurrentIndex(index);
        emit ports->activated(index);
        QComboBox* bauds = w.form->ConnectionPanel()->BaudComboBox();
        const int b = bauds->findText(QString::number(baud));
        bauds->setCurrentIndex(b);
        emit bauds->activated(b);
        w.form->ConnectionPanel()->ConnectBtn()->click();
    } else {
        w.form->ConnectLoopback(sim.Port);
    }
    if (!WaitUntil([&] { return w.form->Session().Connected(); }, 8000)) {
        std::fprintf(stderr, "%s: no session\n", qPrintable(ACase));
        return false;
    }
    if (gHoldTrend) w.form->OscPanel()->RunSwitch()->setChecked(false);
    RunFor(1500);  // start-up reads pass, the first frames are painted
    AOut.f = Measure(w.form.get(), {&w.form->Session()}, AMs);
    w.form->Session().DisconnectBtnClick();
    WaitUntil([&] { return !w.form->Session().Connected(); }, 3000);
    w.form.reset();
    RunFor(300);

    const QStringList link =
        serial ? QStringList{QStringLiteral("--port"), sim.Pty, QStringLiteral("--baud"),
                             QString::number(baud)}
               : QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(sim.Port)};
    AOut.watch = MeasureWatch(link, std::min(AMs, 10000), AOut.watchCpu);
    if (serial) RemoveExtraPort(sim.Pty);
    return true;
}

// The bench window with AN supplies, each a benchlord-sim of its own over TCP with the output on
// (the demo bench's models and names). Readings are those of every supply together; the ratio
// that matters is the bench's CPU against AN times the one-supply window ("demo") of the round.
bool RunBench(int AN, int AMs, TResult& AOut) {
    std::vector<std::unique_ptr<TSimProcess>> sims;
    std::vector<uint16_t> ports;
    for (int i = 0; i < AN; ++i) {
        auto sim = std::make_unique<TSimProcess>();
        if (!sim->Start({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--model"),
                         QString::number(kDemoBenchModels[i % std::size(kDemoBenchModels)])})) {
            std::fprintf(stderr, "bench%d: benchlord-sim did not start\n", AN);
            return false;
        }
        sim->Command(QStringLiteral("reg 0 1200"));
        sim->Command(QStringLiteral("reg 1 150"));
        sim->Command(QStringLiteral("on"));
        ports.push_back(sim->Port);
        sims.push_back(std::move(sim));
    }
    QTemporaryDir dir;
    TSilentPresenter presenter;
    TBenchWindowOptions options;
    options.Form.PortNotices = false;
    options.SettingsBase = dir.filePath(QStringLiteral("DPS.ini"));
    options.Presenter = &presenter;
    auto window = std::make_unique<TBenchWindow>(DemoBench(ports), options);
    window->show();
    window->ConnectAll();
    std::vector<TSessionCore*> sessions;
    for (int i = 0; i < AN; ++i)
        sessions.push_back(window->Bench().Session(i));
    const auto allConnected = [&] {
        return std::all_of(sessions.begin(), sessions.end(),
                           [](TSessionCore* s) { return s && s->Connected(); });
    };
    if (!WaitUntil(allConnected, 8000)) {
        std::fprintf(stderr, "bench%d: not every supply connected\n", AN);
        return false;
    }
    RunFor(1500);
    AOut.f = Measure(window.get(), sessions, AMs);
    window->close();
    WaitUntil(
        [&] {
            return std::none_of(sessions.begin(), sessions.end(),
                                [](TSessionCore* s) { return s->Connected(); });
        },
        3000);
    window.reset();
    RunFor(300);
    return true;
}

// "median (min-max)" of the values.
QString Spread(std::vector<double> AValues, int ADecimals) {
    if (AValues.empty()) return QStringLiteral("-");
    std::sort(AValues.begin(), AValues.end());
    const size_t n = AValues.size();
    const double median = n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
    return QStringLiteral("%1 (%2-%3)")
        .arg(median, 0, 'f', ADecimals)
        .arg(AValues.front(), 0, 'f', ADecimals)
        .arg(AValues.back(), 0, 'f', ADecimals);
}

struct TSummary {
    std::vector<double> cpu, ratio, readings, watchShare, watchCpu, wakeups, uiWakeups;
    std::vector<double> perDemo;  // bench cases: CPU / (N x the demo window's)
};

}  // namespace

int main(int argc, char** argv) {
    // The platform is chosen before the application object exists.
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--platform") == 0) qputenv("QT_QPA_PLATFORM", argv[i + 1]);
    TBenchlordApplication app(argc, argv);
    ApplyAppStyle(app);
    int seconds = 30;
    int rounds = 1;
    QStringList cases;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--seconds") && i + 1 < args.size())
            seconds = std::max(1, args[++i].toInt());
        else if (args[i] == QStringLiteral("--repeat") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QStringLiteral("--case") && i + 1 < args.size())
            cases << args[++i];
        else if (args[i] == QStringLiteral("--platform") && i + 1 < args.size())
            ++i;
        else if (args[i] == QStringLiteral("--hold"))
            gHoldTrend = true;
    }
    if (cases.isEmpty())
        cases = {QStringLiteral("demo"),   QStringLiteral("tcp"),   QStringLiteral("9600"),
                 QStringLiteral("115200"), QStringLiteral("idle"),  QStringLiteral("bench1"),
                 QStringLiteral("bench2"), QStringLiteral("bench4")};
    // A bench's cost is told against the one-supply window of its round.
    const bool benches = std::any_of(cases.begin(), cases.end(), [](const QString& c) {
        return c.startsWith(QStringLiteral("bench"));
    });
    if (benches && !cases.contains(QStringLiteral("demo"))) cases.prepend(QStringLiteral("demo"));
    // Every ratio needs the label of its own round.
    cases.removeAll(QStringLiteral("label"));
    cases.prepend(QStringLiteral("label"));
    const int ms = seconds * 1000;

    std::printf("platform %s, %d s per case, %d round(s)\n", qPrintable(app.platformName()),
                seconds, rounds);
    std::printf("%-8s %8s %9s %10s %14s %11s %14s %10s %8s  %s\n", "case", "cpu %", "x label",
                "readings/s", "watch/s", "watch cpu %", "link/ui wk/rd", "paints/rd", "paints/s",
                "most paints");
    std::map<QString, TSummary> summary;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        double labelCpu = 0;
        double demoCpu = 0;
        for (const QString& c : cases) {
            TResult r;
            r.name = c;
            if (c == QStringLiteral("label")) {
                r.f = MeasureLabel(ms);
                labelCpu = r.f.cpuPercent;
            } else if (c == QStringLiteral("idle")) {
                TWindow w;
                RunFor(1500);
                r.f = Measure(w.form.get(), {&w.form->Session()}, ms);
            } else if (c.startsWith(QStringLiteral("bench"))) {
                if (!RunBench(c.mid(5).toInt(), ms, r)) {
                    ++failures;
                    continue;
                }
            } else if (!RunConnected(c, ms, r)) {
                ++failures;
                continue;
            }
            TSummary& sum = summary[c];
            sum.cpu.push_back(r.f.cpuPercent);
            if (c == QStringLiteral("demo")) demoCpu = r.f.cpuPercent;
            QString perDemo;
            if (c.startsWith(QStringLiteral("bench")) && demoCpu > 0) {
                const double share = r.f.cpuPercent / (c.mid(5).toInt() * demoCpu);
                sum.perDemo.push_back(share);
                perDemo = QStringLiteral("  [%1x of %2 demo windows]")
                              .arg(share, 0, 'f', 2)
                              .arg(c.mid(5));
            }
            QString ratio = QStringLiteral("-");
            if (labelCpu > 0) {
                sum.ratio.push_back(r.f.cpuPercent / labelCpu);
                ratio = QString::number(r.f.cpuPercent / labelCpu, 'f', 2);
            }
            QString watch = QStringLiteral("-");
            if (r.f.readingsPerSecond > 0) sum.readings.push_back(r.f.readingsPerSecond);
            if (r.watch > 0) {
                sum.watchShare.push_back(100.0 * r.f.readingsPerSecond / r.watch);
                watch = QStringLiteral("%1 (%2%)")
                            .arg(r.watch, 0, 'f', 1)
                            .arg(100.0 * r.f.readingsPerSecond / r.watch, 0, 'f', 1);
            } else if (r.watch == 0) {
                watch = QStringLiteral("0 (none)");
            }
            QString watchCpu = QStringLiteral("-");
            if (r.watchCpu >= 0) {
                sum.watchCpu.push_back(r.watchCpu);
                watchCpu = QString::number(r.watchCpu, 'f', 2);
            }
            QString wakeups = QStringLiteral("-");
            if (r.f.wakeupsPerReading >= 0) {
                sum.wakeups.push_back(r.f.wakeupsPerReading);
                sum.uiWakeups.push_back(r.f.uiWakeupsPerReading);
                wakeups = QStringLiteral("%1/%2")
                              .arg(r.f.wakeupsPerReading, 0, 'f', 1)
                              .arg(r.f.uiWakeupsPerReading, 0, 'f', 1);
            }
            std::printf("%-8s %8.2f %9s %10.1f %14s %11s %14s %10.2f %8.1f  %s\n", qPrintable(c),
                        r.f.cpuPercent, qPrintable(ratio), r.f.readingsPerSecond, qPrintable(watch),
                        qPrintable(watchCpu), qPrintable(wakeups), r.f.paintsPerReading,
                        r.f.paintsPerSecond, qPrintable(r.f.top + perDemo));
            std::fflush(stdout);
        }
    }
    if (rounds > 1) {
        std::printf("\nmedian (min-max) of %d rounds\n", rounds);
        std::printf("%-8s %20s %20s %24s %20s %20s %18s %18s\n", "case", "cpu %", "x label",
                    "readings/s", "% of watch", "watch cpu %", "link wakes/rd", "ui wakes/rd");
        for (const QString& c : cases) {
            const TSummary& sum = summary[c];
            std::printf("%-8s %20s %20s %24s %20s %20s %18s %18s\n", qPrintable(c),
                        qPrintable(Spread(sum.cpu, 2)), qPrintable(Spread(sum.ratio, 2)),
                        qPrintable(Spread(sum.readings, 1)), qPrintable(Spread(sum.watchShare, 1)),
                        qPrintable(Spread(sum.watchCpu, 2)), qPrintable(Spread(sum.wakeups, 1)),
                        qPrintable(Spread(sum.uiWakeups, 1)));
        }
        for (const QString& c : cases)
            if (!summary[c].perDemo.empty())
                std::printf("%-8s cpu / (N x demo window): %s\n", qPrintable(c),
                            qPrintable(Spread(summary[c].perDemo, 2)));
    }
    return failures == 0 ? 0 : 1;
}
