#include "scpi/scpi_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
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

// The connection was reset (or closed both ways after a reply reached a closed client). The
// kernel still hands out data received before the reset, so the state is asked directly; a
// client that only finished sending is in CLOSE_WAIT instead.
bool ConnectionClosed(int AFd) {
    tcp_info info{};
    socklen_t len = sizeof info;
    return ::getsockopt(AFd, IPPROTO_TCP, TCP_INFO, &info, &len) == 0 &&
           info.tcpi_state == TCP_CLOSE;
}

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

TScpiServer::TScpiServer(QObject* AParent) : QObject(AParent), fListener(new TScpiListener(this)) {
    fListener->fOnSocket = [this](qintptr ADescriptor) { Accept(ADescriptor); };
    fWaitTimer.setSingleShot(true);
    connect(&fWaitTimer, &QTimer::timeout, this, [this] { RefuseExpired(); });
    fIdleTimer.setSingleShot(true);
    connect(&fIdleTimer, &QTimer::timeout, this, [this] {
        if (fFd < 0) return;
        if (fBusy && fLineClient == fClient) {
            RestartIdle();  // its line is being worked on
            return;
        }
        Event("client " + fPeer + " sent nothing for " + QString::number(fIdleSeconds) +
              " s: closed");
        DropClient();
    });
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

void TScpiServer::SetIdleTimeout(int ASeconds) {
    fIdleSeconds = ASeconds;
}

void TScpiServer::Close() {
    fListener->close();
    fWaitTimer.stop();
    while (!fWaiting.empty()) {
        const TWaiting w = fWaiting.front();
        fWaiting.pop_front();
        Refuse(w.Fd, w.Peer);
    }
    if (fFd >= 0) DropClient();
}

void TScpiServer::Accept(qintptr ADescriptor) {
    const int fd = static_cast<int>(ADescriptor);
    const QString peer = PeerOf(fd);
    if (fFd < 0 && fWaiting.empty()) {
        Adopt(fd, peer);
        return;
    }
    // The place may free in a moment (a client that has just closed, the last reply being
    // sent): wait for it a little rather than refuse at once.
    if (fWaiting.size() >= kMaxWaiting) {
        Refuse(fd, peer);
        return;
    }
    fWaiting.push_back({fd, peer, NowMs()});
    if (!fWaitTimer.isActive()) fWaitTimer.start(kSlotWaitMs);
}

void TScpiServer::Refuse(int AFd, const QString& APeer) {
    static const char kBusy[] =
        "-300,\"Device-specific error;another client is connected, try again later\"\n";
    (void)::send(AFd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(AFd, SHUT_WR);
    ::close(AFd);
    Event("client " + APeer + " refused: another client is connected");
}

void TScpiServer::RefuseExpired() {
    const qint64 now = NowMs();
    while (!fWaiting.empty() && now - fWaiting.front().Since >= kSlotWaitMs) {
        const TWaiting w = fWaiting.front();
        fWaiting.pop_front();
        Refuse(w.Fd, w.Peer);
    }
    if (!fWaiting.empty())
        fWaitTimer.start(static_cast<int>(kSlotWaitMs - (now - fWaiting.front().Since)));
}

void TScpiServer::Adopt(int AFd, const QString& APeer) {
    ::fcntl(AFd, F_SETFL, ::fcntl(AFd, F_GETFL) | O_NONBLOCK);
    // A client that vanished without closing (a cable pulled, a machine gone to sleep) would
    // hold the only place for ever: keep-alive probes find it out within about 90 seconds.
    const int on = 1, idle = 60, interval = 10, probes = 3;
    ::setsockopt(AFd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(AFd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(AFd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(AFd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    fFd = AFd;
    ++fClient;
    fPeer = APeer;
    fIn.clear();
    fOut.clear();
    fInputEnded = fWriteDead = fDropping = false;
    fReadNote = new QSocketNotifier(AFd, QSocketNotifier::Read, this);
    connect(fReadNote, &QSocketNotifier::activated, this, [this] { ReadInput(); });
    fWriteNote = new QSocketNotifier(AFd, QSocketNotifier::Write, this);
    fWriteNote->setEnabled(false);
    connect(fWriteNote, &QSocketNotifier::activated, this, [this] { Flush(); });
    Event("client " + APeer + " connected");
    RestartIdle();
    ScheduleNext();
}

void TScpiServer::RestartIdle() {
    if (fIdleSeconds > 0 && fFd >= 0) fIdleTimer.start(fIdleSeconds * 1000);
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
        RestartIdle();
    } else if (n == 0) {
        // Finished sending: its whole lines are still carried out and answered.
        fInputEnded = true;
        fReadNote->setEnabled(false);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Gone();
        return;
    }
    ScheduleNext();
}

void TScpiServer::Reply(const QString& AText) {
    if (fFd < 0 || fWriteDead || fLineClient != fClient) return;
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
            Gone();  // replies can no longer reach it
            return;
        }
    }
    fWriteNote->setEnabled(!fOut.isEmpty() && !fWriteDead);
    ScheduleNext();
}

// The client can no longer be reached: what it sent and has not been carried out is dropped.
void TScpiServer::Gone() {
    if (fFd < 0 || fWriteDead) return;
    fWriteDead = fInputEnded = true;
    fIn.clear();
    fOut.clear();
    fDropping = false;
    fReadNote->setEnabled(false);
    fWriteNote->setEnabled(false);
    if (fBusy && fLineClient == fClient && fOnGone) fOnGone();
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
    fIdleTimer.stop();
    Event("client " + fPeer + " left");
    if (!fWaiting.empty() && fListener->isListening()) {
        const TWaiting w = fWaiting.front();
        fWaiting.pop_front();
        if (fWaiting.empty()) fWaitTimer.stop();
        Adopt(w.Fd, w.Peer);
    }
}

void TScpiServer::Event(const QString& AText) {
    if (fOnEvent) fOnEvent(AText);
}

void TScpiServer::LineDone() {
    fBusy = false;
    RestartIdle();
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
    if (fFd < 0) return;
    if (!fWriteDead && ConnectionClosed(fFd)) Gone();
    if (fWriteDead) {
        DropClient();
        return;
    }
    if (fBusy) return;
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
            if (fOnOverlong) fOnOverlong(fClient);
            continue;
        }
        if (end < 0) {
            if (fInputEnded && !fIn.isEmpty()) {
                // The input ended inside a line: it is incomplete and never carried out.
                QByteArray fragment = fIn;
                fIn.clear();
                if (fragment.endsWith('\r')) fragment.chop(1);
                const QString text = QString::fromUtf8(fragment);
                Event("client " + fPeer +
                      ": input ended without a line end; dropped: " + text.left(80).simplified());
                const QString reply = fOnUnterminated ? fOnUnterminated(text) : QString();
                if (!reply.isEmpty()) {
                    fOut += reply.toUtf8() + '\n';
                    Flush();
                }
            }
            break;
        }
        QByteArray line = fIn.left(end);
        fIn.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        fBusy = true;
        fLineClient = fClient;
        if (!fInputEnded) fReadNote->setEnabled(true);
        if (fOnLine) fOnLine(QString::fromUtf8(line), fClient);
        return;
    }
    if (!fInputEnded) fReadNote->setEnabled(fIn.size() < kMaxLine + 2);
    // Everything sent has been carried out and answered: the connection ends.
    if (fInputEnded && fIn.isEmpty() && fOut.isEmpty()) DropClient();
}
