// What the SCPI bridge answers per second against the virtual supply, beside the rate at which
// the session polls the same link in the same run (a measurement waits for a reading requested
// after it arrived, so it cannot come faster than the polls): sequential MEAS:VOLT? queries, and
// set-and-read-back pairs ("VOLT x;VOLT?", written, read back from the supply and answered). On
// loopback TCP and on a pseudo-terminal at 115200 baud (bytes paced at the baud rate), production
// timings.
//
//   bench_scpi_bridge [seconds per case, default 4]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>

#include "cli/cli_args.h"
#include "cli/cli_runner.h"
#include "session/session_core.h"
#include "sim/virtual_supply.h"

namespace {

void RunFor(int AMs) {
    QEventLoop loop;
    QTimer::singleShot(AMs, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunUntil(const std::function<bool()>& ADone, int AMs) {
    QElapsedTimer t;
    t.start();
    while (!ADone() && t.elapsed() < AMs)
        RunFor(5);
    return ADone();
}

// Lines per second: sends ANext(i), waits for its reply, sends the next, for AMs.
double Exchange(QTcpSocket& ASocket, const std::function<QString(uint64_t)>& ANext, int AMs,
                QString& ALastReply) {
    uint64_t done = 0;
    bool counting = true;
    QMetaObject::Connection c = QObject::connect(&ASocket, &QTcpSocket::readyRead, [&] {
        while (ASocket.canReadLine()) {
            ALastReply = QString::fromUtf8(ASocket.readLine()).trimmed();
            if (!counting) return;
            ++done;
            ASocket.write((ANext(done) + "\n").toUtf8());
        }
    });
    QElapsedTimer t;
    t.start();
    ASocket.write((ANext(0) + "\n").toUtf8());
    RunFor(AMs);
    counting = false;
    const double rate = static_cast<double>(done) * 1000.0 / static_cast<double>(t.elapsed());
    RunFor(200);  // the last reply comes in
    QObject::disconnect(c);
    return rate;
}

// The bridge on ALink against a fresh virtual supply: the table of one link. False when it
// could not be set up.
bool RunLink(const char* ATitle, bool APty, int AMs) {
    VirtualSupplyOptions opt;
    if (APty) {
        opt.tcp = false;
        opt.pty = true;
        opt.baud = 115200;
        opt.wireTime = true;
    }
    std::string error;
    auto supply = VirtualSupply::Start(opt, &error);
    if (!supply) {
        std::fprintf(stderr, "virtual supply: %s\n", error.c_str());
        return false;
    }
    const QStringList link =
        APty ? QStringList{"--port", QString::fromStdString(supply->PtyPath()), "--baud", "115200"}
             : QStringList{"--tcp", "127.0.0.1:" + QString::number(supply->TcpPort())};
    const TParseResult parsed =
        ParseArguments(link + QStringList{"serve-scpi", "--listen", "127.0.0.1:0"});
    std::ostringstream out, err;
    TCliRunner runner(parsed.Request, out, err);
    runner.Start();
    static const QRegularExpression serving(R"(serving SCPI on 127\.0\.0\.1:(\d+))");
    quint16 port = 0;
    RunUntil(
        [&] {
            const auto m = serving.match(QString::fromStdString(out.str()));
            port = m.hasMatch() ? static_cast<quint16>(m.captured(1).toUInt()) : 0;
            return port != 0 || runner.Finished();
        },
        5000);
    if (port == 0 || runner.Session() == nullptr) {
        std::fprintf(stderr, "bridge did not start: %s\n", err.str().c_str());
        return false;
    }
    RunFor(800);  // start-up jobs pass

    uint64_t polls = 0;
    QObject::connect(runner.Session(), &TSessionCore::LiveReading, [&] { ++polls; });
    QElapsedTimer t;
    t.start();
    RunFor(AMs);
    const double idlePolls = static_cast<double>(polls) * 1000.0 / static_cast<double>(t.elapsed());

    QTcpSocket client;
    client.connectToHost("127.0.0.1", port);
    if (!client.waitForConnected(2000)) {
        std::fprintf(stderr, "cannot connect to the bridge\n");
        return false;
    }
    QString last;
    polls = 0;
    t.restart();
    const double meas = Exchange(
        client, [](uint64_t) { return QString("MEAS:VOLT?"); }, AMs, last);
    const double measPolls = static_cast<double>(polls) * 1000.0 / static_cast<double>(t.elapsed());
    const QString measReply = last;
    const double pairs = Exchange(
        client,
        [](uint64_t i) { return QString("VOLT %1;VOLT?").arg(i % 2 == 0 ? "5.00" : "6.00"); }, AMs,
        last);
    const QString pairReply = last;

    std::printf("%-34s %9s %9s\n", ATitle, "per s", "ratio");
    std::printf("%-34s %9.1f %9s\n", "session polls (no client)", idlePolls, "1.00");
    std::printf("%-34s %9.1f %9.2f\n", "MEAS:VOLT? queries", meas, meas / idlePolls);
    std::printf("%-34s %9.1f %9.2f\n", "  session polls meanwhile", measPolls,
                measPolls / idlePolls);
    std::printf("%-34s %9.1f %9.2f\n", "VOLT x;VOLT? pairs", pairs, pairs / idlePolls);
    std::printf("last replies: %s, %s\n\n", measReply.toStdString().c_str(),
                pairReply.toStdString().c_str());
    client.disconnectFromHost();
    runner.Interrupt();
    RunUntil([&] { return runner.Finished(); }, 5000);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int ms = (argc > 1 ? std::max(1, std::atoi(argv[1])) : 4) * 1000;
    const bool ok = RunLink("loopback TCP, production timings", false, ms) &&
                    RunLink("pty at 115200 baud, production", true, ms);
    return ok ? 0 : 1;
}
