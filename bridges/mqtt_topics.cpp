#include "bridges/mqtt_topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString TMqttTopics::CommandOf(const QString& ATopic) const {
    const QString base = Prefix + "/set/";
    if (!ATopic.startsWith(base)) return {};
    const QString rest = ATopic.mid(base.size());
    return rest.contains('/') ? QString() : rest;
}

QString DiscoveryNodeId(const QString& AName) {
    QString id = "benchlord_";
    for (const QChar c : AName)
        id += (c.isLetterOrNumber() && c.unicode() < 128) || c == '_' || c == '-' ? c : QChar('_');
    return id;
}

namespace {

struct TEntity {
    QString Component;
    QString Object;
    QJsonObject Config;
};

}  // namespace

std::vector<std::pair<QString, QByteArray>> DiscoveryConfigs(const TMqttTopics& T,
                                                             const TDiscoveryDevice& D) {
    const QString node = DiscoveryNodeId(D.Name);
    const QJsonObject device{{"identifiers", QJsonArray{node}},
                             {"name", D.Name},
                             {"model", D.Model},
                             {"sw_version", D.Firmware},
                             {"manufacturer", "Benchlord bridge"}};
    const auto base = [&](const QString& AObject, const QString& AName) {
        return QJsonObject{{"name", AName},
                           {"unique_id", node + "_" + AObject},
                           {"object_id", node + "_" + AObject},
                           {"availability_topic", T.Availability()},
                           {"device", device}};
    };
    const auto sensor = [&](const QString& AKey, const QString& AName, const QString& AUnit,
                            const QString& AClass) {
        QJsonObject c = base(AKey, AName);
        c["state_topic"] = T.Reading();
        c["value_template"] = "{{ value_json." + AKey + " }}";
        c["unit_of_measurement"] = AUnit;
        c["device_class"] = AClass;
        c["state_class"] = "measurement";
        return TEntity{"sensor", AKey, c};
    };
    std::vector<TEntity> entities{
        sensor("uout", "Output voltage", "V", "voltage"),
        sensor("iout", "Output current", "A", "current"),
        sensor("power", "Output power", "W", "power"),
    };
    const QString outputState = "{{ 'ON' if value_json.output else 'OFF' }}";
    QJsonObject output = base("output", "Output");
    output["state_topic"] = T.State();
    output["value_template"] = outputState;
    output["payload_on"] = "ON";
    output["payload_off"] = "OFF";
    std::vector<TEntity> removed;
    if (D.Control) {
        QJsonObject sw = output;
        sw["command_topic"] = T.Prefix + "/set/output";
        sw["state_on"] = "ON";
        sw["state_off"] = "OFF";
        entities.push_back({"switch", "output", sw});
        removed.push_back({"binary_sensor", "output", {}});
        const auto number = [&](const QString& AKey, const QString& AName, const QString& AWhat,
                                double AMax, double AStep, const QString& AUnit) {
            QJsonObject c = base(AKey, AName);
            c["state_topic"] = T.State();
            c["value_template"] = "{{ value_json." + AKey + " }}";
            c["command_topic"] = T.Prefix + "/set/" + AWhat;
            c["min"] = 0;
            c["max"] = AMax;
            c["step"] = AStep;
            c["mode"] = "box";
            c["unit_of_measurement"] = AUnit;
            return TEntity{"number", AKey, c};
        };
        entities.push_back(number("uset", "Set voltage", "voltage", D.MaxVoltage, 0.01, "V"));
        entities.push_back(number("iset", "Set current", "current", D.MaxCurrent,
                                  D.CurrentDecimals == 3 ? 0.001 : 0.01, "A"));
    } else {
        entities.push_back({"binary_sensor", "output", output});
        removed.push_back({"switch", "output", {}});
        removed.push_back({"number", "uset", {}});
        removed.push_back({"number", "iset", {}});
    }
    std::vector<std::pair<QString, QByteArray>> out;
    const auto topic = [&](const TEntity& E) {
        return D.DiscoveryPrefix + "/" + E.Component + "/" + node + "/" + E.Object + "/config";
    };
    for (const TEntity& e : entities)
        out.emplace_back(topic(e), QJsonDocument(e.Config).toJson(QJsonDocument::Compact));
    for (const TEntity& e : removed)
        out.emplace_back(topic(e), QByteArray());
    return out;
}
