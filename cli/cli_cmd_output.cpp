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

namespace {

class TSetCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

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
        if (fState != sWaiting) return;
        TSessionCore& core = fCtx.Core();
        const uint32_t mem = core.Data().MEM;
        if (fCtx.Request().Of<TSetOptions>().Voltage && mem >= 10) {
            fCtx.Fail(ceUsage, "The set voltage comes from the selected charge profile C" +
                                   QString::number(mem - 10) + ".");
            return;
        }
        fState = sWriting;
        fTimeoutsBefore = fCtx.Timeouts();
        if (fCtx.Request().Of<TSetOptions>().Voltage) core.UsetIndChange(fUset);
        if (fCtx.Request().Of<TSetOptions>().Current) core.IsetIndChange(fIset);
    }

    void JobServed(TCliJob AJob) override {
        if (AJob == cjWriteSetData && fState == sWriting) {
            // Served after the write's reply, so it reads what the supply took.
            fState = sReadRequested;
            fCtx.Core().TaskMgr().ReadSetData();
        } else if (AJob == cjReadSetData && fState == sReadRequested) {
            fState = sReading;
        }
    }

    void SetValuesShown() override {
        if (fState != sReading) return;
        fState = sDone;
        const TCurrentSet& d = fCtx.Core().Data();
        const bool took = (!fCtx.Request().Of<TSetOptions>().Voltage || d.USET == fUset) &&
                          (!fCtx.Request().Of<TSetOptions>().Current || d.ISET == fIset);
        if (took) {
            fCtx.PrintFields(SetValueFields(fCtx.Core()));
            fCtx.Done();
        } else if (fCtx.Timeouts() > fTimeoutsBefore) {
            fCtx.Fail(ceLink, ResultText(MBTransportError(cerNoAnswer)));
        } else {
            fCtx.Fail(ceRefused, "The supply did not take the set values.");
        }
    }

private:
    enum { sWaiting, sWriting, sReadRequested, sReading, sDone } fState = sWaiting;
    uint32_t fUset = 0;
    uint32_t fIset = 0;
    int fTimeoutsBefore = 0;
};

// Switches with the on/off button's handler; the device's next reading confirms.
class TSwitchCommand : public TCliCommand {
public:
    TSwitchCommand(TCliContext& AContext, bool AOn) : TCliCommand(AContext), fOn(AOn) {}

    void LiveReading() override {
        TSessionCore& core = fCtx.Core();
        const bool isOn = core.Data().ONOFF != 0;
        if (fState == sWaiting) {
            if (isOn == fOn) {
                Report();
                return;
            }
            fState = sSwitching;
            fTimeoutsBefore = fCtx.Timeouts();
            // The button toggles the program's view of the output; should that view already be
            // the wanted state, toggle twice so that the job writes the wanted state.
            if (core.PowerOn() == fOn) core.OnOffBtnClick();
            core.OnOffBtnClick();
            return;
        }
        if (fState != sConfirming) return;
        if (isOn == fOn) {
            Report();
        } else if (fCtx.Timeouts() > fTimeoutsBefore) {
            fCtx.Fail(ceLink, ResultText(MBTransportError(cerNoAnswer)));
        } else {
            const QString protect = ProtectLabel(core.Data().PROTECT);
            fCtx.Fail(ceRefused, QString("The output did not switch ") + (fOn ? "on" : "off") +
                                     (protect.isEmpty() ? "." : " (" + protect + ")."));
        }
    }

    void JobServed(TCliJob AJob) override {
        // The next reading is taken after the write's reply.
        if (AJob == cjWriteOnOff && fState == sSwitching) fState = sConfirming;
    }

private:
    void Report() {
        fState = sDone;
        fCtx.PrintFields(OutputFields(fCtx.Core()));
        fCtx.Done();
    }

    const bool fOn;
    enum { sWaiting, sSwitching, sConfirming, sDone } fState = sWaiting;
    int fTimeoutsBefore = 0;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeSetCommand(TCliContext& AContext) {
    return std::make_unique<TSetCommand>(AContext);
}
std::unique_ptr<TCliCommand> MakeSwitchCommand(TCliContext& AContext, bool AOn) {
    return std::make_unique<TSwitchCommand>(AContext, AOn);
}
