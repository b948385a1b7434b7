#pragma once
// The topic tree of one supply under its prefix, and the Home Assistant discovery configs that
// make it appear there by itself:
//
//   PREFIX/availability   online | offline (retained; offline is also the last will)
//   PREFIX/reading        each reading, JSON
//   PREFIX/state          model, limits, set points, output, mode, protection (retained, JSON)
//   PREFIX/link           link figures every few seconds, JSON
//   PREFIX/set/voltage    commands: a number in V, A; ON/OFF; a preset 0-9
//   PREFIX/set/current
//   PREFIX/set/output
//   PREFIX/set/preset
//   PREFIX/result         the outcome or refusal of each command, JSON
//   DISCOVERY/<component>/<node>/<object>/config   (retained)

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

struct TMqttTopics {
    QString Prefix;
    QString Availability() const { return Prefix + "/availability"; }
    QString Reading() const { return Prefix + "/reading"; }
    QString State() const { return Prefix + "/state"; }
    QString Link() const { return Prefix + "/link"; }
    QString Result() const { return Prefix + "/result"; }
    QString Commands() const { return Prefix + "/set/+"; }
    // "voltage" for PREFIX/set/voltage; empty for any other topic.
    QString CommandOf(const QString& ATopic) const;
};

struct TDiscoveryDevice {
    QString Name;   // the bridge's name
    QString Model;  // "DPS5015"
    QString Firmware;
    double MaxVoltage = 0;  // the highest set points a command may ask for
    double MaxCurrent = 0;
    int CurrentDecimals = 2;
    bool Control = false;  // a switch and numbers, else a binary sensor for the output
    QString DiscoveryPrefix = "homeassistant";
};

// "bench-3" -> "benchlord_bench-3": a node id of letters, digits, '_' and '-'.
QString DiscoveryNodeId(const QString& AName);

// (topic, retained payload) pairs; an empty payload removes an entity of the other kind (a
// switch left by an earlier run with control).
std::vector<std::pair<QString, QByteArray>> DiscoveryConfigs(const TMqttTopics& ATopics,
                                                             const TDiscoveryDevice& ADevice);
