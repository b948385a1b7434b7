#include "bridges/metrics_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace {

constexpr qsizetype kMaxHead = 8192;
constexpr int kHeadTimeoutMs = 5000;

}  // namespace

TMetricsServer::TMetricsServer(std::function<QByteArray()> AProvider, QObject* AParent)
    : QObject(AParent), fProvider(std::move(AProvider)), fServer(new QTcpServer(this)) {
    connect(fServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = fServer->nextPendingConnection())
            Serve(socket);
    });
}

TMetricsServer::~TMetricsServer() = default;

bool TMetricsServer::Listen(const QHostAddress& AAddress, quint16 APort, QString& AError) {
    if (fServer->listen(AAddress, APort)) return true;
    AError = fServer->errorString();
    return false;
}

void TMetricsServer::Close() {
    fServer->close();
}

QHostAddress TMetricsServer::Address() const {
    return fServer->serverAddress();
}

quint16 TMetricsServer::Port() const {
    return fServer->serverPort();
}

void TMetricsServer::Serve(QTcpSocket* ASocket) {
    ASocket->setParent(this);
    connect(ASocket, &QTcpSocket::disconnected, ASocket, &QObject::deleteLater);
    auto* bound = new QTimer(ASocket);
    bound->setSingleShot(true);
    connect(bound, &QTimer::timeout, ASocket, [ASocket] { ASocket->abort(); });
    bound->start(kHeadTimeoutMs);
    auto head = std::make_shared<QByteArray>();
    connect(ASocket, &QTcpSocket::readyRead, ASocket, [this, ASocket, head, bound] {
        if (!bound->isActive()) return;  // answered already
        head->append(ASocket->readAll());
        const qsizetype end = head->indexOf("\r\n\r\n");
        if (end < 0) {
            if (head->size() > kMaxHead) ASocket->abort();
            return;
        }
        bound->stop();
        const QList<QByteArray> words = head->left(head->indexOf("\r\n")).split(' ');
        const QByteArray method = words.value(0);
        const QByteArray path = words.value(1).split('?').value(0);
        if (method != "GET" && method != "HEAD")
            Reply(ASocket, "405 Method Not Allowed", "text/plain", "only GET\n");
        else if (path != "/metrics")
            Reply(ASocket, "404 Not Found", "text/plain", "metrics are at /metrics\n");
        else {
            ++fScrapes;
            const QByteArray body = fProvider();
            Reply(ASocket, "200 OK", "text/plain; version=0.0.4; charset=utf-8",
                  method == "HEAD" ? QByteArray() : body);
        }
    });
}

void TMetricsServer::Reply(QTcpSocket* ASocket, const QByteArray& AStatus, const QByteArray& AType,
                           const QByteArray& ABody) {
    ASocket->write("HTTP/1.1 " + AStatus + "\r\nContent-Type: " + AType + "\r\nContent-Length: " +
                   QByteArray::number(ABody.size()) + "\r\nConnection: close\r\n\r\n" + ABody);
    ASocket->disconnectFromHost();
}

bool ParseListenAddress(const QString& AText, QHostAddress& AAddress, quint16& APort) {
    const qsizetype colon = AText.lastIndexOf(':');
    const QString host = colon < 0 ? QString() : AText.left(colon);
    bool ok = false;
    const uint port = AText.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535) return false;
    if (host.isEmpty()) {
        AAddress = QHostAddress(QHostAddress::LocalHost);
    } else if (!AAddress.setAddress(host.startsWith('[') && host.endsWith(']')
                                        ? host.mid(1, host.size() - 2)
                                        : host)) {
        return false;
    }
    APort = static_cast<quint16>(port);
    return true;
}
