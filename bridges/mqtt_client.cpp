#include "bridges/mqtt_client.h"

#include <mosquitto.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QByteArray Bytes(const QString& AText) {
    return AText.toUtf8();
}

// A file option as libmosquitto takes it: null when not given.
const char* OrNull(const QByteArray& AText) {
    return AText.isEmpty() ? nullptr : AText.constData();
}

QString ErrorText(int ARc) {
    if (ARc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(ARc));
}

}  // namespace

TMqttClient::TMqttClient(TMqttOptions AOptions, QObject* AParent)
    : QObject(AParent), fOptions(std::move(AOptions)) {
    InitLibrary();
    fMisc.setInterval(500);
    connect(&fMisc, &QTimer::timeout, this, [this] {
        if (!fMosq || !fSocketOpen) return;
        Check(mosquitto_loop_misc(fMosq));
        UpdateWrite();
    });
    fRetry.setSingleShot(true);
    connect(&fRetry, &QTimer::timeout, this, [this] { TryConnect(); });
}

TMqttClient::~TMqttClient() {
    Unwatch();
    if (fMosq) mosquitto_destroy(fMosq);
}

QString TMqttClient::Start() {
    const QByteArray id = Bytes(fOptions.ClientId);
    fMosq = mosquitto_new(OrNull(id), true, this);
    if (!fMosq) return "cannot make an MQTT client: " + ErrorText(MOSQ_ERR_ERRNO);
    mosquitto_int_option(fMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(fMosq, &TMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(fMosq, &TMqttClient::OnDisconnect);
    mosquitto_message_callback_set(fMosq, &TMqttClient::OnMessage);
    if (!fOptions.User.isEmpty()) {
        const QByteArray user = Bytes(fOptions.User);
        const int rc =
            mosquitto_username_pw_set(fMosq, user.constData(), OrNull(fOptions.Password));
        if (rc != MOSQ_ERR_SUCCESS) return "user name: " + ErrorText(rc);
    }
    if (!fOptions.Will.Topic.isEmpty()) {
        const QByteArray topic = Bytes(fOptions.Will.Topic);
        const int rc = mosquitto_will_set(
            fMosq, topic.constData(), static_cast<int>(fOptions.Will.Payload.size()),
            fOptions.Will.Payload.constData(), 1, fOptions.Will.Retain);
        if (rc != MOSQ_ERR_SUCCESS) return "last will: " + ErrorText(rc);
    }
    if (!fOptions.CaFile.isEmpty() || !fOptions.CaPath.isEmpty()) {
        const QByteArray ca = Bytes(fOptions.CaFile), caPath = Bytes(fOptions.CaPath),
                         cert = Bytes(fOptions.CertFile), key = Bytes(fOptions.KeyFile);
        const int rc = mosquitto_tls_set(fMosq, OrNull(ca), OrNull(caPath), OrNull(cert),
                                         OrNull(key), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return "TLS: " + ErrorText(rc);
        if (fOptions.TlsInsecure) mosquitto_tls_insecure_set(fMosq, true);
    }
    fRetryMs = fOptions.RetryFirstMs;
    TryConnect();
    return {};
}

void TMqttClient::Stop() {
    fStopped = true;
    fRetry.stop();
    if (fMosq && fSocketOpen) {
        mosquitto_disconnect(fMosq);
        // The DISCONNECT goes out before the socket closes.
        mosquitto_loop_write(fMosq, 1);
    }
    Unwatch();
    fConnected = false;
}

void TMqttClient::TryConnect() {
    if (fStopped) return;
    const QByteArray host = Bytes(fOptions.Host);
    const int rc =
        fConnects == 0 && !fSocketOpen
            ? mosquitto_connect(fMosq, host.constData(), fOptions.Port, fOptions.KeepaliveSeconds)
            : mosquitto_reconnect(fMosq);
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(ErrorText(rc));
        return;
    }
    fSocketOpen = true;
    Watch();
    UpdateWrite();
}

void TMqttClient::Watch() {
    Unwatch();
    const int fd = mosquitto_socket(fMosq);
    if (fd < 0) return;
    fRead = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(fRead.get(), &QSocketNotifier::activated, this, [this] {
        if (!fSocketOpen) return;
        Check(mosquitto_loop_read(fMosq, 1));
        UpdateWrite();
    });
    fWrite = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    fWrite->setEnabled(false);
    connect(fWrite.get(), &QSocketNotifier::activated, this, [this] {
        if (!fSocketOpen) return;
        Check(mosquitto_loop_write(fMosq, 1));
        UpdateWrite();
    });
    fMisc.start();
}

void TMqttClient::Unwatch() {
    fMisc.stop();
    // Not deleted from inside their own signal: handed to the event loop.
    if (fRead) {
        fRead->setEnabled(false);
        fRead.release()->deleteLater();
    }
    if (fWrite) {
        fWrite->setEnabled(false);
        fWrite.release()->deleteLater();
    }
}

void TMqttClient::UpdateWrite() {
    if (fWrite && fSocketOpen) fWrite->setEnabled(mosquitto_want_write(fMosq));
}

// A failed read, write or housekeeping step has closed the connection, or the broker refused it.
void TMqttClient::Check(int ARc) {
    if (ARc == MOSQ_ERR_SUCCESS) return;
    if (ARc == MOSQ_ERR_CONN_LOST || ARc == MOSQ_ERR_NO_CONN || ARc == MOSQ_ERR_ERRNO ||
        ARc == MOSQ_ERR_CONN_REFUSED || mosquitto_socket(fMosq) < 0) {
        // The broker's own reason for a refusal, taken when its answer arrived.
        const QString reason = !fRefusal.isEmpty() ? fRefusal
                               : ARc == MOSQ_ERR_CONN_LOST
                                   ? QStringLiteral("the broker closed the connection")
                                   : ErrorText(ARc);
        fRefusal.clear();
        Lost(reason);
    }
}

// Once per loss: the loss closes the socket, and the next attempt is already planned.
void TMqttClient::Lost(const QString& AReason) {
    if (fRetry.isActive()) return;
    Unwatch();
    fConnected = false;
    if (fSocketOpen) {
        fSocketOpen = false;
        mosquitto_disconnect(fMosq);
    }
    if (fStopped) return;
    fRetry.start(fRetryMs);
    fRetryMs = std::min(fRetryMs * 2, fOptions.RetryMaxMs);
    if (fOnDisconnected) fOnDisconnected(AReason);
}

// libmosquitto calls these from inside mosquitto_loop_read with its own locks held; calling
// back into the library from there (a publish from fOnConnected, a disconnect) takes those locks
// in the other order. So each event is handed to the event loop and handled after the read.
void TMqttClient::OnConnect(mosquitto*, void* AObj, int ARc) {
    auto* self = static_cast<TMqttClient*>(AObj);
    if (ARc != 0)
        self->fRefusal = "the broker refused the connection: " +
                         QString::fromUtf8(mosquitto_connack_string(ARc));
    QMetaObject::invokeMethod(
        self, [self, ARc] { self->Connected(ARc); }, Qt::QueuedConnection);
}

void TMqttClient::Connected(int ARc) {
    if (fStopped || !fSocketOpen) return;
    if (ARc != 0) {
        Lost(std::exchange(fRefusal, QString()));
        return;
    }
    fConnected = true;
    ++fConnects;
    fRetryMs = fOptions.RetryFirstMs;
    if (fOnConnected) fOnConnected();
}

void TMqttClient::OnDisconnect(mosquitto*, void* AObj, int ARc) {
    auto* self = static_cast<TMqttClient*>(AObj);
    // Our own disconnect (rc 0) needs nothing more.
    if (ARc == 0) return;
    self->fSocketOpen = false;
    self->fConnected = false;
    QMetaObject::invokeMethod(
        self, [self] { self->Lost("the connection to the broker was lost"); },
        Qt::QueuedConnection);
}

void TMqttClient::OnMessage(mosquitto*, void* AObj, const mosquitto_message* AMsg) {
    auto* self = static_cast<TMqttClient*>(AObj);
    if (!AMsg->topic) return;
    QString topic = QString::fromUtf8(AMsg->topic);
    QByteArray payload(static_cast<const char*>(AMsg->payload), AMsg->payloadlen);
    QMetaObject::invokeMethod(
        self,
        [self, topic = std::move(topic), payload = std::move(payload)] {
            if (self->fOnMessage && self->fConnected) self->fOnMessage(topic, payload);
        },
        Qt::QueuedConnection);
}

TMqttClient::TSent TMqttClient::Publish(const QString& ATopic, const QByteArray& APayload,
                                        bool ARetain, int AQos) {
    if (!fConnected) return msNotConnected;
    if (AQos == 0 && mosquitto_want_write(fMosq)) return msBacklog;
    const QByteArray topic = Bytes(ATopic);
    const int rc =
        mosquitto_publish(fMosq, nullptr, topic.constData(), static_cast<int>(APayload.size()),
                          APayload.constData(), AQos, ARetain);
    if (rc != MOSQ_ERR_SUCCESS) {
        Check(rc);
        return msNotConnected;
    }
    UpdateWrite();
    return msSent;
}

bool TMqttClient::Subscribe(const QString& APattern, int AQos) {
    if (!fConnected) return false;
    const QByteArray pattern = Bytes(APattern);
    const bool ok =
        mosquitto_subscribe(fMosq, nullptr, pattern.constData(), AQos) == MOSQ_ERR_SUCCESS;
    UpdateWrite();
    return ok;
}
