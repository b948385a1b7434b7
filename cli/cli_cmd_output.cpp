// set, on and off: changing the output through the session's own handlers, so the writes go
// through the scheduler exactly as the window's knobs and on/off button send them.

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_messages.h"
#include "link/connector_texts.h"
#include "link/modbus_errors.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "session/typed_values.h"
#include "tools/core/setting_confirm.h"

namespace {

// set, on and off: one setting, confirmed by what the supply reports.
class TSettingCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

    void SessionCreated() override {
        fConfirm.emplace(fCtx.Core(), [this] { return fCtx.Timeouts(); });
    }
    void JobServed(TCliJob AJob) override {
        if (const auto job = SettingJobOf(AJob)) fConfirm->JobServed(*job);
    }
    void SetValuesShown() override { fConfirm->SetValuesShown(); }

protected:
    // A mismatch after an unanswered request is a silent supply, not a refusal.
    void FailWith(TSettingConfirm::TOutcome AOutcome, const QString& ARefused) {
        if (AOutcome == TSettingConfirm::TOutcome::NoReply)
            fCtx.Fail(ceLink, ResultText(MBTransportError(cerNoAnswer)));
        else
            fCtx.Fail(ceRefused, ARefused);
    }

    std::optional<TSettingConfirm> fConfirm;
    bool fStarted = false;
};

class TSetCommand : public TSettingCommand {
public:
    using TSettingCommand::TSettingCommand;

    QString CheckLimits() override {
        const TSetOptions& r = fCtx.Request().Of<TSetOptions>();
        const QString model = ModelName(fCtx.Core());
        QString error;
        if (r.Voltage)
            error = CheckRange("--voltage", *r.Voltage, 2, 10, fCtx.Core().Limits().MaxUset, "V",
                               model, fUset);
        if (error.isEmpty() && r.Current)
            error = CheckRange("--current", *r.Current, fCtx.Core().Limits().CurrentDecimals(), 1,
                               fCtx.Core().Limits().MaxIset, "A", model, fIset);
        return error;
    }

    void LiveReading() override {
        if (fStarted) return;
        fStarted = true;
        const TSetOptions& r = fCtx.Request().Of<TSetOptions>();
        const uint32_t mem = fCtx.Core().Data().MEM;
        if (r.Voltage && mem >= 10) {
            fCtx.Fail(ceUsage, "The set voltage comes from the selected charge profile C" +
                                   QString::number(mem - 10) + ".");
            return;
        }
        fConfirm->SetPoints(r.Voltage ? std::optional(fUset) : std::nullopt,
                            r.Current ? std::optional(fIset) : std::nullopt,
                            [this](TSettingConfirm::TOutcome AOutcome) {
                                if (AOutcome != TSettingConfirm::TOutcome::Done) {
                                    FailWith(AOutcome, "The supply did not take the set values.");
                                    return;
                                }
                                fCtx.PrintFields(SetValueFields(fCtx.Core()));
                                fCtx.Done();
                            });
    }

private:
    uint32_t fUset = 0;
    uint32_t fIset = 0;
};

// Switches with the on/off button's handler; the device's next reading confirms.
class TSwitchCommand : public TSettingCommand {
public:
    TSwitchCommand(TCliContext& AContext, bool AOn) : TSettingCommand(AContext), fOn(AOn) {}

    void LiveReading() override {
        if (fStarted) {
            fConfirm->LiveReading();
            return;
        }
        fStarted = true;
        if ((fCtx.Core().Data().ONOFF != 0) == fOn) {
            Report();
            return;
        }
        fConfirm->Switch(fOn, [this](TSettingConfirm::TOutcome AOutcome) {
            if (AOutcome == TSettingConfirm::TOutcome::Done) {
                Report();
                return;
            }
            const QString protect = ProtectLabel(fCtx.Core().Data().PROTECT);
            FailWith(AOutcome, QString("The output did not switch ") + (fOn ? "on" : "off") +
                                   (protect.isEmpty() ? "." : " (" + protect + ")."));
        });
    }

private:
    void Report() {
        fCtx.PrintFields(OutputFields(fCtx.Core()));
        fCtx.Done();
    }

    const bool fOn;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeSetCommand(TCliContext& AContext) {
    return std::make_unique<TSetCommand>(AContext);
}
std::unique_ptr<TCliCommand> MakeSwitchCommand(TCliContext& AContext, bool AOn) {
    return std::make_unique<TSwitchCommand>(AContext, AOn);
}
