#pragma once
// The options of "benchlordctl serve-mqtt" (broker, credentials, TLS, topics, rate, control and
// its caps) and --metrics ADDRESS:PORT (serve-mqtt, serve-scpi, watch).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "session/typed_values.h"

struct TCliRequest;

struct TMqttRequest {
    QString BrokerHost = "127.0.0.1";
    uint16_t BrokerPort = 1883;
    QString ClientId;  // empty: benchlord-NAME
    QString User;
    QString PasswordFile;
    QString CaFile;
    QString CaPath;
    QString CertFile;
    QString KeyFile;
    bool TlsInsecure = false;
    int32_t KeepaliveSeconds = 60;
    QString Prefix;  // empty: benchlord/NAME
    QString Name;    // empty: from the link (ttyUSB0, 127.0.0.1-502)
    QString DiscoveryPrefix = "homeassistant";
    std::optional<TDecimal> Rate;  // readings per second at most; none: every reading
    bool AllowControl = false;
    std::optional<TDecimal> MaxVoltage;
    std::optional<TDecimal> MaxCurrent;
};

// One of the options that take a value; an error text or empty.
QString ApplyMqttOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// --metrics ADDRESS:PORT (ADDRESS defaults to 127.0.0.1); an error text or empty.
QString ApplyMetricsOption(const QString& AValue, TCliRequest& AReq);

// The bridge's name: --name, else the link's (ttyUSB0, 127.0.0.1-502).
QString MqttName(const TCliRequest& AReq);
// The topic prefix: --prefix, else benchlord/NAME.
QString MqttPrefix(const TCliRequest& AReq);
