#include "cli/cli_format.h"

#include <QDateTime>

#include "device/firmware_version.h"
#include "device/register_codec.h"
#include "session/link_figures.h"
#include "session/session_core.h"
#include "session/typed_values.h"
#include "session/value_format.h"
#include "tools/core/readings_csv.h"

namespace {

QString Volts(uint32_t AValue) {
    return FormatUnits(AValue, 2);
}
QString Amps(uint32_t AValue, int ADecimals) {
    return FormatUnits(AValue, ADecimals);
}

QString PresetName(uint32_t ANum) {
    return (ANum < 10 ? "M" : "C") + QString::number(ANum % 10);
}

}  // namespace

QString VersionClassName(TVersion AVersion) {
    static const char* const kNames[] = {"ver_18", "ver_36", "ver_40", "ver_4Z", "ver_42",
                                         "ver_43", "ver_45", "ver_46", "ver_New"};
    const auto i = static_cast<size_t>(AVersion);
    return i < std::size(kNames) ? kNames[i] : "ver_18";
}

QString ProtectLabel(uint32_t ACode) {
    return ACode == 0 ? QString() : ProtectionName(ACode);
}

TFields InfoFields(TSessionCore& ACore) {
    const TCurrentSet& d = ACore.Data();
    const TModelLimits& l = ACore.Limits();
    return {
        NumberField("model", QString::number(d.MODEL), {}),
        StringField("version", QString::fromStdString(VersionText(d.VERSION))),
        StringField("class", VersionClassName(ACore.Model().Version)),
        StringField("prefix", QString::fromStdString(l.ModelName)),
        StringField("title", ACore.Title()),
        NumberField("max_voltage", Volts(l.MaxUset), "V"),
        NumberField("max_current", Amps(l.MaxIset, l.CurrentDecimals()), "A"),
        NumberField("max_power", FormatUnits(l.MaxPower, 1), "W"),
    };
}

TFields SetValueFields(TSessionCore& ACore) {
    const TCurrentSet& d = ACore.Data();
    const int amps = ACore.Limits().CurrentDecimals();
    return {NumberField("uset", Volts(d.USET), "V"), NumberField("iset", Amps(d.ISET, amps), "A")};
}

TFields OutputFields(TSessionCore& ACore) {
    return {BoolField("output", ACore.Data().ONOFF != 0)};
}

TFields ReadingFields(TSessionCore& ACore) {
    const TCurrentSet& d = ACore.Data();
    const TModel& m = ACore.Model();
    TFields f = SetValueFields(ACore);
    f.push_back(NumberField("uout", Volts(d.UOUT), "V"));
    f.push_back(NumberField("iout", Amps(d.IOUT, ACore.Limits().CurrentDecimals()), "A"));
    f.push_back(NumberField("power", FormatUnits(d.POWER, 2), "W"));
    f.push_back(NumberField("uin", Volts(d.UIN), "V"));
    f.push_back(StringField("mode", d.CVCC == 1 ? "CC" : "CV"));
    f.push_back(StringField("protect", ProtectionName(d.PROTECT)));
    f.push_back(BoolField("output", d.ONOFF != 0));
    f.push_back(BoolField("lock", d.LOCK != 0));
    if (m.Temp)
        f.push_back(NumberField("temperature", QString::number(d.TMP), "C"));
    else
        f.push_back(NullField("temperature"));
    if (m.Counters) {
        f.push_back(NumberField("time_s", QString::number(TimeCounter(d)), "s"));
        f.push_back(NumberField("charge_ah", FormatUnits(ChargeCounter(d), 2), "Ah"));
        f.push_back(NumberField("energy_wh", FormatUnits(EnergyCounter(d), 2), "Wh"));
    } else {
        f.push_back(NullField("time_s"));
        f.push_back(NullField("charge_ah"));
        f.push_back(NullField("energy_wh"));
    }
    return f;
}

TFields WatchFields(const TReadingRow& ARow, int ACurrentDecimals) {
    return {StringField("time", CsvTimestamp(ARow.Time)),
            NumberField("uset", Volts(ARow.Uset), "V"),
            NumberField("iset", Amps(ARow.Iset, ACurrentDecimals), "A"),
            NumberField("uout", Volts(ARow.Uout), "V"),
            NumberField("iout", Amps(ARow.Iout, ACurrentDecimals), "A"),
            NumberField("power", FormatUnits(ARow.Power, 2), "W"),
            NumberField("uin", Volts(ARow.Uin), "V"),
            StringField("mode", ARow.ConstantCurrent ? "CC" : "CV"),
            StringField("protect", ProtectionName(ARow.Protect)),
            BoolField("output", ARow.Output)};
}

TFields LinkFields(const TLinkFigures& F) {
    const auto count = [](const QString& AKey, uint64_t AValue) {
        return NumberField(AKey, QString::number(AValue), {});
    };
    const auto ms = [&](const QString& AKey, double AValue) {
        return F.HaveRoundTrip ? NumberField(AKey, QString::number(AValue, 'f', 1), "ms")
                               : NullField(AKey);
    };
    return {
        NumberField("requests_per_s", QString::number(F.RequestsPerSecond, 'f', 1), "/s"),
        ms("rtt_median_ms", F.RoundTripMedianMs),
        ms("rtt_p99_ms", F.RoundTripP99Ms),
        count("requests", F.Requests),
        count("good_replies", F.GoodReplies),
        count("timeouts", F.Timeouts),
        count("crc_errors", F.ChecksumErrors),
        count("length_errors", F.LengthErrors),
        count("exceptions", F.ExceptionReplies),
        count("other_errors", F.OtherErrors),
        count("reconnects", F.Reconnects),
        F.SinceGoodMs < 0 ? NullField("since_good_ms")
                          : NumberField("since_good_ms", QString::number(F.SinceGoodMs), "ms"),
    };
}

QString LinkSummary(const TLinkFigures& F) {
    QStringList parts;
    for (const TField& field : LinkFields(F))
        parts << field.Key + " " + (field.Json == "null" ? QStringLiteral("-") : field.Json);
    return "link: " + parts.join(", ");
}

TFields PresetFields(uint32_t ANum, const TMemorySet& ABlock, bool ASelected, TVersion AVersion,
                     int ACurrentDecimals) {
    TFields f{
        NumberField("number", QString::number(ANum), {}),
        StringField("name", PresetName(ANum)),
        BoolField("selected", ASelected, "yes", "no"),
        NumberField("voltage", Volts(ABlock.USET), "V"),
        NumberField("current", Amps(ABlock.ISET, ACurrentDecimals), "A"),
        NumberField("ovp", Volts(ABlock.SOVP), "V"),
        NumberField("ocp", Amps(ABlock.SOCP, ACurrentDecimals), "A"),
        NumberField("opp", FormatUnits(ABlock.SOPP, 1), "W"),
        StringField("timer", FormatHoursMinutes(ABlock.OTIM)),
        BoolField("default_on_start", (ABlock.PRFS & 1) != 0, "yes", "no"),
        BoolField("power_on_start", ABlock.SINI != 0, "yes", "no"),
    };
    if (AVersion >= ver_45) {
        f.push_back(BoolField("ovp_trigger", (ABlock.PRFS & 2) != 0, "yes", "no"));
        f.push_back(BoolField("ocp_trigger", (ABlock.PRFS & 4) != 0, "yes", "no"));
    }
    return f;
}
