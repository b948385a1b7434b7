// serve-scpi: the session's events, the waits of a command and the client's lines (the class is
// described in scpi_bridge.h).

#include <QHostAddress>

#include "cli/cli_checks.h"
#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_messages.h"
#include "cli/cli_runner.h"
#include "cli/scpi_bridge.h"
#include "session/presets.h"
#include "session/session_core.h"

namespace {

// Protection codes of the supply's PROTECT register.
enum : uint32_t { kProtectOvp = 1, kProtectOcp = 2, kProtectOpp = 3, kProtectOtp = 5 };

}  // namespace

TScpiBridge::TScpiBridge(TCliContext& AContext) : TCliCommand(AContext) {
    fBound.setSingleShot(true);
    QObject::connect(&fBound, &QTimer::timeout, &fServer,
                     [this] { FailWait(seDevice, "no reply from the supply"); });
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
    fServer.fOnEvent = [this](const QString& AText) { fCtx.Print(AText + "\n"); };
}

TScpiBridge::~TScpiBridge() {
    fPresets.reset();
}

bool TScpiBridge::SwitchOffAtEnd() const {
    return fCtx.Request().OffOnExit;
}

// The address is taken before the supply is touched: a busy port ends the run at once.
QString TScpiBridge::Prepare() {
    const TCliRequest& r = fCtx.Request();
    const QHostAddress address(r.ListenHost);
    QString error;
    fServer.SetIdleTimeout(r.IdleTimeout);
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

void TScpiBridge::SessionCreated() {
    fPresets = std::make_unique<TPresetLogic>(fCtx.Core(), fPresetView);
    // *TST? reads the identification back through the scheduler, in place of the debug value
    // that nothing here shows.
    TLN_TaskMgr& t = fCtx.Core().TaskMgr();
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

void TScpiBridge::SessionLost() {
    fReady = false;
    if (fHeldLine) {
        fHeldLine = false;
        fLineOpen = true;
        PostContinue();
    }
    if (fLocal) return;
    fCtx.Print("connection to the supply lost; reconnecting\n");
    if (fWait != wNone && fWait != wConnect) FailWait(seDevice, "connection to the supply lost");
}

// Nothing more is taken once the run ends (the keys are being released).
void TScpiBridge::Stopping() {
    fServer.Close();
}

void TScpiBridge::Note(const QString& AText) {
    // Each retry repeats its message: it is shown once, until another one comes.
    const QString text = AText.simplified();
    if (text != fLastNote) fCtx.Warn(text);
    fLastNote = text;
    if (fWait == wConnect) FailWait(seDevice, text);
    // A failed reconnect switches the window's autoconnect off (so that its message box does
    // not come back); a server has no box and goes on trying.
    QMetaObject::invokeMethod(
        &fServer,
        [this] {
            TSessionCore& core = fCtx.Core();
            if (!fLocal && !core.Connected() && !core.AutoConnect())
                core.AutoConnectSwitchClick(true);
        },
        Qt::QueuedConnection);
}

void TScpiBridge::Refused(int32_t ACode) {
    if (fWait != wNone)
        FailWait(seExecution, ResultEnglish(ACode));
    else
        Queue(seExecution, ResultEnglish(ACode));
}

void TScpiBridge::LiveReading() {
    // The reply to the poll requested last: only one request is ever outstanding.
    fReadingSeq = fPollSeq;
    fStatus.Conditions(OperCondition(), QuesCondition());
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
        case wReading:
            if (fReadingSeq > fFreshMark) {
                const TScpiUnit unit = fPending;
                fWait = wNone;
                fQueryWait = false;
                fBound.stop();
                Answer(unit);
                PostContinue();
            }
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

void TScpiBridge::JobServed(TCliJob AJob) {
    if (AJob == cjReadData) {
        ++fPollSeq;
    } else if (AJob == cjWriteSetData && fWait == wSetWrite) {
        // Served after the write's reply, so it reads what the supply took.
        fWait = wSetReadRequested;
        fCtx.Core().TaskMgr().ReadSetData();
    } else if (AJob == cjReadSetData && fWait == wSetReadRequested) {
        fWait = wSetRead;
    } else if (AJob == cjWriteOnOff && fWait == wSwitch) {
        fWait = wSwitchConfirm;
    }
}

void TScpiBridge::SetValuesShown() {
    if (fWait != wSetRead) return;
    const TCurrentSet& d = fCtx.Core().Data();
    if ((!fWantU || d.USET == *fWantU) && (!fWantI || d.ISET == *fWantI))
        EndWait();
    else if (fCtx.Timeouts() > fTimeoutsBefore)
        FailWait(seDevice, "no reply from the supply");
    else
        FailWait(seExecution, "the supply did not take the value");
}

QString TScpiBridge::Where() const {
    return fServer.Address().toString() + ":" + QString::number(fServer.Port());
}

// A session whose readings are coming in.
bool TScpiBridge::Up() {
    return fCtx.Core().Connected() && fReady;
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
    // Queries answer from readings requested from now on.
    fFreshMark = fPollSeq;
    // Until the first reading of a (re)started session its state is not known yet.
    if (fCtx.Core().Connected() && !fReady) {
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
    // Conditions that hold already are no events of this client.
    if (Up()) {
        fStatus.Conditions(OperCondition(), QuesCondition());
        fStatus.TakeOperEvent();
        fStatus.TakeQuesEvent();
    }
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

// No session: a query answers with the error itself, so that a client waiting for a reply gets
// one. The rest of the line is still gone through, each command refused the same way, so that
// every query of it gets its answer and no setting after it is carried out.
void TScpiBridge::LinkError(const TScpiUnit& AUnit) {
    const QString detail = fLocal ? "the keys are released (SYST:LOCK ON takes control)"
                                  : "no connection to the supply";
    if (AUnit.Query) fReplies << TScpiErrorQueue::Entry(seDevice, detail);
    Queue(seDevice, detail);
    fLineLinkFailed = true;
}

void TScpiBridge::StartWait(TWait AWait) {
    fWait = AWait;
    ++fWaitId;
    // Every step takes a few requests; a link that stops answering ends the session within
    // three time-outs, so this bound only catches what nothing else ends.
    fBound.start(static_cast<int>(8 * fCtx.Config().Timings.ResponseTimeout + 1000));
}

void TScpiBridge::EndWait() {
    fWait = wNone;
    fQueryWait = false;
    fBound.stop();
    // A setting is done: queries after it answer from readings requested from now on.
    fFreshMark = fPollSeq;
    if (fThen) {
        auto then = std::move(fThen);
        fThen = nullptr;
        then();
        if (fWait != wNone) return;
    }
    PostContinue();
}

// A query whose wait fails is answered with the error (-410 with the reason), so a script
// waiting for the reply does not hang; a setting's failure goes to the queue. After a failure of
// the link the rest of the line is refused as while the link is down (each query answered);
// after any other failure it is dropped.
void TScpiBridge::FailWait(int ACode, const QString& ADetail) {
    if (fWait == wNone) return;
    const TWait wait = fWait;
    const bool query = fQueryWait;
    fWait = wNone;
    fQueryWait = false;
    fBound.stop();
    fThen = nullptr;
    if (wait == wTst) {
        fTstWanted = false;
        fReplies << "1";
    } else if (query) {
        fReplies << TScpiErrorQueue::Entry(seQueryInterrupted, ADetail);
        Queue(seQueryInterrupted, ADetail);
    } else {
        Queue(ACode, ADetail);
    }
    if (ACode == seDevice)
        fLineLinkFailed = true;
    else
        fUnits.clear();
    PostContinue();
}

// Not from inside the session's reply handling that ended the wait.
void TScpiBridge::PostContinue() {
    QMetaObject::invokeMethod(
        &fServer, [this] { Continue(); }, Qt::QueuedConnection);
}

// *TST?: the model and firmware registers read back as identified: 0; anything else: 1.
void TScpiBridge::ServeTst() {
    fTstWanted = false;
    TSessionCore& core = fCtx.Core();
    const uint64_t id = fWaitId;
    core.ReadRegisters(
        11, 2,
        [this, id](const TKRRegisters& ARegs) {
            TSessionCore& c = fCtx.Core();
            c.TaskMgr().Callback();
            if (fWait != wTst || fWaitId != id) return;
            const TCurrentSet& d = c.Data();
            fReplies << (ARegs[0] == d.MODEL && ARegs[1] == d.VERSION ? "0" : "1");
            EndWait();
        },
        [this, id](int32_t) {
            if (fWait == wTst && fWaitId == id) FailWait(seDevice, "no reply from the supply");
        });
}

uint32_t TScpiBridge::OperCondition() const {
    const TCurrentSet& d = fCtx.Core().Data();
    if (d.ONOFF == 0) return 0;
    return d.CVCC == 1 ? kOperCC : kOperCV;
}

uint32_t TScpiBridge::QuesCondition() const {
    const TCurrentSet& d = fCtx.Core().Data();
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
    return bits;
}

QString TScpiBridge::ProtectNote() {
    const QString protect = ProtectLabel(fCtx.Core().Data().PROTECT);
    return protect.isEmpty() ? QString() : " (" + protect + ")";
}

std::unique_ptr<TCliCommand> MakeScpiCommand(TCliContext& AContext) {
    return std::make_unique<TScpiBridge>(AContext);
}
