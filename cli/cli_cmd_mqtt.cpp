// serve-mqtt: the session's events and what is published (the class is described in
// mqtt_bridge.h).

#include <QDateTime>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/cli_format.h"
#include "cli/cli_messages.h"
#include "cli/cli_mqtt_args.h"
#include "cli/cli_runner.h"
#include "cli/mqtt_bridge.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "tools/core/readings_csv.h"

namespace {

// Seconds between two publications of the link figures.
constexpr int kLinkEveryMs = 5000;

QByteArray Json(const TFields& AFields) {
    return JsonObject(AFields).toUtf8();
}

}  // namespace

TMqttBridge::TMqttBridge(TCliContext& AContext) : TCliCommand(AContext), fMetrics(AContext) {
    fMetrics.fExtra = [this](TMetricsText& AOut, const TMetricLabels& ALabels) {
        ExtraMetrics(AOut, ALabels);
    };
    fBound.setSingleShot(true);
    QObject::connect(&fBound, &QTimer::timeout, [this] { Refuse("no reply from the supply"); });
    QObject::connect(&fLinkTimer, &QTimer::timeout, [this] { PublishLink(); });
}

TMqttBridge::~TMqttBridge() {
    fPresets.reset();
}

bool TMqttBridge::TakesKeyLock() const {
    const TServeMqttOptions& r = fCtx.Request().Of<TServeMqttOptions>();
    return r.AllowControl || r.OffOnExit;
}

bool TMqttBridge::SwitchOffAtEnd() const {
    return fCtx.Request().Of<TServeMqttOptions>().OffOnExit;
}

// The broker's options and the password are taken before the supply is touched; the broker
// itself may come later (it is tried again until it answers).
QString TMqttBridge::Prepare() {
    const TCliRequest& r = fCtx.Request();
    const TServeMqttOptions& m = r.Of<TServeMqttOptions>();
    fTopics.Prefix = MqttPrefix(r);
    TMqttOptions o;
    o.Host = m.BrokerHost;
    o.Port = m.BrokerPort;
    o.ClientId = m.ClientId.isEmpty() ? "benchlord-" + MqttName(r) : m.ClientId;
    o.User = m.User;
    if (!m.PasswordFile.isEmpty()) {
        const TInputFile file = ReadInputFile(m.PasswordFile);
        if (!file.Error.isEmpty()) return file.Error;
        // The first line, without its line end.
        o.Password = file.Content.split('\n').value(0);
        if (o.Password.endsWith('\r')) o.Password.chop(1);
        if (o.User.isEmpty()) return "--password-file needs --user";
    }
    o.KeepaliveSeconds = m.KeepaliveSeconds;
    o.CaFile = m.CaFile;
    o.CaPath = m.CaPath;
    o.CertFile = m.CertFile;
    o.KeyFile = m.KeyFile;
    o.TlsInsecure = m.TlsInsecure;
    if ((!m.CertFile.isEmpty() || !m.KeyFile.isEmpty() || m.TlsInsecure) && m.CaFile.isEmpty() &&
        m.CaPath.isEmpty())
        return "--cert, --key and --tls-insecure need --cafile or --capath";
    // The TLS files are checked as every input file is, so that a missing one is named.
    for (const QString& path : {m.CaFile, m.CertFile, m.KeyFile}) {
        if (path.isEmpty()) continue;
        const TInputFile file = ReadInputFile(path);
        if (!file.Error.isEmpty()) return file.Error;
    }
    o.Will = {fTopics.Availability(), "offline", true};
    o.RetryFirstMs = fCtx.Config().MqttRetryFirstMs;
    o.RetryMaxMs = fCtx.Config().MqttRetryMaxMs;
    if (m.Rate)
        fMinGapMs = static_cast<int64_t>(1000'000 / std::max<uint64_t>(ToUnits(*m.Rate, 3), 1));

    if (!fMetrics.Open()) return {};
    fClient = std::make_unique<TMqttClient>(o);
    fClient->fOnConnected = [this] { BrokerUp(); };
    fClient->fOnDisconnected = [this](const QString& AReason) { BrokerDown(AReason); };
    fClient->fOnMessage = [this](const QString& ATopic, const QByteArray& APayload) {
        Message(ATopic, APayload);
    };
    const QString error = fClient->Start();
    if (!error.isEmpty()) return error;
    fCtx.Print("publishing to the MQTT broker " + o.Host + ":" + QString::number(o.Port) +
               " under " + fTopics.Prefix + (m.AllowControl ? " (control allowed)" : "") + "\n");
    return {};
}

void TMqttBridge::SessionCreated() {
    fPresets = std::make_unique<TPresetLogic>(fCtx.Core(), fPresetView);
    fConfirm.emplace(fCtx.Core(), [this] { return fCtx.Timeouts(); });
}

void TMqttBridge::Started() {
    fReady = false;
    fLastNote.clear();
    fCtx.Print("connected to the " + ModelName(fCtx.Core()) + " (Ctrl-C ends)\n");
    // A link lost later comes back by itself, as in the window with autoconnect on.
    fCtx.Core().AutoConnectSwitchClick(true);
    fLinkTimer.start(kLinkEveryMs);
}

void TMqttBridge::SessionLost() {
    fReady = false;
    fMetrics.SetUp(false);
    fCtx.Print("connection to the supply lost; reconnecting\n");
    PublishAvailability();
    if (fWait != wNone) Refuse("connection to the supply lost");
}

void TMqttBridge::Stopping() {
    fLinkTimer.stop();
    fMetrics.Close();
    fQueue.clear();
    if (fClient) {
        // A clean disconnect sends no last will: offline is said here.
        fReady = false;
        PublishAvailability();
        fClient->Stop();
    }
    fCtx.Print("readings: " + QString::number(fReadings) + ", published " +
               QString::number(fPublished) + ", dropped while the broker was away " +
               QString::number(fDropped) + "\n");
}

void TMqttBridge::Note(const QString& AText) {
    const QString text = AText.simplified();
    if (text != fLastNote) fCtx.Warn(text);
    fLastNote = text;
    // A failed reconnect switches the window's autoconnect off; a bridge goes on trying.
    QMetaObject::invokeMethod(
        &fBound,
        [this] {
            TSessionCore& core = fCtx.Core();
            if (!core.Connected() && !core.AutoConnect()) core.AutoConnectSwitchClick(true);
        },
        Qt::QueuedConnection);
}

void TMqttBridge::Refused(int32_t ACode) {
    if (fWait != wNone) Refuse(ResultEnglish(ACode));
}

bool TMqttBridge::Live() const {
    return fReady && fCtx.Core().Connected();
}

void TMqttBridge::LiveReading() {
    ++fReadings;
    if (!fReady) {
        fReady = true;
        fMetrics.SetUp(true);
        PublishAvailability();
        PublishDiscovery();
    }
    PublishState(false);
    PublishReading();
    if (fWait == wSetting)
        fConfirm->LiveReading();
    else if (fWait == wSettle)
        Succeed("M" + QString::number(fCtx.Core().Data().MEM));
}

void TMqttBridge::PublishReading() {
    if (fMinGapMs > 0 && fSincePublished.isValid() && fSincePublished.elapsed() < fMinGapMs) {
        ++fSkipped;
        return;
    }
    TSessionCore& core = fCtx.Core();
    TFields fields{StringField(
        "time", CsvTimestamp(QDateTime::fromMSecsSinceEpoch(core.LastReading().TimeMs)))};
    for (TField& f : ReadingFields(core))
        fields.push_back(std::move(f));
    if (!fClient || fClient->Publish(fTopics.Reading(), Json(fields)) != TMqttClient::msSent) {
        ++fDropped;
        return;
    }
    ++fPublished;
    fSincePublished.start();
}

void TMqttBridge::Publish(const QString& ATopic, const QByteArray& APayload, bool ARetain) {
    // Retained topics are published afresh at each connect: nothing is lost by a drop here.
    if (fClient) fClient->Publish(ATopic, APayload, ARetain, ARetain ? 1 : 0);
}

void TMqttBridge::PublishAvailability() {
    Publish(fTopics.Availability(), Live() ? "online" : "offline", true);
}

void TMqttBridge::PublishState(bool AForce) {
    if (!Live()) return;
    TSessionCore& core = fCtx.Core();
    const TCurrentSet& d = core.Data();
    const int amps = fCtx.Core().Limits().CurrentDecimals();
    TFields f{StringField("model", ModelName(core)),
              StringField("firmware", QString::number((d.VERSION & 0xFFF) / 10.0, 'f', 1)),
              StringField("name", MqttName(fCtx.Request())),
              NumberField("max_voltage", FormatUnits(fCtx.Core().Limits().MaxUset, 2), "V"),
              NumberField("max_current", FormatUnits(fCtx.Core().Limits().MaxIset, amps), "A"),
              NumberField("limit_voltage", FormatUnits(VoltageCap(), 2), "V"),
              NumberField("limit_current", FormatUnits(CurrentCap(), amps), "A"),
              BoolField("control", fCtx.Request().Of<TServeMqttOptions>().AllowControl)};
    for (TField& field : SetValueFields(core))
        f.push_back(std::move(field));
    f.push_back(BoolField("output", d.ONOFF != 0));
    f.push_back(StringField("mode", d.CVCC == 1 ? "CC" : "CV"));
    f.push_back(StringField("protect", ProtectionName(d.PROTECT)));
    f.push_back(NumberField("preset", QString::number(d.MEM), {}));
    const QByteArray state = Json(f);
    if (!AForce && state == fLastState) return;
    if (fClient && fClient->Publish(fTopics.State(), state, true, 1) == TMqttClient::msSent)
        fLastState = state;
}

void TMqttBridge::PublishDiscovery() {
    if (!Live()) return;
    TSessionCore& core = fCtx.Core();
    TDiscoveryDevice device;
    device.Name = MqttName(fCtx.Request());
    device.Model = ModelName(core);
    device.Firmware = QString::number((core.Data().VERSION & 0xFFF) / 10.0, 'f', 1);
    device.CurrentDecimals = fCtx.Core().Limits().CurrentDecimals();
    device.MaxVoltage = VoltageCap() / 100.0;
    device.MaxCurrent = CurrentCap() / (device.CurrentDecimals == 3 ? 1000.0 : 100.0);
    device.Control = fCtx.Request().Of<TServeMqttOptions>().AllowControl;
    device.DiscoveryPrefix = fCtx.Request().Of<TServeMqttOptions>().DiscoveryPrefix;
    for (const auto& [topic, payload] : DiscoveryConfigs(fTopics, device))
        Publish(topic, payload, true);
}

void TMqttBridge::PublishLink() {
    if (!fClient || !fClient->Connected()) return;
    TFields f = LinkFields(fCtx.Core().LinkFigures());
    f.push_back(NumberField("readings", QString::number(fReadings), {}));
    f.push_back(NumberField("published", QString::number(fPublished), {}));
    f.push_back(NumberField("dropped", QString::number(fDropped), {}));
    Publish(fTopics.Link(), Json(f), false);
}

// The retained topics and the subscription are made afresh at each connect.
void TMqttBridge::BrokerUp() {
    fClient->Subscribe(fTopics.Commands());
    PublishAvailability();
    fLastState.clear();
    PublishState(true);
    PublishDiscovery();
    if (fBrokerWasUp)
        fCtx.Print("connection to the broker is back; " +
                   QString::number(fDropped - fDroppedAtLoss) +
                   " readings were dropped while it was away\n");
    else
        fCtx.Print("connected to the broker\n");
    fBrokerWasUp = true;
    fBrokerNoted = false;
}

void TMqttBridge::BrokerDown(const QString& AReason) {
    if (fBrokerNoted) return;
    fBrokerNoted = true;
    fDroppedAtLoss = fDropped;
    fCtx.Warn((fBrokerWasUp ? "connection to the broker lost: " : "cannot reach the broker: ") +
              AReason + "; trying again, readings are dropped until it is back");
}

void TMqttBridge::ExtraMetrics(TMetricsText& M, const TMetricLabels& L) const {
    M.Gauge("benchlord_mqtt_connected", "1 while the broker connection is up.", L,
            fClient && fClient->Connected() ? 1 : 0);
    M.Counter("benchlord_mqtt_readings_published_total", "Readings published.", L,
              static_cast<double>(fPublished));
    M.Counter("benchlord_mqtt_readings_dropped_total",
              "Readings not published because the broker was away or behind.", L,
              static_cast<double>(fDropped));
    M.Counter("benchlord_mqtt_commands_total", "Commands received.", L,
              static_cast<double>(fCommands));
    M.Counter("benchlord_mqtt_commands_refused_total", "Commands refused or failed.", L,
              static_cast<double>(fRefusedCommands));
}

std::unique_ptr<TCliCommand> MakeMqttCommand(TCliContext& AContext) {
    return std::make_unique<TMqttBridge>(AContext);
}
