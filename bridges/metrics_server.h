#pragma once
// A small HTTP/1.1 server for Prometheus scrapes: GET /metrics answers with the text the
// provider makes at that moment (text/plain; version=0.0.4), anything else with 404 or 405.
// One request per connection (Connection: close); a request head over 8 KiB or not whole within
// five seconds is dropped. Runs on the event loop of the thread that owns it.
//
//     TMetricsServer server([&] { return metrics.Text(); });
//     server.Listen(QHostAddress::LocalHost, 9464, error);

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

class TMetricsServer : public QObject {
    Q_OBJECT
public:
    explicit TMetricsServer(std::function<QByteArray()> AProvider, QObject* AParent = nullptr);
    ~TMetricsServer() override;

    // Port 0: any free port. False with AError when the address cannot be taken.
    bool Listen(const QHostAddress& AAddress, quint16 APort, QString& AError);
    void Close();
    QHostAddress Address() const;
    quint16 Port() const;
    // Scrapes answered.
    uint64_t Scrapes() const { return fScrapes; }

private:
    void Serve(QTcpSocket* ASocket);
    void Reply(QTcpSocket* ASocket, const QByteArray& AStatus, const QByteArray& AType,
               const QByteArray& ABody);

    std::function<QByteArray()> fProvider;
    QTcpServer* fServer;
    uint64_t fScrapes = 0;
};

// "127.0.0.1:9464" (or ":9464", "9464" for the loopback address) as address and port; false
// for anything else.
bool ParseListenAddress(const QString& AText, QHostAddress& AAddress, quint16& APort);
