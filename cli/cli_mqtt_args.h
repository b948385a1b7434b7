#pragma once
// The options of "benchlordctl serve-mqtt" (broker, credentials, TLS, topics, rate, control and
// its caps; TServeMqttOptions) and --metrics ADDRESS:PORT (serve-mqtt, serve-scpi, watch), and
// the names the bridge takes from them.

#include <QString>

struct TCliRequest;
struct TMetricsAddress;

// One of the options that take a value; an error text or empty.
QString ApplyMqttOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// --metrics ADDRESS:PORT (ADDRESS defaults to 127.0.0.1); an error text or empty.
QString ApplyMetricsOption(const QString& AName, const QString& AValue, TCliRequest& AReq);
// The --metrics address of the request's command; none (an empty host) for a command without.
TMetricsAddress MetricsAddress(const TCliRequest& AReq);

// The bridge's name: --name, else the link's (ttyUSB0, 127.0.0.1-502).
QString MqttName(const TCliRequest& AReq);
// The topic prefix: --prefix, else benchlord/NAME.
QString MqttPrefix(const TCliRequest& AReq);
