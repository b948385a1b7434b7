#include "bridges/session_metrics.h"

#include "session/session_core.h"
#include "tools/core/readings_csv.h"

TMetricLabels SupplyLabels(const QString& AModel, const QString& ALink, const QString& AName) {
    return {{"model", AModel}, {"link", ALink}, {"name", AName}};
}

namespace {

// Protection codes of the supply, by name (the state set of benchlord_protection).
constexpr uint32_t kProtectionCodes = 12;

void AddReading(TMetricsText& M, TSessionCore& ACore, const TMetricLabels& L) {
    const TCurrentSet& d = ACore.Data();
    const double amps = ACore.Limits().CurrentDiv == 10 ? 1000.0 : 100.0;
    M.Gauge("benchlord_output_voltage_volts", "Measured output voltage.", L, d.UOUT / 100.0);
    M.Gauge("benchlord_output_current_amps", "Measured output current.", L, d.IOUT / amps);
    M.Gauge("benchlord_output_power_watts", "Output power.", L, d.POWER / 100.0);
    M.Gauge("benchlord_input_voltage_volts", "Input voltage.", L, d.UIN / 100.0);
    M.Gauge("benchlord_set_voltage_volts", "Voltage set point.", L, d.USET / 100.0);
    M.Gauge("benchlord_set_current_amps", "Current set point.", L, d.ISET / amps);
    M.Gauge("benchlord_max_voltage_volts", "Highest voltage set point of the model.", L,
            ACore.Limits().MaxUset / 100.0);
    M.Gauge("benchlord_max_current_amps", "Highest current set point of the model.", L,
            ACore.Limits().MaxIset / amps);
    M.Gauge("benchlord_output_on", "1 while the output is on.", L, d.ONOFF != 0 ? 1 : 0);
    for (const char* mode : {"CV", "CC"}) {
        TMetricLabels labels = L;
        labels.emplace_back("mode", mode);
        M.Gauge("benchlord_mode", "Regulation mode: 1 for the one in force (CV or CC).", labels,
                (d.CVCC == 1) == (QString(mode) == "CC") ? 1 : 0);
    }
    for (uint32_t code = 0; code < kProtectionCodes; ++code) {
        TMetricLabels labels = L;
        labels.emplace_back("protection", ProtectionName(code));
        M.Gauge("benchlord_protection",
                "Protection state: 1 for the one in force (none when none).", labels,
                d.PROTECT == code ? 1 : 0);
    }
    if (ACore.Model().Temp)
        M.Gauge("benchlord_temperature_celsius", "Internal temperature.", L, d.TMP);
}

}  // namespace

void AddSessionMetrics(TMetricsText& M, TSessionCore& ACore, bool AUp, const TMetricLabels& L) {
    M.Gauge("benchlord_up", "1 while the supply answers and its readings are live.", L,
            AUp ? 1 : 0);
    if (AUp) AddReading(M, ACore, L);

    const TLinkFigures f = ACore.LinkFigures();
    const auto count = [&](const char* AName, const char* AHelp, uint64_t AValue) {
        M.Counter(AName, AHelp, L, static_cast<double>(AValue));
    };
    count("benchlord_requests_total", "Modbus requests completed.", f.Requests);
    count("benchlord_good_replies_total", "Valid replies.", f.GoodReplies);
    count("benchlord_timeouts_total", "Requests without a whole reply in time.", f.Timeouts);
    count("benchlord_checksum_errors_total", "Replies with a wrong checksum.", f.ChecksumErrors);
    count("benchlord_length_errors_total", "Replies shorter than their frame.", f.LengthErrors);
    count("benchlord_exception_replies_total", "Exception replies of the supply.",
          f.ExceptionReplies);
    count("benchlord_other_errors_total", "Requests not sent or answered out of step.",
          f.OtherErrors);
    count("benchlord_reconnects_total", "Times the link was lost and came back.", f.Reconnects);
    M.Gauge("benchlord_requests_per_second", "Completed requests per second over the last minute.",
            L, f.RequestsPerSecond);

    std::vector<double> bounds;
    for (int64_t us : TLinkFigures::kRoundTripBoundsUs)
        bounds.push_back(static_cast<double>(us) / 1e6);
    const std::vector<uint64_t> counts(f.RoundTripBuckets.begin(), f.RoundTripBuckets.end());
    M.Histogram("benchlord_round_trip_seconds",
                "Round trip of a request, from its last byte out to the reply's last byte in.", L,
                bounds, counts, static_cast<double>(f.RoundTripSumUs) / 1e6);
}
