// serve-mqtt: commands from the broker (the class is described in mqtt_bridge.h).

#include <algorithm>

#include "cli/cli_format.h"
#include "cli/cli_output.h"
#include "cli/cli_runner.h"
#include "cli/mqtt_bridge.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"

namespace {

constexpr uint32_t kMinUset = 10;  // 0.10 V
constexpr uint32_t kMinIset = 1;   // one unit of the model's current
// Commands waiting behind the one being carried out; more are refused, so that a client that
// floods the topic cannot make the bridge's memory grow.
constexpr size_t kMaxQueued = 32;

// A setting that was not confirmed: a silent supply, or what it did not do.
QString FailureText(TSettingConfirm::TOutcome AOutcome, const QString& ANotTaken) {
    return AOutcome == TSettingConfirm::TOutcome::NoReply
               ? QStringLiteral("no reply from the supply")
               : ANotTaken;
}

}  // namespace

uint32_t TMqttBridge::VoltageCap() const {
    const auto& cap = fCtx.Request().Of<TServeMqttOptions>().MaxVoltage;
    const uint32_t model = fCtx.Core().Limits().MaxUset;
    return cap ? static_cast<uint32_t>(std::min<uint64_t>(ToUnits(*cap, 2), model)) : model;
}

uint32_t TMqttBridge::CurrentCap() const {
    const auto& cap = fCtx.Request().Of<TServeMqttOptions>().MaxCurrent;
    const uint32_t model = fCtx.Core().Limits().MaxIset;
    return cap ? static_cast<uint32_t>(std::min<uint64_t>(
                     ToUnits(*cap, fCtx.Core().Limits().CurrentDecimals()), model))
               : model;
}

void TMqttBridge::Message(const QString& ATopic, const QByteArray& APayload) {
    const QString name = fTopics.CommandOf(ATopic);
    if (name.isEmpty()) return;
    ++fCommands;
    const TCommand command{name, QString::fromUtf8(APayload).trimmed()};
    if (!fCtx.Request().Of<TServeMqttOptions>().AllowControl) {
        ++fRefusedCommands;
        Answer(command, false, "control is not allowed (serve-mqtt --allow-control)");
        return;
    }
    if (fQueue.size() >= kMaxQueued) {
        ++fRefusedCommands;
        Answer(command, false, "too many commands waiting");
        return;
    }
    fQueue.push_back(command);
    if (fWait == wNone && !fCurrent) Next();
}

void TMqttBridge::Next() {
    while (fWait == wNone && !fQueue.empty()) {
        fCurrent = fQueue.front();
        fQueue.pop_front();
        Execute(*fCurrent);
    }
}

void TMqttBridge::Execute(const TCommand& C) {
    if (C.Name != "voltage" && C.Name != "current" && C.Name != "output" && C.Name != "preset") {
        Refuse("unknown command " + C.Name + " (voltage, current, output, preset)");
        return;
    }
    if (!Live()) {
        Refuse("no connection to the supply");
        return;
    }
    if (C.Name == "voltage" || C.Name == "current")
        SetPoint(C, C.Name == "voltage");
    else if (C.Name == "output")
        Switch(C);
    else
        Preset(C);
}

void TMqttBridge::SetPoint(const TCommand& C, bool AVolt) {
    TSessionCore& core = fCtx.Core();
    const int decimals = AVolt ? 2 : fCtx.Core().Limits().CurrentDecimals();
    const QString unit = AVolt ? "V" : "A";
    const auto value = ParseDecimal(C.Value);
    if (!value) {
        Refuse(IsNegativeDecimal(C.Value) ? C.Name + " " + C.Value + ": out of range"
                                          : C.Name + ": not a number: " + C.Value);
        return;
    }
    const uint32_t model = AVolt ? fCtx.Core().Limits().MaxUset : fCtx.Core().Limits().MaxIset;
    uint32_t units = 0;
    QString why = CheckRange(C.Name, *value, decimals, AVolt ? kMinUset : kMinIset, model, unit,
                             ModelName(core), units);
    const uint32_t cap = AVolt ? VoltageCap() : CurrentCap();
    if (why.isEmpty() && units > cap)
        why = C.Name + " " + value->Text + ": above the bridge's limit of " +
              FormatUnits(cap, decimals) + " " + unit +
              (AVolt ? " (--max-voltage)" : " (--max-current)");
    if (!why.isEmpty()) {
        Refuse(why);
        return;
    }
    if (AVolt && core.Data().MEM >= 10) {
        Refuse("the voltage comes from the selected charge profile C" +
               QString::number(core.Data().MEM - 10));
        return;
    }
    StartWait(wSetting);
    const auto end = [this, AVolt](TSettingConfirm::TOutcome AOutcome) {
        const TCurrentSet& d = fCtx.Core().Data();
        if (AOutcome == TSettingConfirm::TOutcome::Done)
            Succeed(AVolt ? FormatUnits(d.USET, 2)
                          : FormatUnits(d.ISET, fCtx.Core().Limits().CurrentDecimals()));
        else
            Refuse(FailureText(AOutcome, "the supply did not take the value"));
    };
    if (AVolt)
        fConfirm->SetPoints(units, std::nullopt, end);
    else
        fConfirm->SetPoints(std::nullopt, units, end);
}

void TMqttBridge::Switch(const TCommand& C) {
    const QString v = C.Value.toUpper();
    bool on = false;
    if (v == "ON" || v == "1" || v == "TRUE")
        on = true;
    else if (v != "OFF" && v != "0" && v != "FALSE") {
        Refuse("output: ON or OFF, not " + C.Value);
        return;
    }
    const QString state = on ? "ON" : "OFF";
    if ((fCtx.Core().Data().ONOFF != 0) == on) {
        Succeed(state);
        return;
    }
    StartWait(wSetting);
    fConfirm->Switch(on, [this, on, state](TSettingConfirm::TOutcome AOutcome) {
        if (AOutcome == TSettingConfirm::TOutcome::Done)
            Succeed(state);
        else
            Refuse(
                FailureText(AOutcome, QString("the output did not switch ") + (on ? "on" : "off")));
    });
}

// A preset's set points are read first: one above the bridge's limits is refused, as a set
// point would be.
void TMqttBridge::Preset(const TCommand& C) {
    QString text = C.Value.toUpper();
    if (text.startsWith('M')) text.remove(0, 1);
    const auto num = ParseWhole(text, 0, 9);
    if (!num) {
        Refuse("preset: a number from 0 to 9 (M0 to M9), not " + C.Value);
        return;
    }
    const auto n = static_cast<uint32_t>(*num);
    StartWait(wPreset);
    const uint64_t id = fWaitId;
    const QString why = fPresets->ReadBlock(n, [this, id, n](bool AOk, const TMemorySet& ABlock) {
        if (fWait != wPreset || fWaitId != id) return;
        if (!AOk) {
            Refuse("the preset could not be read");
            return;
        }
        const int amps = fCtx.Core().Limits().CurrentDecimals();
        if (ABlock.USET > VoltageCap() || ABlock.ISET > CurrentCap()) {
            Refuse("preset M" + QString::number(n) + " holds " + FormatUnits(ABlock.USET, 2) +
                   " V, " + FormatUnits(ABlock.ISET, amps) + " A: above the bridge's limits of " +
                   FormatUnits(VoltageCap(), 2) + " V, " + FormatUnits(CurrentCap(), amps) + " A");
            return;
        }
        const QString refused = fPresets->SelectPreset(n, [this, id](bool ADone) {
            if (fWait != wPreset || fWaitId != id) return;
            if (ADone)
                fWait = wSettle;  // the preset's values show in the next reading
            else
                Refuse("the preset could not be selected");
        });
        if (!refused.isEmpty()) Refuse(refused);
    });
    if (!why.isEmpty()) Refuse(why);
}

void TMqttBridge::JobServed(TCliJob AJob) {
    if (const auto job = SettingJobOf(AJob); job && fWait == wSetting) fConfirm->JobServed(*job);
}

void TMqttBridge::SetValuesShown() {
    if (fWait == wSetting) fConfirm->SetValuesShown();
}

void TMqttBridge::StartWait(TWait AWait) {
    fWait = AWait;
    ++fWaitId;
    // Every step takes a few requests; a link that stops answering ends the session within
    // three time-outs, so this bound only catches what nothing else ends.
    fBound.start(static_cast<int>(8 * fCtx.Config().Timings.ResponseTimeout + 1000));
}

void TMqttBridge::Succeed(const QString& AWhat) {
    Finish(true, AWhat);
}

void TMqttBridge::Refuse(const QString& AWhy) {
    ++fRefusedCommands;
    Finish(false, AWhy);
}

// The end of the command being carried out; the next one starts from the event loop, not from
// inside the session's reply handling that ended this one.
void TMqttBridge::Finish(bool AOk, const QString& AText) {
    fWait = wNone;
    if (fConfirm) fConfirm->Cancel();
    fBound.stop();
    if (fCurrent) Answer(*fCurrent, AOk, AText);
    fCurrent.reset();
    if (AOk) PublishState(false);
    QMetaObject::invokeMethod(
        &fBound, [this] { Next(); }, Qt::QueuedConnection);
}

void TMqttBridge::Answer(const TCommand& ACommand, bool AOk, const QString& AText) {
    const TFields f{StringField("command", ACommand.Name), StringField("value", ACommand.Value),
                    BoolField("ok", AOk), StringField(AOk ? "result" : "error", AText)};
    if (fClient) fClient->Publish(fTopics.Result(), JsonObject(f).toUtf8(), false, 1);
    fCtx.Print("command " + ACommand.Name + " " + ACommand.Value + ": " +
               (AOk ? AText : "refused: " + AText) + "\n");
}
