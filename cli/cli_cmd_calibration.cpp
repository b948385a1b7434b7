// calibration: the supply's seven calibration values, read only, so that a user can record them
// before and after a calibration.

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "device/register_codec.h"
#include "session/event_chain.h"
#include "session/session_core.h"
#include "session/typed_values.h"

namespace {

// Keys of the seven points in block order; voltages 0.001 V, currents 0.001 A (0.0001 A on
// models whose current scale is 10), the temperature in whole degrees Celsius.
struct TCalibKey {
    const char* Key;
    const char* Unit;
};
constexpr TCalibKey kKeys[7] = {
    {"uin_low", "V"},  {"uin_high", "V"},  {"uout_low", "V"},  {"uout_high", "V"},
    {"iout_low", "A"}, {"iout_high", "A"}, {"temp_high", "C"},
};

TFields CalibrationFields(const TCalibData& AData, uint32_t ACurrentDiv) {
    TFields fields;
    for (uint16_t i = 1; i <= 7; ++i) {
        const TCalibKey& k = kKeys[i - 1];
        const uint32_t value = CalibPoint(AData, i)->Value;
        const QString unit = QString::fromLatin1(k.Unit);
        int decimals = 3;
        if (unit == "C") decimals = 0;
        if (unit == "A" && ACurrentDiv == 10) decimals = 4;
        fields.push_back(
            NumberField(QString::fromLatin1(k.Key), FormatUnits(value, decimals), unit));
    }
    return fields;
}

class TCalibrationCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    bool TakesKeyLock() const override { return false; }

    void SessionCreated() override {
        ChainEvent<>(fCtx.Core().fOnCalibRead, fAlive, [this] {
            if (!fRequested || fDone) return;
            fDone = true;
            fCtx.PrintFields(
                CalibrationFields(fCtx.Core().Calib(), fCtx.Core().Limits().CurrentDiv));
            fCtx.Done();
        });
    }

    void LiveReading() override {
        if (fRequested) return;
        fRequested = true;
        const TModel& m = fCtx.Core().Model();
        // Stock firmware keeps no calibration block, and KORAD units offer no calibration.
        if (m.Version == ver_18 || m.Korad) {
            fCtx.Fail(ceUsage, "This unit offers no calibration values");
            return;
        }
        fCtx.Core().DoReadCalibData();
    }

private:
    TAliveToken fAlive = MakeAliveToken();
    bool fRequested = false;
    bool fDone = false;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeCalibrationCommand(TCliContext& AContext) {
    return std::make_unique<TCalibrationCommand>(AContext);
}
