#include "tests/support/mqtt_broker.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include "tests/support/event_loop.h"
#include "tests/support/run_tool.h"

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

TMqttBroker::TMqttBroker(TBrokerSecurity ASecurity) : fSecurity(std::move(ASecurity)) {
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

std::string TMqttBroker::File(const char* AName) const {
    return fDir.filePath(AName).toStdString();
}

std::string TMqttBroker::CaFile() const {
    return File("broker.crt");
}

bool TMqttBroker::MakeSecurityFiles() {
    if (fFilesMade) return true;
    if (!fSecurity.User.empty() && RunTool({"mosquitto_passwd", "-c", "-b", File("passwd"),
                                            fSecurity.User, fSecurity.Password}) != 0) {
        fError = "mosquitto_passwd cannot make the password file";
        return false;
    }
    // A self-signed certificate for the loopback address, its own authority.
    if (fSecurity.Tls && RunTool({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", File("broker.key"), "-out", CaFile()}) != 0) {
        fError = "openssl cannot make the broker's certificate";
        return false;
    }
    fFilesMade = true;
    return true;
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
    if (!MakeSecurityFiles()) return false;
    QByteArray text = "listener " + QByteArray::number(fPort) +
                      " 127.0.0.1\npersistence false\nlog_dest none\n"
                      // Run as root, the broker would read the files below as another user.
                      "user root\n";
    if (fSecurity.User.empty())
        text += "allow_anonymous true\n";
    else
        text += "allow_anonymous false\npassword_file " +
                QByteArray::fromStdString(File("passwd")) + "\n";
    if (fSecurity.Tls)
        text += "certfile " + QByteArray::fromStdString(CaFile()) + "\nkeyfile " +
                QByteArray::fromStdString(File("broker.key")) + "\n";
    file.write(text);
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
