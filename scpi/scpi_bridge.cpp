// serve-scpi: the session's events, the waits of a command, the client's lines and what each
// command does (the class is described in scpi_bridge.h).

#include "scpi/scpi_bridge.h"

#include <QHostAddress>
#include <algorithm>

#include "link/connector.h"
#include "link/modbus_master.h"
#include "link/tick_clock.h"

#include "device/firmware_version.h"
#include "device/register_map.h"
#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "session/typed_values.h"
#include "tools/core/readings_csv.h"

namespace {

// Protection codes of the supply's PROTECT register (over-heat is over-temperature).
enum : uint32_t { kProtectOvp = 1, kProtectOcp = 2, kProtectOpp = 3, kProtectOtp = 5 };
constexpr uint32_t kProtectOhp = kProtectOtp;

constexpr uint32_t kMinUset = 10;  // 0.10 V
constexpr uint32_t kMinIset = 1;   // one unit of the model's current
// SCPI's not-a-number: the answer of a numeric query whose value cannot be had.
const QString kNotANumber = "9.91E37";

QString Bit(bool AOn) {
    return AOn ? "1" : "0";
}

QString Text(const TScpiUnit& AUnit) {
    return AUnit.Header + (AUnit.Arg.isEmpty() ? "" : " " + AUnit.Arg);
}

}  // namespace

TScpiBridge::TScpiBridge(TScpiHost& AHost) : fHost(AHost) {
    fBound.setSingleShot(true);
    QObject::connect(&fBound, &QTimer::timeout, &fServer,
                     [this] { FailWait(seDevice, "no reply from the supply"); });
    fDeadline.setSingleShot(true);
    fDeadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fDeadline, &QTimer::timeout, &fServer, [this] { DeadlinePassed(); });
    fServer.fOnLine = [this](const QString& ALine, uint64_t AClient) {
        ClientLine(ALine, AClient);
    };
    fServer.fOnOverlong = [this](uint64_t AClient) {
        if (AClient != fClient) {
            fClient = AClient;
            NewClient();
        }
        Queue(seInputOverrun, "line too long");
    };
    fServer.fOnGone = [this] {
        // Nothing more of the gone client's line is carried out.
        fUnits.clear();
        fReplies.clear();
    };
    fServer.fOnUnterminated = [](const QString& AFragment) {
        // Never carried out: it may be the first half of a value ("VOLT 1" of "VOLT 12"). A query
        // among it is answered, so a client waiting for the reply learns why.
        return AFragment.contains('?')
                   ? TScpiErrorQueue::Entry(seQueryUnterminated, "no line end: " + AFragment)
                   : QString();
    };
    fServer.fOnEvent = [this](const QString& AText) { fHost.Print(AText + "\n"); };
}

TScpiBridge::~TScpiBridge() {
    fPresets.reset();
}

// The address is taken before the supply is touched: a busy port ends the run at once.
bool TScpiBridge::Listen(const QHostAddress& AAddress, quint16 APort, int AIdleTimeout,
                         QString& AError) {
    fServer.SetIdleTimeout(AIdleTimeout);
    if (!fServer.Listen(AAddress, APort, AError)) return false;
    if (!AAddress.isLoopback())
        fHost.Warn("listening on " + Where() +
                   ": anyone who can reach this address can switch the output");
    return true;
}

void TScpiBridge::SessionCreated() {
    fPresets = std::make_unique<TPresetLogic>(fHost.Core(), fPresetView);
    fConfirm.emplace(fHost.Core(), [this] { return fHost.Timeouts(); });
    // *TST? reads the identification back through the scheduler, in place of the debug value
    // that nothing here shows.
    TLN_TaskMgr& t = fHost.Core().TaskMgr();
    TTaskNotifyEvent debugRead = t.fOnReadDebugData;
    t.fOnReadDebugData = [this, debugRead](TLN_TaskMgr* ASender) {
        if (fTstWanted)
            ServeTst();
        else if (debugRead)
            debugRead(ASender);
    };
}

void TScpiBridge::Started() {
    fReady = false;
    if (!fAnnounced) {
        fAnnounced = true;
        fHost.Print("serving SCPI on " + Where() + " for the " + ModelName(fHost.Core()) +
                    " (Ctrl-C ends)\n");
    } else {
        fHost.Print(fWait == wConnect ? "keys locked: the bridge has control\n"
                                      : "connection to the supply is back\n");
    }
    fLastNote.clear();
    // A link lost later comes back by itself, as in the window with autoconnect on.
    fHost.Core().AutoConnectSwitchClick(true);
}

void TScpiBridge::SessionLost() {
    fReady = false;
    if (fHeldLine) {
        fHeldLine = false;
        fLineOpen = true;
        PostContinue();
    }
    if (fLocal) return;
    fHost.Print("connection to the supply lost; reconnecting\n");
    if (fWait != wNone && fWait != wConnect) FailWait(seDevice, "connection to the supply lost");
}

// Nothing more is taken once the run ends (the keys are being released).
// The person at the bench comes first: the session reads on as an observer, settings are refused
// and the keys are never locked again until a client asks for control (SYST:REM, SYST:LOCK ON).
void TScpiBridge::KeysReleased() {
    fObserving = true;
    fHost.Print("keys released at the supply: the bridge only reads until SYST:REM\n");
    fStatus.Conditions(OperCondition(), QuesCondition());
    if (fWait != wNone && !fQueryWait) FailWait(seCommandProtected, KeysReleasedText());
}

QString TScpiBridge::KeysReleasedText() {
    return "the keys were released at the supply; SYST:REM takes control back";
}

void TScpiBridge::Stopping() {
    fServer.Close();
}

void TScpiBridge::Note(const QString& AText) {
    // Each retry repeats its message: it is shown once, until another one comes.
    const QString text = AText.simplified();
    if (text != fLastNote) fHost.Warn(text);
    fLastNote = text;
    if (fWait == wConnect) FailWait(seDevice, text);
    // A failed reconnect switches the window's autoconnect off (so that its message box does
    // not come back); a server has no box and goes on trying.
    QMetaObject::invokeMethod(
        &fServer,
        [this] {
            TSessionCore& core = fHost.Core();
            if (!fLocal && !core.Connected() && !core.AutoConnect())
                core.AutoConnectSwitchClick(true);
        },
        Qt::QueuedConnection);
}

void TScpiBridge::Refused(const QString& AText) {
    if (fWait != wNone)
        FailWait(seExecution, AText);
    else
        Queue(seExecution, AText);
}

void TScpiBridge::LiveReading() {
    // When its request went out on the line (the link may hold a request back for the pause
    // after the previous exchange); the scheduler's request time when the link has none.
    const TKRConnector* link = fHost.Core().ModbusMaster().Connector();
    const int64_t sent = link != nullptr ? link->CompletingSentUs() : 0;
    fReadingSentUs = sent > 0 ? sent : fPollRequestedUs;
    fStatus.Conditions(OperCondition(), QuesCondition());
    if (!fReady) {
        fReady = true;
        if (fClient != 0) KeepIdentity();
        if (fWait == wConnect) EndWait();
        if (fHeldLine) {
            fHeldLine = false;
            StartLine();
        }
        return;
    }
    switch (fWait) {
        case wReading:
            if (Fresh()) {
                const TScpiUnit unit = fPending;
                fWait = wNone;
                fQueryWait = false;
                fBound.stop();
                Answer(unit);
                PostContinue();
            }
            break;
        case wSetting:
            fConfirm->LiveReading();
            break;
        case wSettle:
            EndWait();
            break;
        default:
            break;
    }
}

void TScpiBridge::JobServed(TScpiJob AJob) {
    if (AJob == TScpiJob::ReadData) {
        fPollRequestedUs = KRSteadyMicros();
    } else if (fWait == wSetting) {
        fConfirm->JobServed(AJob == TScpiJob::WriteSetData  ? TSettingJob::WriteSetData
                            : AJob == TScpiJob::ReadSetData ? TSettingJob::ReadSetData
                                                            : TSettingJob::WriteOnOff);
    }
}

void TScpiBridge::SetValuesShown() {
    if (fWait == wSetting) fConfirm->SetValuesShown();
}

// The end of a setting: the next step, or the failure in the queue (a silent supply is a device
// error, a value or a switch it did not take an execution error).
void TScpiBridge::SettingEnded(TSettingConfirm::TOutcome AOutcome, const QString& ANotTaken) {
    if (AOutcome == TSettingConfirm::TOutcome::Done)
        EndWait();
    else if (AOutcome == TSettingConfirm::TOutcome::NoReply)
        FailWait(seDevice, "no reply from the supply");
    else
        FailWait(seExecution, ANotTaken);
}

QString TScpiBridge::Where() const {
    return fServer.Address().toString() + ":" + QString::number(fServer.Port());
}

// A session whose readings are coming in.
bool TScpiBridge::Up() {
    return fHost.Core().Connected() && fReady;
}

void TScpiBridge::ClientLine(const QString& ALine, uint64_t AClient) {
    if (AClient != fClient) {
        fClient = AClient;
        NewClient();
    }
    fUnits.clear();
    for (const TScpiUnit& u : ParseScpiLine(ALine))
        fUnits.push_back(u);
    fReplies.clear();
    fLineLinkFailed = false;
    fLineFailCode = seNone;
    // Queries answer from readings requested from now on, and within the bound.
    fFreshSinceUs = KRSteadyMicros();
    if (std::any_of(fUnits.begin(), fUnits.end(), [](const TScpiUnit& AU) { return AU.Query; }))
        fDeadline.start(kAnswerWithinMs);
    // Until the first reading of a (re)started session its state is not known yet.
    if (fHost.Core().Connected() && !fReady) {
        fHeldLine = true;
        return;
    }
    StartLine();
}

// Each client starts with an empty error queue and clean status registers; the first one after
// the start also sees the power-on bit.
void TScpiBridge::NewClient() {
    fErrors.Clear();
    fStatus.Reset(!fPowerOnSeen);
    fPowerOnSeen = true;
    // The client's unit: the one identified now, or at the first reading to come.
    fIdentity.clear();
    if (Up()) KeepIdentity();
    // Conditions that hold already are no events of this client.
    if (Up()) {
        fStatus.Conditions(OperCondition(), QuesCondition());
        fStatus.TakeOperEvent();
        fStatus.TakeQuesEvent();
    }
}

// *IDN? and *TST? are about the unit the client connected to, until *RST or the next client.
void TScpiBridge::KeepIdentity() {
    if (!fIdentity.isEmpty()) return;
    TSessionCore& core = fHost.Core();
    const TCurrentSet& d = core.Data();
    fIdModel = d.MODEL;
    fIdVersion = d.VERSION;
    fIdentity =
        "Benchlord," + ModelName(core) + ",0," + QString::fromStdString(VersionText(d.VERSION));
}

void TScpiBridge::StartLine() {
    fLineOpen = true;
    Continue();
}

void TScpiBridge::Continue() {
    while (fWait == wNone && !fUnits.empty()) {
        const TScpiUnit unit = fUnits.front();
        fUnits.pop_front();
        Execute(unit);
    }
    if (fWait != wNone || !fLineOpen) return;
    fLineOpen = false;
    fDeadline.stop();
    if (!fReplies.isEmpty()) fServer.Reply(fReplies.join(';'));
    fServer.LineDone();
}

// Queues the error and drops the rest of the line.
void TScpiBridge::Error(int ACode, const QString& ADetail) {
    Queue(ACode, ADetail);
    fUnits.clear();
}

void TScpiBridge::Queue(int ACode, const QString& ADetail) {
    fStatus.ErrorQueued(ACode);
    if (!fErrors.Push(ACode, ADetail)) fStatus.ErrorQueued(seQueueOverflow);
}

// No session, or the line ran out of time: a query answers with its not-a-number value, so that
// a client waiting for a reply gets one, and the cause goes into the queue. The rest of the line
// is still gone through, each command refused the same way, so that every query of it gets its
// answer and no setting after it is carried out.
void TScpiBridge::Unavailable(const TScpiUnit& AUnit) {
    const bool late = fLineFailCode != seNone;
    if (AUnit.Query) fReplies << NotANumber(AUnit.Cmd);
    Queue(late ? fLineFailCode : seDevice, late ? fLineFailDetail : LinkReason());
    fLineLinkFailed = true;
}

QString TScpiBridge::LinkReason() const {
    if (fLocal) return "the keys are released (SYST:LOCK ON takes control)";
    return fLastNote.isEmpty() ? "no connection to the supply"
                               : "no connection to the supply: " + fLastNote;
}

// The line's time is up: what it waits for is given up, its queries answer at once.
void TScpiBridge::DeadlinePassed() {
    const bool up = Up();
    const int code = up ? seDataStale : seDevice;
    const QString detail = up ? "no reading from the supply within " +
                                    QString::number(kReplyBoundMs / 1000) + " s of the query"
                              : LinkReason();
    if (fHeldLine) {
        fHeldLine = false;
        fLineFailCode = code;
        fLineFailDetail = detail;
        fLineLinkFailed = true;
        StartLine();
        return;
    }
    FailWait(code, detail);
}

// What a query answers when its value cannot be had: the status registers what was seen last,
// *TST? a failed test, everything else SCPI's not-a-number.
QString TScpiBridge::NotANumber(TScpiCmd ACmd) {
    switch (ACmd) {
        case TScpiCmd::Stb:
        case TScpiCmd::OperEvent:
        case TScpiCmd::QuesEvent:
        case TScpiCmd::OperCond:
        case TScpiCmd::QuesCond:
            return StatusAnswer(ACmd);
        case TScpiCmd::MeasAll:
            return kNotANumber + "," + kNotANumber + "," + kNotANumber;
        case TScpiCmd::Apply:
            return kNotANumber + "," + kNotANumber;
        case TScpiCmd::Tst:
            return "1";
        default:
            return kNotANumber;
    }
}

void TScpiBridge::StartWait(TWait AWait) {
    fWait = AWait;
    ++fWaitId;
    // Every step takes a few requests; a link that stops answering ends the session within
    // three time-outs, so this bound only catches what nothing else ends.
    fBound.start(static_cast<int>(8 * fHost.Core().Timings().ResponseTimeout + 1000));
}

void TScpiBridge::EndWait() {
    fWait = wNone;
    if (fConfirm) fConfirm->Cancel();
    fQueryWait = false;
    fBound.stop();
    // A setting is done: queries after it answer from readings requested from now on.
    fFreshSinceUs = KRSteadyMicros();
    if (fThen) {
        auto then = std::move(fThen);
        fThen = nullptr;
        then();
        if (fWait != wNone) return;
    }
    PostContinue();
}

// A query whose wait fails is answered with its not-a-number value and the cause goes into the
// queue, so a script waiting for the reply does not hang; a setting's failure goes to the queue.
// After a failure of the link, or when the line's time is up, the rest of the line is refused as
// while the link is down (each query answered); after any other failure it is dropped.
void TScpiBridge::FailWait(int ACode, const QString& ADetail) {
    if (fWait == wNone) return;
    const TWait wait = fWait;
    const bool query = fQueryWait || wait == wTst;
    fWait = wNone;
    if (fConfirm) fConfirm->Cancel();
    fQueryWait = false;
    fBound.stop();
    fThen = nullptr;
    fTstWanted = false;
    if (query) fReplies << NotANumber(wait == wTst ? TScpiCmd::Tst : fPending.Cmd);
    Queue(ACode, ADetail);
    if (ACode == seDevice || ACode == seDataStale) {
        fLineLinkFailed = true;
        fLineFailCode = ACode;
        fLineFailDetail = ADetail;
    } else {
        fUnits.clear();
    }
    PostContinue();
}

// Not from inside the session's reply handling that ended the wait.
void TScpiBridge::PostContinue() {
    QMetaObject::invokeMethod(
        &fServer, [this] { Continue(); }, Qt::QueuedConnection);
}

// *TST?: the model and firmware registers read back as the unit the client connected to: 0;
// anything else (another unit behind the link, or the session identified one): 1.
void TScpiBridge::ServeTst() {
    fTstWanted = false;
    TSessionCore& core = fHost.Core();
    const uint64_t id = fWaitId;
    core.ReadRegisters(
        hreg::MODEL, 2,
        [this, id](const TKRRegisters& ARegs) {
            TSessionCore& c = fHost.Core();
            c.TaskMgr().Callback();
            if (fWait != wTst || fWaitId != id) return;
            const TCurrentSet& d = c.Data();
            const bool same = ARegs[0] == fIdModel && ARegs[1] == fIdVersion &&
                              d.MODEL == fIdModel && d.VERSION == fIdVersion;
            fReplies << (same ? "0" : "1");
            EndWait();
        },
        [this, id](int32_t) {
            if (fWait == wTst && fWaitId == id) FailWait(seDevice, "no reply from the supply");
        });
}

uint32_t TScpiBridge::OperCondition() const {
    const TCurrentSet& d = fHost.Core().Data();
    if (d.ONOFF == 0) return 0;
    return d.CVCC == 1 ? kOperCC : kOperCV;
}

uint32_t TScpiBridge::QuesCondition() const {
    const TCurrentSet& d = fHost.Core().Data();
    uint32_t bits = 0;
    switch (d.PROTECT) {
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
    if (d.CVCC == 1) bits |= kQuesCC;
    if (fObserving) bits |= kQuesKeysReleased;
    return bits;
}

QString TScpiBridge::ProtectNote() {
    const uint32_t code = fHost.Core().Data().PROTECT;
    const QString protect = code == 0 ? QString() : ProtectionName(code);
    return protect.isEmpty() ? QString() : " (" + protect + ")";
}

void TScpiBridge::Execute(const TScpiUnit& AUnit) {
    if (AUnit.Error != seNone) {
        Error(AUnit.Error, Text(AUnit));
        return;
    }
    if (ExecuteLocal(AUnit) || ExecuteStatus(AUnit)) return;
    if (fObserving && !AUnit.Query && !fLineLinkFailed && Up()) {
        Error(seCommandProtected, KeysReleasedText());
        return;
    }
    if (fLineLinkFailed || !Up()) {
        Unavailable(AUnit);
        return;
    }
    if (NeedsFreshReading(AUnit) && !Fresh()) {
        fPending = AUnit;
        StartWait(wReading);
        fQueryWait = true;
        return;
    }
    Answer(AUnit);
}

// Commands about the bridge itself: they work with or without the supply.
bool TScpiBridge::ExecuteLocal(const TScpiUnit& AUnit) {
    switch (AUnit.Cmd) {
        case TScpiCmd::Error:
            fReplies << fErrors.Pop();
            return true;
        case TScpiCmd::Cls:
            fErrors.Clear();
            fStatus.Clear();
            return true;
        case TScpiCmd::Version:
            fReplies << "1999.0";
            return true;
        case TScpiCmd::Opc:
            // Every earlier command has been carried out by now.
            if (AUnit.Query)
                fReplies << "1";
            else
                fStatus.OperationComplete();
            return true;
        case TScpiCmd::Wai:
            return true;
        case TScpiCmd::Idn:
            // The unit the client connected to, also while the link is down.
            if (fIdentity.isEmpty()) return false;
            fReplies << fIdentity;
            return true;
        case TScpiCmd::Tst:
            if (fLineLinkFailed || !Up()) {
                fReplies << "1";
                return true;
            }
            StartWait(wTst);
            fTstWanted = true;
            fHost.Core().TaskMgr().ReadDebugData();
            return true;
        case TScpiCmd::Lock:
            if (AUnit.Query) {
                fReplies << Bit(!fLocal && !fObserving);
                return true;
            }
            if (const auto on = ParseScpiBool(AUnit.Params.value(0)))
                Lock(AUnit, *on);
            else
                Error(seDataType, Text(AUnit));
            return true;
        case TScpiCmd::Remote:
        case TScpiCmd::Local:
            Lock(AUnit, AUnit.Cmd == TScpiCmd::Remote);
            return true;
        default:
            return false;
    }
}

// The status registers; the event and summary queries take a fresh reading first while the
// supply is there, and answer from what was seen last while it is not.
bool TScpiBridge::ExecuteStatus(const TScpiUnit& AUnit) {
    const bool awaitReading = !fLineLinkFailed && Up() && !Fresh();
    switch (AUnit.Cmd) {
        case TScpiCmd::Ese:
        case TScpiCmd::Sre:
        case TScpiCmd::OperEnable:
        case TScpiCmd::QuesEnable: {
            const bool ese = AUnit.Cmd == TScpiCmd::Ese, sre = AUnit.Cmd == TScpiCmd::Sre;
            const bool oper = AUnit.Cmd == TScpiCmd::OperEnable;
            if (AUnit.Query) {
                const uint32_t v = ese    ? fStatus.EseMask()
                                   : sre  ? fStatus.SreMask()
                                   : oper ? fStatus.OperEnable()
                                          : fStatus.QuesEnable();
                fReplies << QString::number(v);
                return true;
            }
            const auto mask = Mask(AUnit, ese || sre ? 255 : 65535);
            if (!mask) return true;
            if (ese)
                fStatus.SetEse(*mask);
            else if (sre)
                fStatus.SetSre(*mask);
            else if (oper)
                fStatus.SetOperEnable(*mask);
            else
                fStatus.SetQuesEnable(*mask);
            return true;
        }
        case TScpiCmd::Esr:
            fReplies << QString::number(fStatus.TakeEsr());
            return true;
        case TScpiCmd::StatPreset:
            fStatus.Preset();
            return true;
        case TScpiCmd::Stb:
        case TScpiCmd::OperEvent:
        case TScpiCmd::QuesEvent:
        case TScpiCmd::OperCond:
        case TScpiCmd::QuesCond:
            if (awaitReading) return false;  // Execute waits for the reading
            fReplies << StatusAnswer(AUnit.Cmd);
            return true;
        default:
            return false;
    }
}

bool TScpiBridge::NeedsFreshReading(const TScpiUnit& AUnit) const {
    if (!AUnit.Query) return false;
    switch (AUnit.Cmd) {
        case TScpiCmd::MeasVolt:
        case TScpiCmd::MeasCurr:
        case TScpiCmd::MeasPow:
        case TScpiCmd::MeasAll:
        case TScpiCmd::Output:
        case TScpiCmd::OperCond:
        case TScpiCmd::QuesCond:
        case TScpiCmd::OperEvent:
        case TScpiCmd::QuesEvent:
        case TScpiCmd::Stb:
        case TScpiCmd::VoltTrip:
        case TScpiCmd::CurrTrip:
            return true;
        default:
            return false;
    }
}

// The status queries: the event registers are read and cleared.
QString TScpiBridge::StatusAnswer(TScpiCmd ACmd) {
    switch (ACmd) {
        case TScpiCmd::Stb:
            return QString::number(fStatus.Stb(!fErrors.Empty()));
        case TScpiCmd::OperEvent:
            return QString::number(fStatus.TakeOperEvent());
        case TScpiCmd::QuesEvent:
            return QString::number(fStatus.TakeQuesEvent());
        case TScpiCmd::OperCond:
            return QString::number(fStatus.OperCond());
        default:
            return QString::number(fStatus.QuesCond());
    }
}

// Commands that need the supply, with what a query needs at hand.
void TScpiBridge::Answer(const TScpiUnit& AUnit) {
    TSessionCore& core = fHost.Core();
    const TCurrentSet& d = core.Data();
    switch (AUnit.Cmd) {
        case TScpiCmd::Stb:
        case TScpiCmd::OperEvent:
        case TScpiCmd::QuesEvent:
        case TScpiCmd::OperCond:
        case TScpiCmd::QuesCond:
            fReplies << StatusAnswer(AUnit.Cmd);  // the reading is fresh now
            return;
        case TScpiCmd::Idn:
            KeepIdentity();
            fReplies << fIdentity;
            return;
        case TScpiCmd::Rst:
            Reset();
            return;
        case TScpiCmd::Voltage:
        case TScpiCmd::Current:
            SetPoint(AUnit);
            return;
        case TScpiCmd::Apply:
            Apply(AUnit);
            return;
        case TScpiCmd::VoltProt:
        case TScpiCmd::CurrProt:
            Protection(AUnit);
            return;
        case TScpiCmd::VoltTrip:
            fReplies << Bit(d.PROTECT == kProtectOvp);
            return;
        case TScpiCmd::CurrTrip:
            fReplies << Bit(d.PROTECT == kProtectOcp);
            return;
        case TScpiCmd::ProtClear:
            ClearProtection();
            return;
        case TScpiCmd::Output:
            if (AUnit.Query)
                fReplies << Bit(d.ONOFF != 0);
            else if (const auto on = ParseScpiBool(AUnit.Params.value(0)))
                StartSwitch(*on);
            else
                Error(seDataType, Text(AUnit));
            return;
        case TScpiCmd::MeasVolt:
        case TScpiCmd::MeasCurr:
        case TScpiCmd::MeasPow:
        case TScpiCmd::MeasAll:
            fReplies << MeasuredValue(AUnit.Cmd);
            return;
        case TScpiCmd::Recall:
            Recall(AUnit);
            return;
        case TScpiCmd::Save:
            Save(AUnit);
            return;
        default:
            return;
    }
}

std::optional<uint32_t> TScpiBridge::Value(const TScpiUnit& AUnit, int AIndex, bool AVolt,
                                           uint32_t AMin, uint32_t AMax) {
    int error = seNone;
    const QString text = AUnit.Params.value(AIndex);
    const auto number = ParseScpiNumber(text, AVolt ? "V" : "A", error);
    if (!number) {
        Error(error, Text(AUnit));
        return std::nullopt;
    }
    if (number->Kind != TScpiNumber::Value) return number->Kind == TScpiNumber::Min ? AMin : AMax;
    uint32_t units = 0;
    const QString why = CheckRange(AUnit.Header, number->Decimal,
                                   AVolt ? 2 : fHost.Core().Limits().CurrentDecimals(), AMin, AMax,
                                   AVolt ? "V" : "A", ModelName(fHost.Core()), units);
    if (!why.isEmpty()) {
        Error(seDataOutOfRange, why);
        return std::nullopt;
    }
    return units;
}

std::optional<uint32_t> TScpiBridge::Mask(const TScpiUnit& AUnit, uint32_t AMax) {
    int error = seNone;
    const auto mask = ParseScpiMask(AUnit.Params.value(0), AMax, error);
    if (!mask) Error(error, Text(AUnit));
    return mask;
}

void TScpiBridge::SetPoint(const TScpiUnit& AUnit) {
    const TCurrentSet& d = fHost.Core().Data();
    const bool volt = AUnit.Cmd == TScpiCmd::Voltage;
    const int decimals = volt ? 2 : fHost.Core().Limits().CurrentDecimals();
    const uint32_t min = volt ? kMinUset : kMinIset;
    const uint32_t max = volt ? fHost.Core().Limits().MaxUset : fHost.Core().Limits().MaxIset;
    if (AUnit.Query) {
        const QString which = AUnit.Params.value(0).toUpper();
        uint32_t v = volt ? d.USET : d.ISET;
        if (which == "MIN" || which == "MINIMUM")
            v = min;
        else if (which == "MAX" || which == "MAXIMUM")
            v = max;
        else if (!which.isEmpty()) {
            Error(seDataType, Text(AUnit));
            return;
        }
        fReplies << FormatUnits(v, decimals);
        return;
    }
    const auto units = Value(AUnit, 0, volt, min, max);
    if (!units) return;
    if (volt && d.MEM >= 10) {
        Error(seSettingsConflict,
              "the voltage comes from the selected charge profile C" + QString::number(d.MEM - 10));
        return;
    }
    if (volt)
        StartSet(*units, std::nullopt);
    else
        StartSet(std::nullopt, *units);
}

// APPL v[,a]: both set points in one write; APPL? answers "v,a".
void TScpiBridge::Apply(const TScpiUnit& AUnit) {
    const TCurrentSet& d = fHost.Core().Data();
    if (AUnit.Query) {
        fReplies << FormatUnits(d.USET, 2) + "," +
                        FormatUnits(d.ISET, fHost.Core().Limits().CurrentDecimals());
        return;
    }
    const auto u = Value(AUnit, 0, true, kMinUset, fHost.Core().Limits().MaxUset);
    if (!u) return;
    std::optional<uint32_t> i;
    if (AUnit.Params.size() > 1) {
        i = Value(AUnit, 1, false, kMinIset, fHost.Core().Limits().MaxIset);
        if (!i) return;
    }
    if (d.MEM >= 10) {
        Error(seSettingsConflict,
              "the voltage comes from the selected charge profile C" + QString::number(d.MEM - 10));
        return;
    }
    StartSet(*u, i);
}

// The OVP and OCP levels live in the block of the selected preset: a query reads the block from
// the supply, a setting stores it there (with the live set values, so the output keeps them)
// and reads it back.
void TScpiBridge::Protection(const TScpiUnit& AUnit) {
    const bool volt = AUnit.Cmd == TScpiCmd::VoltProt;
    const int decimals = volt ? 2 : fHost.Core().Limits().CurrentDecimals();
    const TEditorRange range = EditorRange(volt ? peOvp : peOcp, fHost.Core().Limits());
    auto level = [volt](const TMemorySet& ABlock) { return volt ? ABlock.SOVP : ABlock.SOCP; };
    if (AUnit.Query) {
        const QString which = AUnit.Params.value(0).toUpper();
        if (which == "MIN" || which == "MINIMUM" || which == "MAX" || which == "MAXIMUM") {
            fReplies << FormatUnits(which.startsWith("MIN") ? range.Min : range.Max, decimals);
            return;
        }
        if (!which.isEmpty()) {
            Error(seDataType, Text(AUnit));
            return;
        }
        fQueryWait = true;
        fPending = AUnit;
        ReadLiveBlock([this, level, decimals](const TMemorySet& ABlock) {
            fReplies << FormatUnits(level(ABlock), decimals);
            EndWait();
        });
        return;
    }
    const auto units = Value(AUnit, 0, volt, range.Min, range.Max);
    if (!units) return;
    TSessionCore& core = fHost.Core();
    const TCurrentSet& d = core.Data();
    TPresetValues values;
    values.Uset = d.USET;
    values.Iset = d.ISET;
    (volt ? values.Ovp : values.Ocp) = *units;
    const uint32_t mem = d.MEM;
    const QString why = fPresets->CheckValues(mem, values);
    if (!why.isEmpty()) {
        Error(seSettingsConflict, why);
        return;
    }
    StartWait(wBlock);
    const uint64_t id = fWaitId;
    const uint32_t want = *units;
    fPresets->SaveBlock(mem, values, [this, id, want, level](bool AOk, const TMemorySet&) {
        if (fWait != wBlock || fWaitId != id) return;
        if (!AOk) {
            FailWait(seDevice, "the preset could not be written");
            return;
        }
        fWait = wNone;
        ReadLiveBlock([this, want, level](const TMemorySet& ABlock) {
            if (level(ABlock) == want)
                EndWait();
            else
                FailWait(seExecution, "the supply did not take the value");
        });
    });
}

void TScpiBridge::ReadLiveBlock(std::function<void(const TMemorySet&)> AThen) {
    StartWait(wBlock);
    const uint64_t id = fWaitId;
    const QString why =
        fPresets->ReadBlock(fHost.Core().Data().MEM,
                            [this, id, then = std::move(AThen)](bool AOk, const TMemorySet& AB) {
                                if (fWait != wBlock || fWaitId != id) return;
                                if (AOk)
                                    then(AB);
                                else
                                    FailWait(seDevice, "the preset could not be read");
                            });
    if (!why.isEmpty()) FailWait(seDevice, why);
}

// A tripped protection keeps the output off until it is switched on again, as with the on/off
// key of the supply: the clear switches it back on once the cause is gone, and is refused
// (-200) when the set values would trip it again at once.
void TScpiBridge::ClearProtection() {
    const TCurrentSet& d = fHost.Core().Data();
    if (d.PROTECT == 0 || d.ONOFF != 0) return;  // nothing tripped
    if (d.PROTECT == kProtectOhp && d.OHP != 0 && d.TMP >= d.OHP) {
        Error(seExecution,
              "the supply is still above its over-heat limit (" + QString::number(d.TMP) + " C)");
        return;
    }
    ReadLiveBlock([this](const TMemorySet& ABlock) {
        const TCurrentSet& data = fHost.Core().Data();
        const int cur = fHost.Core().Limits().CurrentDecimals();
        if (data.PROTECT == kProtectOvp && data.USET > ABlock.SOVP) {
            FailWait(seExecution, "the set voltage " + FormatUnits(data.USET, 2) +
                                      " V is above the OVP level " + FormatUnits(ABlock.SOVP, 2) +
                                      " V");
            return;
        }
        if (data.PROTECT == kProtectOcp && data.ISET > ABlock.SOCP) {
            FailWait(seExecution, "the set current " + FormatUnits(data.ISET, cur) +
                                      " A is above the OCP level " + FormatUnits(ABlock.SOCP, cur) +
                                      " A");
            return;
        }
        fWait = wNone;
        fBound.stop();
        StartSwitch(true);
        if (fWait == wNone) PostContinue();
    });
}

// The preset of *RCL and *SAV: M0 to M9 (NRf rounded to a whole number, MIN and MAX taken);
// nullopt after the error was queued.
std::optional<uint32_t> TScpiBridge::PresetNumber(const TScpiUnit& AUnit) {
    int error = seNone;
    const auto n = ParseScpiNumber(AUnit.Params.value(0), {}, error);
    if (n && n->Kind != TScpiNumber::Value) return n->Kind == TScpiNumber::Min ? 0 : 9;
    if (n && ToUnits(n->Decimal, 0) <= 9) return static_cast<uint32_t>(ToUnits(n->Decimal, 0));
    if (n) error = seDataOutOfRange;
    Error(error, Text(AUnit) + (error == seDataOutOfRange ? ": presets M0 to M9" : ""));
    return std::nullopt;
}

void TScpiBridge::Recall(const TScpiUnit& AUnit) {
    const auto num = PresetNumber(AUnit);
    if (!num) return;
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

// *SAV n: the live set values into preset n, as a long press on its key stores them.
void TScpiBridge::Save(const TScpiUnit& AUnit) {
    const auto num = PresetNumber(AUnit);
    if (!num) return;
    const TCurrentSet& d = fHost.Core().Data();
    TPresetValues values;
    values.Uset = d.USET;
    values.Iset = d.ISET;
    const QString why = fPresets->CheckValues(*num, values);
    if (!why.isEmpty()) {
        Error(seSettingsConflict, why);
        return;
    }
    StartWait(wBlock);
    const uint64_t id = fWaitId;
    const QString refused =
        fPresets->SaveBlock(*num, values, [this, id](bool AOk, const TMemorySet&) {
            if (fWait != wBlock || fWaitId != id) return;
            if (AOk)
                EndWait();
            else
                FailWait(seDevice, "the preset could not be written");
        });
    if (!refused.isEmpty()) FailWait(seSettingsConflict, refused);
}

void TScpiBridge::Lock(const TScpiUnit& AUnit, bool AOn) {
    TSessionCore& core = fHost.Core();
    if (!AOn) {
        if (fLocal || fObserving) return;  // released already
        if (!Up()) {
            Unavailable(AUnit);
            return;
        }
        // The front panel takes over: the keys are released and polling stops (the session
        // needs the keys locked), until SYST:LOCK ON. Keys another program locked stay so.
        fLocal = true;
        const bool owned = core.OwnsKeyLock();
        core.AutoConnectSwitchClick(false);
        core.DisconnectBtnClick();
        fHost.Print(owned ? "keys released: the front panel has control\n"
                          : "bridge stopped: another program holds the keys\n");
        return;
    }
    if (fObserving) {
        // Control back: the session starts again as one that locks the keys (they are free, or
        // held by another program, which the key rule refuses).
        fObserving = false;
        core.SetObserver(false);
        fLocal = true;
        core.AutoConnectSwitchClick(false);
        core.DisconnectBtnClick();
    }
    if (!fLocal) return;
    fLocal = false;
    StartWait(wConnect);
    core.ConnectBtnClick();
}

// *RST: off first, then the lowest set points (the voltage stays with a selected charge
// profile, which sets it).
void TScpiBridge::Reset() {
    fIdentity.clear();
    KeepIdentity();
    std::optional<uint32_t> u = kMinUset;
    if (fHost.Core().Data().MEM >= 10) u.reset();
    fThen = [this, u] { StartSet(u, kMinIset); };
    StartSwitch(false);
}

void TScpiBridge::StartSet(std::optional<uint32_t> AU, std::optional<uint32_t> AI) {
    StartWait(wSetting);
    const uint64_t id = fWaitId;
    fConfirm->SetPoints(AU, AI, [this, id](TSettingConfirm::TOutcome AOutcome) {
        if (fWait == wSetting && fWaitId == id)
            SettingEnded(AOutcome, "the supply did not take the value");
    });
}

void TScpiBridge::StartSwitch(bool AOn) {
    if ((fHost.Core().Data().ONOFF != 0) == AOn) {
        if (fThen) EndWait();  // already so: the next step of *RST
        return;
    }
    StartWait(wSetting);
    const uint64_t id = fWaitId;
    fConfirm->Switch(AOn, [this, id, AOn](TSettingConfirm::TOutcome AOutcome) {
        if (fWait == wSetting && fWaitId == id)
            SettingEnded(AOutcome, QString("the output did not switch ") + (AOn ? "on" : "off") +
                                       ProtectNote());
    });
}

QString TScpiBridge::MeasuredValue(TScpiCmd ACmd) {
    const TCurrentSet& d = fHost.Core().Data();
    const QString volt = FormatUnits(d.UOUT, 2);
    const QString curr = FormatUnits(d.IOUT, fHost.Core().Limits().CurrentDecimals());
    const QString power = FormatUnits(d.POWER, 2);
    switch (ACmd) {
        case TScpiCmd::MeasVolt:
            return volt;
        case TScpiCmd::MeasCurr:
            return curr;
        case TScpiCmd::MeasAll:
            return volt + "," + curr + "," + power;
        default:
            return power;
    }
}
