// What serve-mqtt publishes per second beside the rate at which its session polls the supply in
// the same run (the goal: every reading, at the poll rate), and the bridge's CPU time per
// reading against 'watch' on the same supply as the baseline (a session that only prints its
// readings). benchlord-sim, the broker and both programs run as separate processes on loopback;
// a subscriber in this process counts what arrives. Production timings.
//
//   bench_mqtt_bridge [seconds per case, default 5]

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>

#include "bridges/mqtt_client.h"
#include "tests/support/event_loop.h"
#include "tests/support/mqtt_broker.h"

using testsupport::ProcessFor;
using testsupport::ProcessUntil;

namespace {

// User and system CPU seconds of a running process.
double CpuSeconds(qint64 APid) {
    QFile stat("/proc/" + QString::number(APid) + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (f.value(11).toDouble() + f.value(12).toDouble()) / ticks;
}

struct TCase {
    double Seconds = 0;
    double CpuSeconds = 0;
    uint64_t Readings = 0;   // the session's readings
    uint64_t Published = 0;  // what the subscriber received
};

// Starts AArgs of benchlordctl, lets it run ASeconds after its first output, stops it with SIGINT.
TCase Run(const QString& ATool, const QStringList& AArgs, int ASeconds,
          const std::function<uint64_t()>& AReceived) {
    QProcess p;
    p.start(ATool, AArgs);
    p.waitForStarted();
    ProcessUntil([&] { return p.bytesAvailable() > 0 || p.state() != QProcess::Running; }, 5000);
    ProcessFor(500);  // connected and polling
    const uint64_t received0 = AReceived ? AReceived() : 0;
    p.readAllStandardOutput();
    const double cpu0 = CpuSeconds(p.processId());
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < ASeconds * 1000) {
        ProcessFor(100);
        out += p.readAllStandardOutput();
    }
    TCase c;
    c.Seconds = static_cast<double>(t.elapsed()) / 1000.0;
    c.CpuSeconds = CpuSeconds(p.processId()) - cpu0;
    c.Published = AReceived ? AReceived() - received0 : 0;
    c.Readings = static_cast<uint64_t>(out.count('\n'));
    kill(static_cast<pid_t>(p.processId()), SIGINT);
    p.waitForFinished(5000);
    out += p.readAllStandardOutput();
    // serve-mqtt's last line counts its readings; the rate is over the whole run, so it is
    // scaled to the measured span by what the subscriber received meanwhile.
    static const QRegularExpression counts(R"(readings: (\d+), published (\d+))");
    const auto m = counts.match(QString::fromUtf8(out));
    if (m.hasMatch() && m.captured(2).toULongLong() > 0)
        c.Readings = static_cast<uint64_t>(static_cast<double>(c.Published) *
                                           m.captured(1).toDouble() / m.captured(2).toDouble());
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString dir = QCoreApplication::applicationDirPath();

    testsupport::TMqttBroker broker;
    if (!broker.Running()) {
        std::fprintf(stderr, "%s\n", broker.Error().c_str());
        return 1;
    }
    QProcess sim;
    sim.start(dir + "/benchlord-sim", {"--tcp", "0", "--load", "10"});
    ProcessUntil([&] { return sim.canReadLine(); }, 5000);
    static const QRegularExpression tcp(R"(tcp 127\.0\.0\.1:(\d+))");
    const QString port = tcp.match(QString::fromUtf8(sim.readLine())).captured(1);
    if (port.isEmpty()) {
        std::fprintf(stderr, "benchlord-sim did not start\n");
        return 1;
    }
    const QStringList link{"--tcp", "127.0.0.1:" + port};

    TMqttOptions o;
    o.Port = broker.Port();
    o.ClientId = "bench-subscriber";
    TMqttClient sub(o);
    uint64_t received = 0;
    sub.fOnConnected = [&] { sub.Subscribe("benchlord/bench/reading", 0); };
    sub.fOnMessage = [&](const QString&, const QByteArray&) { ++received; };
    sub.Start();
    ProcessUntil([&] { return sub.Connected(); }, 5000);

    const TCase watch = Run(dir + "/benchlordctl",
                            link + QStringList{"watch", "--interval", "0.01"}, seconds, nullptr);
    const TCase mqtt =
        Run(dir + "/benchlordctl",
            link + QStringList{"serve-mqtt", "--broker",
                               "127.0.0.1:" + QString::number(broker.Port()), "--name", "bench"},
            seconds, [&] { return received; });
    sim.kill();
    sim.waitForFinished();

    const double watchRate = static_cast<double>(watch.Readings) / watch.Seconds;
    const double pollRate = static_cast<double>(mqtt.Readings) / mqtt.Seconds;
    const double pubRate = static_cast<double>(mqtt.Published) / mqtt.Seconds;
    const double watchCpu = watch.CpuSeconds * 1e6 / std::max<double>(1, watch.Readings);
    const double mqttCpu = mqtt.CpuSeconds * 1e6 / std::max<double>(1, mqtt.Published);
    std::printf("watch (baseline):  %7.1f readings/s, %6.1f us CPU per reading\n", watchRate,
                watchCpu);
    std::printf(
        "serve-mqtt:        %7.1f readings/s polled, %7.1f/s received by a subscriber "
        "(%.3f of the polls), %6.1f us CPU per reading (%.2f x watch)\n",
        pollRate, pubRate, pollRate > 0 ? pubRate / pollRate : 0, mqttCpu,
        watchCpu > 0 ? mqttCpu / watchCpu : 0);
    return 0;
}
