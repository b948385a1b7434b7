// preset list, show, select and save, through the session's preset logic (the same block
// operations, scheduler jobs and firmware-class rules as the window's "Profile" panel).

#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_messages.h"
#include "link/connector_texts.h"
#include "link/modbus_errors.h"
#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "session/value_format.h"

namespace {

class TPresetCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    ~TPresetCommand() override { fPresets.reset(); }

    // list and show only read.
    bool TakesKeyLock() const override {
        const TPresetAction action = fCtx.Request().Of<TPresetOptions>().Action;
        return action != paList && action != paShow;
    }

    void SessionCreated() override {
        fPresets = std::make_unique<TPresetLogic>(fCtx.Core(), fView);
    }

    QString CheckLimits() override {
        const TPresetOptions& r = fCtx.Request().Of<TPresetOptions>();
        if (r.Action != paSave) return {};
        const QString model = ModelName(fCtx.Core());
        const int cur = fCtx.Core().Limits().CurrentDecimals();
        auto range = [this](int ATag) { return EditorRange(ATag, fCtx.Core().Limits()); };
        const struct {
            const char* Option;
            const std::optional<TDecimal>& Value;
            int Decimals;
            int Tag;
            const char* Unit;
            std::optional<uint32_t>& Units;
        } checks[] = {
            {"--voltage", r.Voltage, 2, peUset, "V", fValues.Uset},
            {"--current", r.Current, cur, peIset, "A", fValues.Iset},
            {"--ovp", r.Ovp, 2, peOvp, "V", fValues.Ovp},
            {"--ocp", r.Ocp, cur, peOcp, "A", fValues.Ocp},
            {"--opp", r.Opp, 1, peOpp, "W", fValues.Opp},
        };
        for (const auto& c : checks) {
            const TEditorRange limits = range(c.Tag);
            const QString error = CheckOptionalRange(c.Option, c.Value, c.Decimals, limits.Min,
                                                     limits.Max, c.Unit, model, c.Units);
            if (!error.isEmpty()) return error;
        }
        if (r.TimerMinutes) {
            const uint32_t max = range(peTimer).Max;
            if (*r.TimerMinutes > max)
                return "--timer " + FormatHoursMinutes(*r.TimerMinutes) +
                       ": out of range, 0:00 to " + FormatHoursMinutes(max);
            fValues.Timer = *r.TimerMinutes;
        }
        return {};
    }

    // The first reading comes after the start-up reads: the number of presets and the firmware
    // class are known.
    void LiveReading() override {
        if (fQuietWait) {
            // Every job the action left pending (the preset-saved command, the set values of a
            // preset that became live) was served before this reading.
            fCtx.Print(fResult);
            fCtx.Done();
            return;
        }
        if (fActed) return;
        fActed = true;
        const QString error = Act();
        if (!error.isEmpty()) fCtx.Fail(ceUsage, error);
    }

private:
    QString Act() {
        const TPresetOptions& r = fCtx.Request().Of<TPresetOptions>();
        const uint32_t num = r.Num;
        switch (r.Action) {
            case paList: {
                const uint32_t count = fPresets->PresetCount();
                fBlocks.assign(count, TMemorySet{});
                fLeft = count;
                for (uint32_t i = 0; i < count; ++i) {
                    const QString error = fPresets->ReadBlock(
                        i,
                        [this, i](bool AOk, const TMemorySet& ABlock) { Listed(i, AOk, ABlock); });
                    if (!error.isEmpty()) return error;
                }
                return {};
            }
            case paShow:
                return fPresets->ReadBlock(num, [this, num](bool AOk, const TMemorySet& ABlock) {
                    Report(AOk, num, ABlock);
                });
            case paSelect:
                return fPresets->SelectPreset(
                    num, [this, num](bool AOk) { Report(AOk, num, fCtx.Core().Memory()); });
            case paSave: {
                const QString error = fPresets->CheckValues(num, fValues);
                if (!error.isEmpty()) return error;
                return fPresets->SaveBlock(
                    num, fValues,
                    [this, num](bool AOk, const TMemorySet& ABlock) { Report(AOk, num, ABlock); });
            }
            case paNone:
                break;
        }
        return "preset: no action";
    }

    TFields Fields(uint32_t ANum, const TMemorySet& ABlock) {
        TSessionCore& core = fCtx.Core();
        return PresetFields(ANum, ABlock, core.Data().MEM == ANum, core.Model().Version,
                            core.Limits().CurrentDecimals());
    }

    void Report(bool AOk, uint32_t ANum, const TMemorySet& ABlock) {
        if (!AOk) {
            fCtx.Fail(ceLink, ResultText(MBTransportError(cerNoAnswer)));
            return;
        }
        const TFields f = Fields(ANum, ABlock);
        Finish(fCtx.Request().Json ? JsonObject(f) + "\n" : TextLines(f));
    }

    void Finish(const QString& AResult) {
        fResult = AResult;
        fQuietWait = true;
    }

    void Listed(uint32_t ANum, bool AOk, const TMemorySet& ABlock) {
        if (!AOk) {
            fCtx.Fail(ceLink, ResultText(MBTransportError(cerNoAnswer)));
            return;
        }
        fBlocks[ANum] = ABlock;
        if (--fLeft != 0) return;
        QStringList json;
        QString text;
        for (uint32_t i = 0; i < fBlocks.size(); ++i) {
            const TFields f = Fields(i, fBlocks[i]);
            json << JsonObject(f);
            // "M3*  voltage 5.00 V  current 1.00 A  ..." with a star at the selected preset.
            QString line = f[1].Text + (f[2].Json == "true" ? "*" : " ");
            for (size_t k = 3; k < f.size(); ++k)
                line += "  " + f[k].Key + " " + f[k].Text;
            text += line + "\n";
        }
        Finish(fCtx.Request().Json ? JsonArray(json) + "\n" : text);
    }

    TNullPresetView fView;
    std::unique_ptr<TPresetLogic> fPresets;
    TPresetValues fValues;
    bool fActed = false;
    bool fQuietWait = false;  // done; printing at the next reading
    QString fResult;
    std::vector<TMemorySet> fBlocks;
    uint32_t fLeft = 0;
};

}  // namespace

std::unique_ptr<TCliCommand> MakePresetCommand(TCliContext& AContext) {
    return std::make_unique<TPresetCommand>(AContext);
}
