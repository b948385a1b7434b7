#include "cli/scpi_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTcpServer>
#include <cerrno>

// Hands over the accepted socket itself: the client side is served on the bare descriptor,
// because a Qt socket closes entirely when the client shuts down its sending half.
class TScpiListener : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    std::function<void(qintptr)> fOnSocket;

protected:
    void incomingConnection(qintptr ADescriptor) override {
        if (fOnSocket)
            fOnSocket(ADescriptor);
        else
            ::close(static_cast<int>(ADescriptor));
    }
};

namespace {

QString PeerOf(int AFd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(AFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        addr.sin_family != AF_INET)
        return "?";
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return QString(text) + ":" + QString::number(ntohs(addr.sin_port));
}

}  // namespace

TScpiServer::TScpiServer(QObject* AParent) : QObject(AParent), fListener(new TScpiListener(this)) {
    fListener->fOnSocket = [this](qintptr ADescriptor) { Accept(ADescriptor); };
}

TScpiServer::~TScpiServer() {
    Close();
}

bool TScpiServer::Listen(const QHostAddress& AAddress, quint16 APort, QString& AError) {
    if (fListener->listen(AAddress, APort)) return true;
    AError = fListener->errorString();
    return false;
}

QHostAddress TScpiServer::Address() const {
    return fListener->serverAddress();
}

quint16 TScpiServer::Port() const {
    return fListener->serverPort();
}

void TScpiServer::Close() {
    fListener->close();
    if (fFd >= 0) DropClient();
}

void TScpiServer::Accept(qintptr ADescriptor) {
    const int fd = static_cast<int>(ADescriptor);
    const QString peer = PeerOf(fd);
    if (fFd >= 0) {
        static const char kBusy[] =
            "-300,\"Device-specific error;another client is connected, try again later\"\n";
        (void)::send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
        if (fOnRefused) fOnRefused(peer);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    // A client that vanished without closing (a cable pulled, a machine gone to sleep) would
    // hold the only place for ever: keep-alive probes find it out within about 90 seconds.
    const int on = 1, idle = 60, interval = 10, probes = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    fFd = fd;
    fPeer = peer;
    fIn.clear();
    fOut.clear();
    fInputEnded = fWriteDead = fDropping = false;
    fReadNote = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(fReadNote, &QSocketNotifier::activated, this, [this] { ReadInput(); });
    fWriteNote = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    fWriteNote->setEnabled(false);
    connect(fWriteNote, &QSocketNotifier::activated, this, [this] { Flush(); });
    if (fOnConnected) fOnConnected(peer);
}

void TScpiServer::ReadInput() {
    // At most one line beyond what is being worked on is taken in; the rest waits in the kernel.
    const qsizetype room = kMaxLine + 2 - fIn.size();
    if (room <= 0) {
        fReadNote->setEnabled(false);
        ScheduleNext();
        return;
    }
    char buffer[kMaxLine + 2];
    const ssize_t n = ::recv(fFd, buffer, static_cast<size_t>(room), 0);
    if (n > 0) {
        fIn.append(buffer, n);
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        // Finished sending (or gone): what arrived is still carried out.
        fInputEnded = true;
        fReadNote->setEnabled(false);
        if (n < 0) fWriteDead = true;
    }
    ScheduleNext();
}

void TScpiServer::Reply(const QString& AText) {
    if (fFd < 0 || fWriteDead) return;
    fOut += AText.toUtf8() + '\n';
    Flush();
}

void TScpiServer::Flush() {
    while (!fOut.isEmpty() && !fWriteDead) {
        const ssize_t n = ::send(fFd, fOut.constData(), static_cast<size_t>(fOut.size()),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            fOut.remove(0, n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else if (n < 0 && errno != EINTR) {
            fWriteDead = true;  // the client has gone: replies are dropped
            fOut.clear();
        }
    }
    fWriteNote->setEnabled(!fOut.isEmpty() && !fWriteDead);
    ScheduleNext();
}

void TScpiServer::DropClient() {
    delete fReadNote;
    delete fWriteNote;
    fReadNote = fWriteNote = nullptr;
    ::close(fFd);
    fFd = -1;
    fIn.clear();
    fOut.clear();
    if (fOnDisconnected) fOnDisconnected(fPeer);
}

void TScpiServer::LineDone() {
    fBusy = false;
    ScheduleNext();
}

void TScpiServer::ScheduleNext() {
    if (fNextPosted) return;
    fNextPosted = true;
    // Never from inside a handler: the line's work may run the event loop.
    QMetaObject::invokeMethod(
        this,
        [this] {
            fNextPosted = false;
            Next();
        },
        Qt::QueuedConnection);
}

void TScpiServer::Next() {
    if (fFd < 0 || fBusy) return;
    while (fOut.size() <= kMaxUnsent) {
        const qsizetype end = fIn.indexOf('\n');
        if (fDropping) {
            // The rest of an over-long line, up to its end.
            fIn.remove(0, end < 0 ? fIn.size() : end + 1);
            if (end < 0) break;
            fDropping = false;
            continue;
        }
        if (end < 0 && fIn.size() > kMaxLine) {
            fIn.clear();
            fDropping = true;
            if (fOnOverlong) fOnOverlong();
            continue;
        }
        // At the end of the input the last line may lack its newline.
        if (end < 0 && !(fInputEnded && !fIn.isEmpty())) break;
        QByteArray line = end < 0 ? fIn : fIn.left(end);
        fIn.remove(0, end < 0 ? fIn.size() : end + 1);
        if (line.endsWith('\r')) line.chop(1);
        fBusy = true;
        if (!fInputEnded) fReadNote->setEnabled(true);
        if (fOnLine) fOnLine(QString::fromUtf8(line));
        return;
    }
    if (!fInputEnded) fReadNote->setEnabled(fIn.size() < kMaxLine + 2);
    // Everything sent has been carried out and answered: the connection ends.
    if (fInputEnded && fIn.isEmpty() && (fOut.isEmpty() || fWriteDead)) DropClient();
}
