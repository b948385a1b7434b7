#pragma once
// serve-mqtt: one supply on an MQTT broker (the topic tree is in bridges/mqtt_topics.h). Each
// reading is published (all of them, or at most --rate per second), the state that changes
// seldom is published retained when it changes, availability is online while readings are live
// and offline otherwise (the last will says offline when the bridge dies), the link figures go
// out every few seconds, and Home Assistant discovery configs are published at each connect.
//
// With --allow-control, commands on PREFIX/set/... run one at a time in the order they came,
// each to its end (written, read back and confirmed), checked against the model's limits and
// the bridge's --max-voltage / --max-current before anything is written; each is answered on
// PREFIX/result. Without it every command is refused there. The broker going away loses no
// supply state: readings made meanwhile are dropped and counted, the retained topics are
// published afresh when it is back; the supply going away shows as offline while the session's
// autoconnect brings it back.
//
// cli_cmd_mqtt.cpp: the session's events and what is published; mqtt_control.cpp: commands.

#include <QElapsedTimer>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

#include "bridges/mqtt_client.h"
#include "bridges/mqtt_topics.h"
#include "cli/cli_command.h"
#include "cli/cli_metrics.h"
#include "session/preset_view.h"

class TPresetLogic;
struct TMemorySet;

class TMqttBridge : public TCliCommand {
public:
    explicit TMqttBridge(TCliContext& AContext);
    ~TMqttBridge() override;

    bool KeepsServing() const override { return true; }
    bool InterruptIsSuccess() const override { return true; }
    bool TakesKeyLock() const override;
    bool SwitchOffAtEnd() const override;
    QString Prepare() override;
    void SessionCreated() override;
    void Started() override;
    void SessionLost() override;
    void Stopping() override;
    void Note(const QString& AText) override;
    void Refused(int32_t ACode) override;
    void LiveReading() override;
    void JobServed(TCliJob AJob) override;
    void SetValuesShown() override;

private:
    struct TCommand {
        QString Name;  // voltage, current, output, preset
        QString Value;
    };
    enum TWait {
        wNone,
        wSetting,  // a set point or the output switch, confirmed through fConfirm
        wPreset,
        wSettle
    };

    // --- cli_cmd_mqtt.cpp ---
    void BrokerUp();
    void BrokerDown(const QString& AReason);
    void Publish(const QString& ATopic, const QByteArray& APayload, bool ARetain);
    void PublishAvailability();
    void PublishState(bool AForce);
    void PublishDiscovery();
    void PublishLink();
    void PublishReading();
    bool Live() const;
    void ExtraMetrics(TMetricsText& AOut, const TMetricLabels& ALabels) const;

    // --- mqtt_control.cpp ---
    void Message(const QString& ATopic, const QByteArray& APayload);
    void Next();
    void Execute(const TCommand& ACommand);
    void SetPoint(const TCommand& ACommand, bool AVolt);
    void Switch(const TCommand& ACommand);
    void Preset(const TCommand& ACommand);
    void StartWait(TWait AWait);
    void Succeed(const QString& AWhat);
    void Refuse(const QString& AWhy);
    void Finish(bool AOk, const QString& AText);
    void Answer(const TCommand& ACommand, bool AOk, const QString& AText);
    // The highest set point a command may ask for: the model's, or the bridge's cap below it.
    uint32_t VoltageCap() const;
    uint32_t CurrentCap() const;

    TMqttTopics fTopics;
    std::unique_ptr<TMqttClient> fClient;
    TCliMetrics fMetrics;
    TNullPresetView fPresetView;
    std::unique_ptr<TPresetLogic> fPresets;
    QTimer fLinkTimer;
    QTimer fBound;
    QElapsedTimer fSincePublished;
    int64_t fMinGapMs = 0;  // from --rate

    bool fReady = false;  // the session's first reading has come
    bool fBrokerWasUp = false;
    bool fBrokerNoted = false;  // the broker's absence was said
    QString fLastNote;
    QByteArray fLastState;   // the retained state last published
    uint64_t fReadings = 0;  // readings of the supply
    uint64_t fPublished = 0;
    uint64_t fDropped = 0;        // readings the broker could not take
    uint64_t fDroppedAtLoss = 0;  // fDropped when the broker went away
    uint64_t fSkipped = 0;        // readings left out by --rate
    uint64_t fCommands = 0;
    uint64_t fRefusedCommands = 0;

    std::deque<TCommand> fQueue;
    std::optional<TCommand> fCurrent;
    TWait fWait = wNone;
    uint64_t fWaitId = 0;
    std::optional<TSettingConfirm> fConfirm;
};
