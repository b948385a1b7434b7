#include "tests/support/mqtt_broker.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include "tests/support/event_loop.h"

extern char** environ;

namespace testsupport {

namespace {

constexpr const char* kBroker = "/usr/sbin/mosquitto";

bool Accepts(uint16_t APort) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, APort);
    ProcessUntil(
        [&] {
            return socket.state() != QAbstractSocket::ConnectingState &&
                   socket.state() != QAbstractSocket::HostLookupState;
        },
        500);
    return socket.state() == QAbstractSocket::ConnectedState;
}

}  // namespace

TMqttBroker::TMqttBroker() {
    EnsureCoreApp();
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        fError = "no free loopback port";
        return;
    }
    fPort = probe.serverPort();
    probe.close();
    Start();
}

TMqttBroker::~TMqttBroker() {
    Stop();
}

bool TMqttBroker::Start() {
    if (fPid > 0) return true;
    if (fPort == 0) return false;
    if (!QFile::exists(kBroker)) {
        fError.assign(kBroker).append(" is missing (scripts/ensure_deps.sh installs mosquitto)");
        return false;
    }
    const QString conf = fDir.filePath("mosquitto.conf");
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly)) {
        fError = "cannot write the broker's configuration";
        return false;
    }
    file.write("listener " + QByteArray::number(fPort) +
               " 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n");
    file.close();
    const std::string confPath = conf.toStdString();
    const char* argv[] = {"timeout", "120", kBroker, "-c", confPath.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "timeout", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        fError = "cannot start the broker";
        return false;
    }
    fPid = pid;
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < 5000) {
        if (Accepts(fPort)) return true;
        int status = 0;
        if (waitpid(fPid, &status, WNOHANG) == fPid) {
            fPid = -1;
            fError = "the broker ended at its start (port " + std::to_string(fPort) + " taken?)";
            return false;
        }
        ProcessFor(10);
    }
    fError = "the broker takes no connections";
    Stop();
    return false;
}

void TMqttBroker::Stop() {
    if (fPid <= 0) return;
    kill(fPid, SIGTERM);
    QElapsedTimer since;
    since.start();
    int status = 0;
    while (waitpid(fPid, &status, WNOHANG) == 0) {
        if (since.elapsed() > 3000) {
            kill(fPid, SIGKILL);
            waitpid(fPid, &status, 0);
            break;
        }
        ProcessFor(5);
    }
    fPid = -1;
}

}  // namespace testsupport
