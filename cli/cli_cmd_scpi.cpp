// serve-scpi: a SCPI server in front of the session. Commands run one at a time, in the order
// they came, each to its end (a setting is written, read back and confirmed before the next
// command starts), so a query after a setting sees it. An error drops the rest of its line, so
// "VOLT 99;OUTP ON" never switches on with the old voltage. Values are checked against the
// model before anything is written. While the link is lost every query answers with the link
// error and settings are refused; the session's autoconnect brings the link back, and the output
// state is only ever what the supply last reported.

#include <QHostAddress>
#include <QTimer>
#include <deque>

#include "cli/cli_checks.h"
#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_messages.h"
#include "cli/cli_runner.h"
#include "cli/scpi_error_queue.h"
#include "cli/scpi_parser.h"
#include "cli/scpi_server.h"
#include "session/firmware_version.h"
#include "session/model_limits.h"
#include "session/preset_view.h"
#include "session/presets.h"
#include "session/session_core.h"

namespace {

// Bits of STATus:QUEStionable:CONDition?.
enum : uint32_t { kQuesOvp = 1, kQuesOcp = 2, kQuesOpp = 4, kQuesOtp = 8, kQuesCC = 16 };

// Protection codes of the supply's PROTECT register.
enum : uint32_t { kProtectOvp = 1, kProtectOcp = 2, kProtectOpp = 3, kProtectOtp = 5 };

class TScpiCommand : public TCliCommand {
public:
    explicit TScpiCommand(TCliContext& AContext) : TCliCommand(AContext) {
        fBound.setSingleShot(true);
        QObject::connect(&fBound, &QTimer::timeout, &fServer,
                         [this] { FailWait(seDevice, "no reply from the supply"); });
        fServer.fOnLine = [this](const QString& ALine) { LineArrived(ALine); };
        fServer.fOnOverlong = [this] { fErrors.Push(seCommand, "line too long"); };
        fServer.fOnConnected = [this](const QString& APeer) {
            fCtx.Print("client " + APeer + " connected\n");
        };
        fServer.fOnDisconnected = [this](const QString& APeer) {
            fCtx.Print("client " + APeer + " left\n");
        };
        fServer.fOnRefused = [this](const QString& APeer) {
            fCtx.Print("client " + APeer + " refused: another client is connected\n");
        };
    }
    ~TScpiCommand() override { fPresets.reset(); }

    bool KeepsServing() const override { return true; }
    bool InterruptIsSuccess() const override { return true; }
    bool SwitchOffAtEnd() const override { return fCtx.Request().OffOnExit; }

    // The address is taken before the supply is touched: a busy port ends the run at once.
    QString Prepare() override {
        const TCliRequest& r = fCtx.Request();
        const QHostAddress address(r.ListenHost);
        QString error;
        if (!fServer.Listen(address, r.ListenPort, error)) {
            fCtx.Fail(ceLocalIO, "cannot listen on " + r.ListenHost + ":" +
                                     QString::number(r.ListenPort) + ": " + error);
            return {};
        }
        if (!address.isLoopback())
            fCtx.Warn("listening on " + Where() +
                      ": anyone who can reach this address can switch the output");
        return {};
    }

    void SessionCreated() override {
        fPresets = std::make_unique<TPresetLogic>(fCtx.Core(), fPresetView);
    }

    void Started() override {
        fReady = false;
        if (!fAnnounced) {
            fAnnounced = true;
            fCtx.Print("serving SCPI on " + Where() + " for the " + ModelName(fCtx.Core()) +
                       " (Ctrl-C ends)\n");
        } else {
            fCtx.Print(fWait == wConnect ? "keys locked: the bridge has control\n"
                                         : "connection to the supply is back\n");
        }
        fLastNote.clear();
        // A link lost later comes back by itself, as in the window with autoconnect on.
        fCtx.Core().AutoConnectSwitchClick(true);
    }

    void SessionLost() override {
        fReady = false;
        if (fHeldLine) {
            fHeldLine = false;
            fLineOpen = true;
            PostContinue();
        }
        if (fLocal) return;
        fCtx.Print("connection to the supply lost; reconnecting\n");
        if (fWait != wNone && fWait != wConnect)
            FailWait(seDevice, "connection to the supply lost");
    }

    // Nothing more is taken once the run ends (the keys are being released).
    void Stopping() override { fServer.Close(); }

    void Note(const QString& AText) override {
        // Each retry repeats its message: it is shown once, until another one comes.
        const QString text = AText.simplified();
        if (text != fLastNote) fCtx.Warn(text);
        fLastNote = text;
        if (fWait == wConnect) FailWait(seDevice, text);
        // A failed reconnect switches the window's autoconnect off (so that its message box
        // does not come back); a server has no box and goes on trying.
        QMetaObject::invokeMethod(
            &fServer,
            [this] {
                TSessionCore& core = fCtx.Core();
                if (!fLocal && !core.Connected() && !core.AutoConnect())
                    core.AutoConnectSwitchClick(true);
            },
            Qt::QueuedConnection);
    }

    void Refused(int32_t ACode) override {
        if (fWait != wNone)
            FailWait(seExecution, ResultText(ACode));
        else
            fErrors.Push(seExecution, ResultText(ACode));
    }

    void LiveReading() override {
        if (!fReady) {
            fReady = true;
            if (fWait == wConnect) EndWait();
            if (fHeldLine) {
                fHeldLine = false;
                StartLine();
            }
            return;
        }
        const TCurrentSet& d = fCtx.Core().Data();
        switch (fWait) {
            case wMeasure:
                fReplies << MeasuredValue();
                EndWait();
                break;
            case wSwitchConfirm:
                if ((d.ONOFF != 0) == fWantOn)
                    EndWait();
                else if (fCtx.Timeouts() > fTimeoutsBefore)
                    FailWait(seDevice, "no reply from the supply");
                else
                    FailWait(seExecution, QString("the output did not switch ") +
                                              (fWantOn ? "on" : "off") + ProtectNote());
                break;
            case wSettle:
                EndWait();
                break;
            default:
                break;
        }
    }

    void JobServed(TCliJob AJob) override {
        if (AJob == cjWriteSetData && fWait == wSetWrite) {
            // Served after the write's reply, so it reads what the supply took.
            fWait = wSetReadRequested;
            fCtx.Core().TaskMgr().ReadSetData();
        } else if (AJob == cjReadSetData && fWait == wSetReadRequested) {
            fWait = wSetRead;
        } else if (AJob == cjWriteOnOff && fWait == wSwitch) {
            fWait = wSwitchConfirm;
        }
    }

    void SetValuesShown() override {
        if (fWait != wSetRead) return;
        const TCurrentSet& d = fCtx.Core().Data();
        if ((!fWantU || d.USET == *fWantU) && (!fWantI || d.ISET == *fWantI))
            EndWait();
        else if (fCtx.Timeouts() > fTimeoutsBefore)
            FailWait(seDevice, "no reply from the supply");
        else
            FailWait(seExecution, "the supply did not take the value");
    }

private:
    enum TWait {
        wNone,
        wSetWrite,
        wSetReadRequested,
        wSetRead,
        wSwitch,
        wSwitchConfirm,
        wMeasure,
        wRecall,
        wSettle,  // the next reading, after a preset became the live setting
        wConnect,
    };

    QString Where() const {
        return fServer.Address().toString() + ":" + QString::number(fServer.Port());
    }

    // A session whose readings are coming in.
    bool Up() { return fCtx.Core().Connected() && fReady; }

    void LineArrived(const QString& ALine) {
        fUnits.clear();
        for (const TScpiUnit& u : ParseScpiLine(ALine))
            fUnits.push_back(u);
        fReplies.clear();
        // Until the first reading of a (re)started session its state is not known yet.
        if (fCtx.Core().Connected() && !fReady) {
            fHeldLine = true;
            return;
        }
        StartLine();
    }

    void StartLine() {
        fLineOpen = true;
        Continue();
    }

    void Continue() {
        while (fWait == wNone && !fUnits.empty()) {
            const TScpiUnit unit = fUnits.front();
            fUnits.pop_front();
            Execute(unit);
        }
        if (fWait != wNone || !fLineOpen) return;
        fLineOpen = false;
        if (!fReplies.isEmpty()) fServer.Reply(fReplies.join(';'));
        fServer.LineDone();
    }

    // Queues the error and drops the rest of the line. Every fault of the command itself is
    // queued as -100 with its kind in the text ("-100,"Command error;undefined header: VOLTS 5"").
    void Error(int ACode, const QString& ADetail) {
        if (ACode < seCommand && ACode > seExecution)
            fErrors.Push(seCommand, ScpiErrorText(ACode).toLower() + ": " + ADetail);
        else
            fErrors.Push(ACode, ADetail);
        fUnits.clear();
    }

    // No session: a query answers with the error itself, so that a client waiting for a reply
    // gets one.
    void LinkError(const TScpiUnit& AUnit) {
        const QString detail = fLocal ? "the keys are released (SYST:LOCK ON takes control)"
                                      : "no connection to the supply";
        if (AUnit.Query) fReplies << TScpiErrorQueue::Entry(seDevice, detail);
        Error(seDevice, detail);
    }

    void Execute(const TScpiUnit& AUnit) {
        if (AUnit.Error != seNone) {
            Error(AUnit.Error, AUnit.Header + (AUnit.Arg.isEmpty() ? "" : " " + AUnit.Arg));
            return;
        }
        // Commands that do not need the supply.
        switch (AUnit.Cmd) {
            case TScpiCmd::Error:
                fReplies << fErrors.Pop();
                return;
            case TScpiCmd::Cls:
                fErrors.Clear();
                return;
            case TScpiCmd::Lock:
                if (AUnit.Query) break;
                Lock(AUnit);
                return;
            default:
                break;
        }
        if (AUnit.Cmd == TScpiCmd::Lock && fLocal) {
            fReplies << "0";
            return;
        }
        if (!Up()) {
            LinkError(AUnit);
            return;
        }
        TSessionCore& core = fCtx.Core();
        const TCurrentSet& d = core.Data();
        switch (AUnit.Cmd) {
            case TScpiCmd::Idn:
                fReplies << "Benchlord," + ModelName(core) + ",0," +
                                QString::fromStdString(VersionText(d.VERSION));
                return;
            case TScpiCmd::Opc:
                // Every earlier command has been carried out by now.
                if (AUnit.Query) fReplies << "1";
                return;
            case TScpiCmd::Lock:
                fReplies << "1";
                return;
            case TScpiCmd::Rst: {
                // Off first, then the lowest set points (the voltage stays with a selected
                // charge profile, which sets it).
                std::optional<uint32_t> u = kMinUset;
                if (d.MEM >= 10) u.reset();
                fThen = [this, u] { StartSet(u, kMinIset); };
                StartSwitch(false);
                return;
            }
            case TScpiCmd::Voltage:
            case TScpiCmd::Current:
                SetPoint(AUnit);
                return;
            case TScpiCmd::Output:
                if (AUnit.Query) {
                    fReplies << (d.ONOFF != 0 ? "1" : "0");
                } else if (const auto on = ParseScpiBool(AUnit.Arg)) {
                    StartSwitch(*on);
                } else {
                    Error(seDataType, AUnit.Header + " " + AUnit.Arg);
                }
                return;
            case TScpiCmd::MeasVolt:
            case TScpiCmd::MeasCurr:
            case TScpiCmd::MeasPow:
                // A fresh reading, taken after the command arrived.
                fMeasure = AUnit.Cmd;
                StartWait(wMeasure);
                return;
            case TScpiCmd::QuesCond:
                fReplies << QString::number(Questionable(d));
                return;
            case TScpiCmd::Recall:
                Recall(AUnit);
                return;
            default:
                return;
        }
    }

    void SetPoint(const TScpiUnit& AUnit) {
        TSessionCore& core = fCtx.Core();
        const TCurrentSet& d = core.Data();
        const bool volt = AUnit.Cmd == TScpiCmd::Voltage;
        const int decimals = volt ? 2 : CurrentDecimals();
        if (AUnit.Query) {
            fReplies << FormatUnits(volt ? d.USET : d.ISET, decimals);
            return;
        }
        int error = seNone;
        const auto number = ParseScpiNumber(AUnit.Arg, volt ? "V" : "A", error);
        if (!number) {
            Error(error, AUnit.Header + " " + AUnit.Arg);
            return;
        }
        const uint32_t min = volt ? kMinUset : kMinIset;
        const uint32_t max = volt ? gMaxUset() : gMaxIset();
        uint32_t units = number->Kind == TScpiNumber::Min ? min : max;
        if (number->Kind == TScpiNumber::Value) {
            const QString why = CheckRange(AUnit.Header, number->Decimal, decimals, min, max,
                                           volt ? "V" : "A", ModelName(core), units);
            if (!why.isEmpty()) {
                Error(seDataOutOfRange, why);
                return;
            }
        }
        if (volt && d.MEM >= 10) {
            Error(seSettingsConflict, "the voltage comes from the selected charge profile C" +
                                          QString::number(d.MEM - 10));
            return;
        }
        if (volt)
            StartSet(units, std::nullopt);
        else
            StartSet(std::nullopt, units);
    }

    void Recall(const TScpiUnit& AUnit) {
        const auto num = ParseWhole(AUnit.Arg.trimmed(), 0, 1000000);
        if (!num) {
            Error(seDataType, AUnit.Header + " " + AUnit.Arg);
            return;
        }
        if (*num > 9) {
            Error(seDataOutOfRange, AUnit.Header + " " + AUnit.Arg + ": presets M0 to M9");
            return;
        }
        StartWait(wRecall);
        const QString why = fPresets->SelectPreset(static_cast<uint32_t>(*num), [this](bool AOk) {
            if (fWait != wRecall) return;
            if (AOk)
                fWait = wSettle;  // the preset's values show in the next reading
            else
                FailWait(seDevice, "the preset could not be selected");
        });
        if (!why.isEmpty()) FailWait(seSettingsConflict, why);
    }

    void Lock(const TScpiUnit& AUnit) {
        const auto on = ParseScpiBool(AUnit.Arg);
        if (!on) {
            Error(seDataType, AUnit.Header + " " + AUnit.Arg);
            return;
        }
        TSessionCore& core = fCtx.Core();
        if (!*on) {
            if (fLocal) return;
            if (!Up()) {
                LinkError(AUnit);
                return;
            }
            // The front panel takes over: the keys are released and polling stops (the session
            // needs the keys locked), until SYST:LOCK ON.
            fLocal = true;
            core.AutoConnectSwitchClick(false);
            core.DisconnectBtnClick();
            fCtx.Print("keys released: the front panel has control\n");
            return;
        }
        if (!fLocal) return;
        fLocal = false;
        StartWait(wConnect);
        core.ConnectBtnClick();
    }

    void StartSet(std::optional<uint32_t> AU, std::optional<uint32_t> AI) {
        TSessionCore& core = fCtx.Core();
        fWantU = AU;
        fWantI = AI;
        fTimeoutsBefore = fCtx.Timeouts();
        StartWait(wSetWrite);
        if (AU) core.UsetIndChange(*AU);
        if (AI) core.IsetIndChange(*AI);
    }

    void StartSwitch(bool AOn) {
        TSessionCore& core = fCtx.Core();
        fWantOn = AOn;
        if ((core.Data().ONOFF != 0) == AOn) {
            if (fThen) EndWait();  // already so: the next step of *RST
            return;
        }
        fTimeoutsBefore = fCtx.Timeouts();
        StartWait(wSwitch);
        // The button toggles the program's view of the output; should that view already be
        // the wanted state, toggle twice so that the job writes the wanted state.
        if (core.PowerOn() == AOn) core.OnOffBtnClick();
        core.OnOffBtnClick();
    }

    void StartWait(TWait AWait) {
        fWait = AWait;
        // Every step takes a few requests; a link that stops answering ends the session within
        // three time-outs, so this bound only catches what nothing else ends.
        fBound.start(static_cast<int>(8 * fCtx.Config().Timings.ResponseTimeout + 1000));
    }

    void EndWait() {
        fWait = wNone;
        fBound.stop();
        if (fThen) {
            auto then = std::move(fThen);
            fThen = nullptr;
            then();
            if (fWait != wNone) return;
        }
        PostContinue();
    }

    void FailWait(int ACode, const QString& ADetail) {
        if (fWait == wNone) return;
        const bool query = fWait == wMeasure;
        fWait = wNone;
        fBound.stop();
        fThen = nullptr;
        if (query) fReplies << TScpiErrorQueue::Entry(ACode, ADetail);
        Error(ACode, ADetail);
        PostContinue();
    }

    // Not from inside the session's reply handling that ended the wait.
    void PostContinue() {
        QMetaObject::invokeMethod(
            &fServer, [this] { Continue(); }, Qt::QueuedConnection);
    }

    QString MeasuredValue() {
        const TCurrentSet& d = fCtx.Core().Data();
        switch (fMeasure) {
            case TScpiCmd::MeasVolt:
                return FormatUnits(d.UOUT, 2);
            case TScpiCmd::MeasCurr:
                return FormatUnits(d.IOUT, CurrentDecimals());
            default:
                return FormatUnits(d.POWER, 2);
        }
    }

    static uint32_t Questionable(const TCurrentSet& AData) {
        uint32_t bits = 0;
        switch (AData.PROTECT) {
            case kProtectOvp:
                bits |= kQuesOvp;
                break;
            case kProtectOcp:
                bits |= kQuesOcp;
                break;
            case kProtectOpp:
                bits |= kQuesOpp;
                break;
            case kProtectOtp:
                bits |= kQuesOtp;
                break;
            default:
                break;
        }
        if (AData.CVCC == 1) bits |= kQuesCC;
        return bits;
    }

    QString ProtectNote() {
        const QString protect = ProtectLabel(fCtx.Core().Data().PROTECT);
        return protect.isEmpty() ? QString() : " (" + protect + ")";
    }

    static constexpr uint32_t kMinUset = 10;  // 0.10 V
    static constexpr uint32_t kMinIset = 1;   // one unit of the model's current

    TScpiServer fServer;
    TScpiErrorQueue fErrors;
    TNullPresetView fPresetView;
    std::unique_ptr<TPresetLogic> fPresets;
    QTimer fBound;

    std::deque<TScpiUnit> fUnits;  // the rest of the line being carried out
    QStringList fReplies;
    bool fLineOpen = false;
    bool fHeldLine = false;  // a line waits for the first reading of the session
    bool fReady = false;     // the session's first reading has come
    bool fLocal = false;     // SYST:LOCK OFF: the front panel has control
    bool fAnnounced = false;
    QString fLastNote;  // the session's last message, shown once

    TWait fWait = wNone;
    std::function<void()> fThen;  // the next step of *RST
    std::optional<uint32_t> fWantU;
    std::optional<uint32_t> fWantI;
    bool fWantOn = false;
    TScpiCmd fMeasure = TScpiCmd::MeasVolt;
    int fTimeoutsBefore = 0;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeScpiCommand(TCliContext& AContext) {
    return std::make_unique<TScpiCommand>(AContext);
}
