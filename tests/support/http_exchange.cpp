#include "tests/support/http_exchange.h"

#include <QHostAddress>
#include <QTcpSocket>

#include "tests/support/event_loop.h"

namespace testsupport {

QByteArray HttpExchange(quint16 APort, const QByteArray& ARequest) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, APort);
    socket.write(ARequest);
    QByteArray reply;
    ProcessUntil(
        [&] {
            reply += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    return reply + socket.readAll();
}

QByteArray ScrapeMetrics(quint16 APort) {
    const QByteArray reply = HttpExchange(
        APort, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    if (!reply.startsWith("HTTP/1.1 200")) return {};
    return reply.mid(reply.indexOf("\r\n\r\n") + 4);
}

}  // namespace testsupport
