#pragma once
// An MQTT client on libmosquitto, driven from the Qt event loop of the thread that owns it: the
// broker's socket is watched by QSocketNotifiers and a timer runs libmosquitto's housekeeping
// (keep-alive pings, retries), so no thread of libmosquitto's own is started. A lost or refused
// connection is tried again with a back-off that doubles up to its bound; while it is away,
// Publish sends nothing and says so, and nothing queues up in memory: a caller counts what it
// could not send. QoS 0 messages that would wait behind unsent data are not sent either (a broker
// that reads too slowly makes the same drops instead of a growing queue); QoS 1 messages always
// queue, so a caller keeps them to a bounded few (retained state, answers).
//
//     TMqttClient client(options);
//     client.fOnConnected = [&] { client.Subscribe("lab/+/set/#"); };
//     client.fOnMessage = [&](const QString& ATopic, const QByteArray& APayload) { ... };
//     client.Start();
//
// The TCP connect itself is made the way libmosquitto makes it (blocking, as the system bounds
// it); with the broker on the machine or on the lab's network it answers at once.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

struct TMqttWill {
    QString Topic;  // empty: no last will
    QByteArray Payload;
    bool Retain = true;
};

struct TMqttOptions {
    QString Host = "127.0.0.1";
    int Port = 1883;
    QString ClientId;  // empty: the library makes one
    QString User;      // empty: no user name
    QByteArray Password;
    int KeepaliveSeconds = 60;
    // TLS, through libmosquitto's own options: on when a CA file or folder is given.
    QString CaFile;
    QString CaPath;
    QString CertFile;
    QString KeyFile;
    bool TlsInsecure = false;  // no check of the broker's host name against its certificate
    TMqttWill Will;
    // Back-off of the reconnects, from the first to the longest wait.
    int RetryFirstMs = 500;
    int RetryMaxMs = 30000;
};

class TMqttClient : public QObject {
    Q_OBJECT
public:
    explicit TMqttClient(TMqttOptions AOptions, QObject* AParent = nullptr);
    ~TMqttClient() override;

    // Sets the options up and connects (a failed connect is tried again). An empty text when
    // the options are usable, else why not (a bad TLS file, an invalid client id).
    QString Start();
    // A clean disconnect: the last will is not sent.
    void Stop();

    bool Connected() const { return fConnected; }
    enum TSent { msSent, msNotConnected, msBacklog };
    // QoS 0 or 1; sends nothing while away, nor at QoS 0 while earlier data waits to be written.
    TSent Publish(const QString& ATopic, const QByteArray& APayload, bool ARetain = false,
                  int AQos = 0);
    bool Subscribe(const QString& APattern, int AQos = 1);

    // Every (re)connect the broker accepted; every loss, with its reason.
    std::function<void()> fOnConnected;
    std::function<void(const QString& AReason)> fOnDisconnected;
    std::function<void(const QString& ATopic, const QByteArray& APayload)> fOnMessage;

    const TMqttOptions& Options() const { return fOptions; }
    // Connections the broker accepted since Start.
    int Connects() const { return fConnects; }
    // The wait before the next attempt (tests, messages).
    int NextRetryMs() const { return fRetryMs; }

private:
    static void OnConnect(mosquitto*, void* AObj, int ARc);
    static void OnDisconnect(mosquitto*, void* AObj, int ARc);
    static void OnMessage(mosquitto*, void* AObj, const mosquitto_message* AMsg);

    void Connected(int ARc);
    void TryConnect();
    void Watch();
    void Unwatch();
    void Lost(const QString& AReason);
    void Check(int ARc);
    void UpdateWrite();

    TMqttOptions fOptions;
    mosquitto* fMosq = nullptr;
    std::unique_ptr<QSocketNotifier> fRead;
    std::unique_ptr<QSocketNotifier> fWrite;
    QTimer fMisc;
    QTimer fRetry;
    int fRetryMs = 0;
    bool fConnected = false;
    bool fSocketOpen = false;
    bool fStopped = false;
    int fConnects = 0;
    // Why the broker refused the last connect, from its answer until the loss is told.
    QString fRefusal;
};
