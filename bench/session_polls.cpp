// Live-reading polls per second of a whole session against the virtual supply, over loopback TCP
// and over a pseudo-terminal with wire-time emulation at 9600 and 115200 baud, next to the
// ceiling of the line: request and reply bytes at 10 bits each plus the scheduler's 5 ms pause.
//
//   bench_session_polls [seconds per case, default 4]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "link/com_port_connector.h"
#include "link/modbus_master.h"
#include "link/port_discovery.h"
#include "link/tcp_connector.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/virtual_supply.h"
#include "tests/support/recording_view.h"

namespace {

constexpr double kPauseMs = 5.0;
// Registers 0 to 9: RTU request 8 bytes, reply 3 + 20 + 2 bytes.
constexpr int kRtuRequestBytes = 8;
constexpr int kRtuReplyBytes = 25;

void RunFor(int AMs) {
    QEventLoop loop;
    QTimer::singleShot(AMs, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WaitConnected(TSessionCore& ACore, int AMs) {
    QElapsedTimer t;
    t.start();
    while (!ACore.Connected() && t.elapsed() < AMs)
        RunFor(5);
    return ACore.Connected();
}

struct TCase {
    const char* name;
    bool serial;
    uint32_t baud;
    int baudIndex;
};

// Polls per second over ASeconds after a warm-up; negative on failure.
double Measure(const TCase& ACase, int ASeconds) {
    QTemporaryDir dir;
    TSettingsStore settings(TSettingsStore::PathUnder(dir.path()));
    testsupport::TRecordingView view;

    VirtualSupplyOptions opt;
    opt.pty = ACase.serial;
    opt.baud = ACase.serial ? ACase.baud : 9600;
    opt.wireTime = ACase.serial;
    std::string error;
    auto supply = VirtualSupply::Start(opt, &error);
    if (!supply) {
        std::fprintf(stderr, "virtual supply: %s\n", error.c_str());
        return -1;
    }

    TSessionCore core(view, settings);  // production timings: 5 ms pause, 1000 ms wait
    const QString pty = QString::fromStdString(supply->PtyPath());
    if (ACase.serial) AddExtraPort(pty);
    core.LoadSettings();
    if (ACase.serial) {
        const auto& list = core.SerialPortList();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].ShortName == pty) core.ComPortComboBoxSelect(static_cast<int>(i));
        core.BaudComboBoxSelect(ACase.baudIndex);
    } else {
        core.ComPortComboBoxSelect(0);
        core.TCPConnector().SetPort(supply->TcpPort());
        core.IpMaskEditChange("127.000.000.001");
    }
    core.ConnectBtnClick();
    if (!WaitConnected(core, 5000)) {
        std::fprintf(stderr, "%s: no session\n", ACase.name);
        return -1;
    }
    RunFor(800);  // start-up jobs (memory number, preset block, global block) pass

    uint64_t polls = 0;
    QObject::connect(&core, &TSessionCore::LiveReading, [&] { ++polls; });
    QElapsedTimer t;
    t.start();
    RunFor(ASeconds * 1000);
    const double rate = polls * 1000.0 / static_cast<double>(t.elapsed());
    core.DisconnectBtnClick();
    if (ACase.serial) RemoveExtraPort(pty);
    return rate;
}

// The same polling without the session: the bare master on the same link, 5 ms after each
// reply. Separates the session's own cost from that of the link and the supply.
double MeasureBareLink(const TCase& ACase, int ASeconds) {
    VirtualSupplyOptions opt;
    opt.pty = ACase.serial;
    opt.baud = ACase.serial ? ACase.baud : 9600;
    opt.wireTime = ACase.serial;
    auto supply = VirtualSupply::Start(opt);
    if (!supply) return -1;
    TKRCOMPortConnector com;
    TKRTCPConnector tcp;
    TKRModbusMaster master;
    TMBType type = mbtTCP;
    if (ACase.serial) {
        type = mbtRTU;
        com.SetReadTimeout(500);
        com.SetWriteTimeout(500);
        com.SetWaitRespTime(1000);
        com.SetPort(supply->PtyPath());
        com.SetBaudRate(static_cast<int32_t>(ACase.baud));
        master.SetConnector(&com);
    } else {
        tcp.SetIP("127.0.0.1");
        tcp.SetPort(supply->TcpPort());
        master.SetConnector(&tcp);
    }
    master.SetActive(true);
    uint64_t polls = 0;
    bool counting = false;
    QTimer pause;
    pause.setSingleShot(true);
    pause.setTimerType(Qt::PreciseTimer);
    pause.setInterval(static_cast<int>(kPauseMs));
    std::function<void()> poll = [&] {
        master.ReadHoldingRegisters(type, 1, 0, 10, [&](int32_t AError, const void*) {
            if (AError == 0 && counting) ++polls;
            pause.start();
        });
    };
    QObject::connect(&pause, &QTimer::timeout, poll);
    poll();
    RunFor(800);
    counting = true;
    QElapsedTimer t;
    t.start();
    RunFor(ASeconds * 1000);
    const double rate = polls * 1000.0 / static_cast<double>(t.elapsed());
    counting = false;
    pause.stop();
    QObject::disconnect(&pause, nullptr, nullptr, nullptr);
    master.SetActive(false);
    master.SetConnector(nullptr);
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    const TCase cases[] = {
        {"tcp loopback", false, 0, 0},
        {"pty 9600 baud", true, 9600, 2},
        {"pty 115200 baud", true, 115200, 6},
    };
    std::printf("%-16s %9s %10s %7s %13s %7s %10s %7s\n", "link", "polls/s", "ceiling/s", "ratio",
                "+slave gap/s", "ratio", "bare link", "ratio");
    int failures = 0;
    for (const TCase& c : cases) {
        // The line's ceiling: bytes at 10 bits each plus the pause after every reply; loopback
        // TCP has no line time, so its ceiling is the pause alone.
        const double wireMs =
            c.serial ? (kRtuRequestBytes + kRtuReplyBytes) * 10 * 1000.0 / c.baud : 0.0;
        const double ceiling = 1000.0 / (wireMs + kPauseMs);
        // The supply (like a real slave) takes a request as complete after 3.5 characters of
        // silence, 11 bits each, at least 2 ms: a ceiling that includes that gap.
        const double gapMs = c.serial ? std::max(3.5 * 11 * 1000.0 / c.baud, 2.0) : 0.0;
        const double gapCeiling = 1000.0 / (wireMs + gapMs + kPauseMs);
        const double rate = Measure(c, seconds);
        const double bare = MeasureBareLink(c, seconds);
        if (rate < 0 || bare < 0) {
            ++failures;
            continue;
        }
        std::printf("%-16s %9.1f %10.1f %6.1f%% %13.1f %6.1f%% %10.1f %6.1f%%\n", c.name, rate,
                    ceiling, 100.0 * rate / ceiling, gapCeiling, 100.0 * rate / gapCeiling, bare,
                    100.0 * rate / bare);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
