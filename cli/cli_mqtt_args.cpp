#include "cli/cli_mqtt_args.h"

#include <QFileInfo>

#include "cli/cli_args.h"
#include "link/ipv4_address.h"

namespace {

// MQTT wildcards and the level separator cannot stand in a name; the prefix may hold levels.
bool ValidTopicPart(const QString& AText, bool ALevels) {
    if (AText.isEmpty() || AText.contains('+') || AText.contains('#') || AText.contains(QChar(0)))
        return false;
    if (!ALevels && AText.contains('/')) return false;
    return !AText.startsWith('/') && !AText.endsWith('/');
}

QString Decimal(const QString& AName, const QString& AValue, std::optional<TDecimal>& ATarget) {
    ATarget = ParseDecimal(AValue);
    if (!ATarget || ToUnits(*ATarget, 3) == 0) return AName + ": a positive number expected";
    return {};
}

QString NonEmpty(const QString& AName, const QString& AValue, QString& ATarget) {
    if (AValue.isEmpty()) return AName + ": a value is required";
    ATarget = AValue;
    return {};
}

}  // namespace

QString ApplyMqttOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    TServeMqttOptions& m = AReq.Of<TServeMqttOptions>();
    if (AName == "--broker") {
        // HOST[:PORT]
        const qsizetype colon = AValue.lastIndexOf(':');
        const QString host = colon < 0 ? AValue : AValue.left(colon);
        if (host.isEmpty()) return "--broker: HOST[:PORT]";
        if (colon >= 0) {
            const auto port = ParseWhole(AValue.mid(colon + 1), 1, 65535);
            if (!port) return "--broker: the port must be a number from 1 to 65535";
            m.BrokerPort = static_cast<uint16_t>(*port);
        }
        m.BrokerHost = host == "localhost" ? QStringLiteral("127.0.0.1") : host;
        return {};
    }
    if (AName == "--keepalive") {
        const auto seconds = ParseWhole(AValue, 5, 65535);
        if (!seconds) return "--keepalive: seconds from 5 to 65535";
        m.KeepaliveSeconds = static_cast<int32_t>(*seconds);
        return {};
    }
    if (AName == "--name") {
        if (!ValidTopicPart(AValue, false))
            return "--name: one topic level, without '/', '+' or '#'";
        m.Name = AValue;
        return {};
    }
    if (AName == "--prefix" || AName == "--discovery-prefix") {
        if (!ValidTopicPart(AValue, true))
            return AName + ": topic levels without '+', '#' or a '/' at either end";
        (AName == "--prefix" ? m.Prefix : m.DiscoveryPrefix) = AValue;
        return {};
    }
    if (AName == "--rate") return Decimal(AName, AValue, m.Rate);
    if (AName == "--max-voltage") return Decimal(AName, AValue, m.MaxVoltage);
    if (AName == "--max-current") return Decimal(AName, AValue, m.MaxCurrent);
    if (AName == "--client-id") return NonEmpty(AName, AValue, m.ClientId);
    if (AName == "--user") return NonEmpty(AName, AValue, m.User);
    if (AName == "--password-file") return NonEmpty(AName, AValue, m.PasswordFile);
    if (AName == "--cafile") return NonEmpty(AName, AValue, m.CaFile);
    if (AName == "--capath") return NonEmpty(AName, AValue, m.CaPath);
    if (AName == "--cert") return NonEmpty(AName, AValue, m.CertFile);
    if (AName == "--key") return NonEmpty(AName, AValue, m.KeyFile);
    return "unknown option " + AName;
}

QString ApplyMetricsOption(const QString&, const QString& AValue, TCliRequest& AReq) {
    const qsizetype colon = AValue.lastIndexOf(':');
    const auto port = ParseWhole(AValue.mid(colon + 1), 0, 65535);
    if (!port) return "--metrics: ADDRESS:PORT, the port a number from 0 to 65535";
    const QString host = colon < 0 ? QString() : AValue.left(colon);
    QString address = "127.0.0.1";
    if (!host.isEmpty() && host != "localhost") {
        const auto octets = ParseIPv4(host.toStdString());
        if (!octets)
            return "--metrics: " + host +
                   " is not a valid IPv4 address (four decimal numbers 0 to 255)";
        address = QString::fromStdString(FormatIPv4(*octets));
    }
    TMetricsAddress* target = nullptr;
    if (auto* watch = AReq.If<TWatchOptions>()) target = &watch->Metrics;
    if (auto* scpi = AReq.If<TServeScpiOptions>()) target = &scpi->Metrics;
    if (auto* mqtt = AReq.If<TServeMqttOptions>()) target = &mqtt->Metrics;
    if (!target) return "--metrics does not apply to " + AReq.Command;
    target->Host = address;
    target->Port = static_cast<uint16_t>(*port);
    return {};
}

TMetricsAddress MetricsAddress(const TCliRequest& AReq) {
    if (const auto* watch = AReq.If<TWatchOptions>()) return watch->Metrics;
    if (const auto* scpi = AReq.If<TServeScpiOptions>()) return scpi->Metrics;
    if (const auto* mqtt = AReq.If<TServeMqttOptions>()) return mqtt->Metrics;
    return {};
}

QString MqttName(const TCliRequest& AReq) {
    const auto* mqtt = AReq.If<TServeMqttOptions>();
    if (mqtt && !mqtt->Name.isEmpty()) return mqtt->Name;
    if (AReq.Link.Tcp()) return AReq.Link.TcpHost + "-" + QString::number(AReq.Link.TcpPort);
    return QFileInfo(AReq.Link.Port).fileName();
}

QString MqttPrefix(const TCliRequest& AReq) {
    const QString& prefix = AReq.Of<TServeMqttOptions>().Prefix;
    return prefix.isEmpty() ? "benchlord/" + MqttName(AReq) : prefix;
}
