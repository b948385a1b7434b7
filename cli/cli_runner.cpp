#include "cli/cli_runner.h"

#include <algorithm>

#include <QPointer>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "cli/cli_help.h"
#include "cli/cli_link.h"
#include "cli/cli_messages.h"
#include "device/register_map.h"
#include "link/com_port_connector.h"
#include "link/connector_texts.h"
#include "link/modbus_errors.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"
#include "session/settings_store.h"

TCliRunner::TCliRunner(TCliRequest ARequest, std::ostream& AOut, std::ostream& AErr,
                       TCliConfig AConfig, QObject* AParent)
    : QObject(AParent),
      fRequest(std::move(ARequest)),
      fOut(AOut),
      fErr(AErr),
      fConfig(std::move(AConfig)) {
    fReleaseBound.setSingleShot(true);
    connect(&fReleaseBound, &QTimer::timeout, this, [this] { ReleaseEnded(fRelease); });
}

TCliRunner::~TCliRunner() {
    // The link goes first: its workers may still post into this object.
    fCommand.reset();
    fCore.reset();
    if (fAddedExtraPort) RemoveExtraPort(SerialPath(fRequest.Link.Port));
}

void TCliRunner::Start() {
    QMetaObject::invokeMethod(
        this, [this] { Run(); }, Qt::QueuedConnection);
}

void TCliRunner::Run() {
    if (fPhase != phIdle) return;  // interrupted before it began
    if (fRequest.Help) {
        Print(fRequest.Command.isEmpty() ? ToolHelp() : CommandHelp(fRequest.Command));
        Finish(ceOk);
        return;
    }
    if (fRequest.Command == "ports") {
        ListPorts();
        Finish(ceOk);
        return;
    }
    // Without a link the table is shown for the supply the window last used.
    if (fRequest.Command == "sequence" && fRequest.Of<TSequenceOptions>().Action == "show" &&
        !fRequest.Link.Tcp() && !fRequest.Link.Serial()) {
        QString error;
        const QString table = SequenceTableText(fRequest, fConfig, error);
        if (!error.isEmpty()) {
            Fail(ceUsage, error);
            return;
        }
        Print(table);
        Finish(ceOk);
        return;
    }
    fCommand = fMakeCommand ? fMakeCommand(*this) : MakeCommand(*this);
    const QString error = fCommand->Prepare();
    if (!error.isEmpty()) Fail(ceUsage, error);
    if (fPhase >= phFinishing) return;  // refused, or failed on its own (a file)
    if (!fCommand->NeedsSession()) {
        fPhase = phRunning;
        fCommand->Started();
        return;
    }
    CreateSession();
    if (!PrepareLink()) return;
    fPhase = phConnecting;
    fInConnect = true;
    fCore->ConnectBtnClick();
    fInConnect = false;
}

void TCliRunner::ListPorts() {
    TSerialPortList list;
    SetupEnumAvailableComPorts(list);
    const TSettingsStore store = fConfig.PortsSettingsPath.isEmpty()
                                     ? TSettingsStore()
                                     : TSettingsStore(fConfig.PortsSettingsPath);
    QStringList json;
    QString text;
    for (const TSerialPort& port : list) {
        const QString device = store.ReadDevice(port.ShortName);
        const QString friendly =
            device.isEmpty() ? port.FriendlyName : port.FriendlyName + " " + device;
        json << JsonObject(
            {StringField("short", port.ShortName), StringField("friendly", friendly)});
        text += port.ShortName + "\t" + friendly + "\n";
    }
    Print(fRequest.Json ? JsonArray(json) + "\n" : text);
}

void TCliRunner::CreateSession() {
    // A private store: the session remembers the link it used, and that must not change what
    // the window offers the user next time.
    fSettingsDir = std::make_unique<QTemporaryDir>();
    fSettings = std::make_unique<TSettingsStore>(TSettingsStore::PathUnder(fSettingsDir->path()));
    fCore = std::make_unique<TSessionCore>(fView, *fSettings, SystemTickClock(), fConfig.Timings);
    // Key ownership: a command that changes the supply takes its keys when they are free and
    // changes nothing on a supply whose keys another program holds, unless told to take them
    // over. The others only observe.
    fCore->SetObserver(!fCommand->TakesKeyLock());
    fCore->SetKeysHeldRule(fRequest.TakeOver ? TSessionCore::khTakeOver : TSessionCore::khRefuse);
    fCore->fOnKeysHeld = [this] { KeysHeld(); };
    fCommand->SessionCreated();
    if (fConfig.TcpReadTimeout != 0) fCore->TCPConnector().SetReadTimeout(fConfig.TcpReadTimeout);
    if (fConfig.TcpConnectTimeout != 0)
        fCore->TCPConnector().SetConnectTimeout(fConfig.TcpConnectTimeout);
    if (fConfig.SerialWaitResp != 0)
        fCore->COMPortConnector().SetWaitRespTime(fConfig.SerialWaitResp);

    // Refusals and link failures are judged from the master's result of each request: only a
    // reply the link accepted as a valid exception reply is a refusal by the device.
    fCore->fOnRequestResult = [this](int32_t ACode) { RequestResult(ACode); };

    fView.fOnError = [this](const QString& AText) { ErrorShown(AText); };
    fView.fOnInformation = [this](const QString& AText) {
        if (fPhase < phFinishing) PrintError(MessageLines(AText));
    };
    fView.fOnLimits = [this] { LimitsKnown(); };
    fView.fOnSetValues = [this] {
        if (fPhase == phRunning && fCommand) fCommand->SetValuesShown();
    };

    // The core dies before this runner, so the chained handlers never outlive it.
    auto chain = [](std::function<void()>& ASlot, std::function<void()> AHandler) {
        ASlot = [earlier = ASlot, AHandler] {
            if (earlier) earlier();
            AHandler();
        };
    };
    chain(fCore->fOnSessionStarted, [this] { SessionStarted(); });
    chain(fCore->fOnSessionEnded, [this] { SessionEnded(); });
    connect(fCore.get(), &TSessionCore::LiveReading, this, [this] { Reading(); });
    BindJobs();
}

void TCliRunner::BindJobs() {
    TLN_TaskMgr& t = fCore->TaskMgr();
    auto follow = [this](TTaskNotifyEvent& ASlot, TCliJob AJob) {
        TTaskNotifyEvent earlier = ASlot;
        ASlot = [this, earlier, AJob](TLN_TaskMgr* ASender) {
            if (earlier) earlier(ASender);
            if (fPhase == phRunning && fCommand) fCommand->JobServed(AJob);
        };
    };
    follow(t.fOnWriteSetData, cjWriteSetData);
    follow(t.fOnReadSetData, cjReadSetData);
    follow(t.fOnWriteOnOff, cjWriteOnOff);
    follow(t.fOnReadData, cjReadData);
    TTaskNotifyEvent onTimeout = t.fOnTimeout;
    t.fOnTimeout = [this, onTimeout](TLN_TaskMgr* ASender) {
        if (onTimeout) onTimeout(ASender);
        ++fTimeouts;
    };
}

bool TCliRunner::PrepareLink() {
    const TLinkOptions& link = fRequest.Link;
    if (link.Tcp()) {
        QString error;
        const QString address = ResolveIPv4(link.TcpHost, &error);
        if (address.isEmpty()) {
            Fail(ceLink, "cannot connect: " + error);
            return false;
        }
        fCore->FillPortList();
        fCore->ComPortComboBoxSelect(0);
        fCore->IpMaskEditChange(address);
        fCore->TCPConnector().SetPort(link.TcpPort);
    } else {
        // A port that is not there, or is no terminal, is named as such before anything opens.
        const QString path = SerialPath(link.Port);
        const QString problem = SerialPathProblem(path);
        if (!problem.isEmpty()) {
            Fail(ceLink, problem);
            return false;
        }
        fCore->FillPortList();
        // A device path (a pseudo-terminal, a by-id link) or a port udev does not list is
        // listed as an extra port.
        if (FindPortIndex(fCore->SerialPortList(), link.Port) < 0 && !ExtraPorts().contains(path)) {
            AddExtraPort(path);
            fAddedExtraPort = true;
            fCore->FillPortList();
        }
        const int index = FindPortIndex(fCore->SerialPortList(), link.Port);
        if (index < 0) {
            Fail(ceLink, SerialOpenFailure(path, ENOENT));
            return false;
        }
        fCore->ComPortComboBoxSelect(index);
        fCore->BaudComboBoxSelect(BaudIndexOf(link.Baud));
    }
    fCore->SlaveAddrComboBoxSelect(link.Addr - 1);
    return true;
}

void TCliRunner::LimitsKnown() {
    if (fPhase != phConnecting) return;
    fPhase = phIdentified;
    const QString error = fCommand->CheckLimits();
    if (!error.isEmpty()) {
        // Deactivating the link makes the master refuse the key-lock write that follows, so a
        // refused value leaves the supply exactly as it was.
        fCore->ModbusMaster().SetActive(false);
        Fail(ceUsage, error);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { CheckIdentified(); }, Qt::QueuedConnection);
}

void TCliRunner::CheckIdentified() {
    // An identified model that the session does not accept starts no session and shows no
    // message; the window would only show its title.
    if (fPhase != phIdentified || fCore->Connected()) return;
    if (!IsAcceptedModel(fCore->Data().MODEL))
        Fail(ceLink, fCore->Title() + ": this model is not supported");
}

void TCliRunner::RequestResult(int32_t ACode) {
    if (fPhase >= phFinishing) return;
    // The run of equal failures since the last success names the cause of a loss.
    fFailureRun = ACode == 0 ? 0 : (ACode == fLastFailure ? fFailureRun + 1 : 1);
    // Over TCP an empty receive is the bridge closing the connection.
    if (ACode == MBTransportError(cerNoAnswer)) fPeerClosed = true;
    if (ACode == 0) fPeerClosed = false;
    if (ACode == 0) return;
    fLastFailure = ACode;
    if (ACode > 0) {
        if (fPhase == phRunning && fCommand && !fCommand->RefusalEnds()) return;
        if (Serving())
            fCommand->Refused(ACode);
        else
            Fail(ceRefused, ResultText(ACode));
        return;
    }
    // While identified but not yet running, the only request is the key-lock write. Later
    // failures are the scheduler's to count: three in a row end the session.
    if (fPhase == phIdentified)
        Fail(ceLink, "the keys of the supply could not be locked: " + ResultText(ACode));
}

void TCliRunner::KeysHeld() {
    if (fPhase >= phFinishing) return;
    // A bridge whose link came back to keys another program took meanwhile is told, as of any
    // other failed reconnect, and tries again.
    if (Serving()) {
        fCommand->Note(KeysHeldText(fRequest.Command));
        return;
    }
    Fail(ceKeysHeld, KeysHeldText(fRequest.Command));
}

void TCliRunner::SessionStarted() {
    if (fPhase >= phFinishing) return;
    fPhase = phRunning;
    fSessionStarted = true;
    fLastFailure = 0;
    if (fOnSessionStarted) fOnSessionStarted();
    if (fCommand) fCommand->Started();
}

void TCliRunner::SessionEnded() {
    // Ended by the session itself (not by our own disconnect). A loss is handled with its
    // message, which follows.
    if (fPhase >= phFinishing || fLinkReleased || fCore->Losing()) return;
    SessionGone();
}

void TCliRunner::SessionGone() {
    // A reconnect starts afresh: its failures are its own.
    fLastFailure = 0;
    fFailureRun = 0;
    fPeerClosed = false;
    if (Serving())
        fCommand->SessionLost();
    else
        Finish(ceLink);
}

void TCliRunner::Reading() {
    fKeysFreeAtDevice = fCore->Data().LOCK == 0;
    // The person at the bench took the supply: a serving command stays, as an observer.
    if (fKeysFreeAtDevice && !fCore->Observer() && Serving()) {
        fCore->SetObserver(true);
        fCommand->KeysReleased();
    }
    // A controlling session ends when the keys come free; an observer reads on.
    if (fPhase == phRunning && (!fKeysFreeAtDevice || fCore->Observer()) && fCommand)
        fCommand->LiveReading();
}

bool TCliRunner::Serving() const {
    return fPhase == phRunning && fCommand && fCommand->KeepsServing();
}

void TCliRunner::ErrorShown(const QString& AText) {
    if (fPhase >= phFinishing) return;
    // The window's texts name no cause (or name it in the original language): the command line
    // says in English what happened.
    QString english;
    const bool lost = fCore->Losing();
    if (fCore->Connected() || lost) {
        // The session's loss message; it is shown right after the session has ended.
        english = fKeysFreeAtDevice && !fCore->Observer()
                      ? "connection ended: the keys were released at the supply"
                      : LostText(fLastFailure, fFailureRun,
                                 {fRequest.Link.Tcp(), fPeerClosed,
                                  fCore->TCPConnector().TCPClient().ConnectErrno()});
    } else if (fLastFailure != 0) {
        english = ResultText(fLastFailure);  // the identification failed
    } else {
        english = ConnectFailure(AText);
    }
    if (Serving())
        fCommand->Note(english);
    else
        Fail(ceLink, english);
    if (lost && fPhase < phFinishing) SessionGone();
}

QString TCliRunner::ConnectFailure(const QString& AWindowText) const {
    const TLinkOptions& link = fRequest.Link;
    if (!link.Tcp())
        return SerialOpenFailure(SerialPath(link.Port),
                                 fCore->COMPortConnector().ComPort().OpenErrno());
    const QString where = "cannot connect to " + link.TcpHost + ":" + QString::number(link.TcpPort);
    const int error = fCore->TCPConnector().TCPClient().ConnectErrno();
    // No attempt was made (an address the session refuses): its own, English, text.
    if (error == 0) return where + ": " + MessageLines(AWindowText).simplified();
    return where + ": " + ConnectErrnoText(error);
}

void TCliRunner::Interrupt() {
    if (fPhase >= phFinishing) return;
    const bool normalEnd = fPhase == phRunning && fCommand && fCommand->InterruptIsSuccess();
    Finish(normalEnd ? ceOk : ceInterrupted);
}

void TCliRunner::Fail(int ACode, const QString& AMessage) {
    if (fInStopping) {
        // The command's last work (saving its file) failed after the run had ended: the
        // failure is still reported and replaces a success.
        PrintError(AMessage);
        if (fExitCode == ceOk) fExitCode = ACode;
        return;
    }
    if (fPhase >= phFinishing) return;
    PrintError(AMessage);
    Finish(ACode);
}

void TCliRunner::Finish(int ACode) {
    if (fPhase >= phFinishing) return;
    fPhase = phFinishing;
    fExitCode = ACode;
    // Not from inside the handler that noticed the end: the session may be in the middle of a
    // reply.
    QMetaObject::invokeMethod(
        this, [this] { Teardown(); }, Qt::QueuedConnection);
}

void TCliRunner::Teardown() {
    if (fInConnect) {
        // The connect runs pending events; close once it has returned.
        QMetaObject::invokeMethod(
            this, [this] { Teardown(); }, Qt::QueuedConnection);
        return;
    }
    if (fCommand) {
        fInStopping = true;
        fCommand->Stopping();
        fInStopping = false;
    }
    if (!fCore && fCommand && fCommand->EndsLater([this](int ACode) {
            if (fExitCode == ceOk) fExitCode = ACode;
            CloseLink();
        }))
        return;
    // A command that took the port over (flash) has closed the session itself.
    if (!fCore || fLinkReleased) {
        CloseLink();
        return;
    }
    fCore->TaskMgr().Stop();
    // Only keys this run locked are given back (also after a loss, when the supply can still
    // be reached); keys that another program locked stay locked.
    const bool release = !fRequest.KeepLock && fCore->OwnsKeyLock();
    // The switch-off is owed also when the session has ended (keys handed to the front panel,
    // link lost): the port is opened again for it, and a failure is reported. A supply that was
    // never reached has had nothing switched.
    const bool switchOff = fCommand && fCommand->SwitchOffAtEnd() && fSessionStarted;
    const std::vector<TFinalWrite> finals =
        fCommand && fSessionStarted ? fCommand->FinalWrites() : std::vector<TFinalWrite>{};
    if (release || switchOff || !finals.empty())
        ReleaseKeys(release, switchOff, finals);
    else
        CloseLink();
}

void TCliRunner::ReleaseKeys(bool AUnlock, bool ASwitchOff,
                             const std::vector<TFinalWrite>& AFinal) {
    TKRModbusMaster& master = fCore->ModbusMaster();
    TKRConnector* connector = master.Connector();
    if (connector == nullptr) {
        CloseLink();
        return;
    }
    connector->QueueClear();
    master.SetActive(true);  // a lost session has deactivated it
    if (!connector->Connected() && !ASwitchOff && AFinal.empty()) {
        CloseLink();
        return;
    }
    // The port stays open until the release is answered (or its time-out passed), so that its
    // reply is not left on the line for the next program. The completion may come after this
    // runner has finished: it holds nothing but a guarded pointer and the release's number.
    const uint32_t release = ++fRelease;
    fReleasing = true;
    const int requests = (AUnlock ? 1 : 0) + (ASwitchOff ? 1 : 0) + static_cast<int>(AFinal.size());
    // Each request may take the connector's own wait for a reply when none comes, and a port
    // that has to be opened again (at first, or after such a time-out) its connect time.
    const uint32_t each = std::max(fConfig.Timings.ResponseTimeout, connector->ReadTimeout());
    const uint32_t connect = connector->ConnectTimeout();
    const uint32_t bound = requests == 1 && connector->Connected()
                               ? fConfig.Timings.ResponseTimeout
                               : (each + connect) * static_cast<uint32_t>(requests);
    fReleaseBound.start(static_cast<int>(bound));
    QPointer<TCliRunner> self(this);
    // The requests go out in order: the output first, then what the command puts back, so the
    // keys come free with the output off and the supply as it was. The last one's completion
    // ends the wait.
    int left = requests;
    auto last = [self, release, &left](bool AEnds) {
        return [self, release, ends = AEnds && --left == 0](int32_t, const void*) {
            if (self && ends) self->ReleaseEnded(release);
        };
    };
    if (ASwitchOff) {
        fSwitchOffPending = true;
        auto ended = last(true);
        master.WriteHoldingRegister(fCore->MBType(), fCore->MBAddr(), hreg::ONOFF, 0,
                                    [self, ended](int32_t ACode, const void* AData) {
                                        if (!self) return;
                                        self->SwitchOffEnded(ACode);
                                        ended(ACode, AData);
                                    });
    }
    fFinalWrites = AFinal;
    fFinalPending.assign(AFinal.size(), true);
    for (size_t i = 0; i < AFinal.size(); ++i) {
        auto ended = last(true);
        auto done = [self, i, ended](int32_t ACode, const void* AData) {
            if (!self) return;
            self->FinalWriteEnded(i, ACode);
            ended(ACode, AData);
        };
        if (AFinal[i].Values.size() == 1)
            master.WriteHoldingRegister(fCore->MBType(), fCore->MBAddr(), AFinal[i].Start,
                                        AFinal[i].Values[0], done);
        else
            master.WriteHoldingRegisters(fCore->MBType(), fCore->MBAddr(), AFinal[i].Start,
                                         AFinal[i].Values, done);
    }
    if (AUnlock)
        master.WriteHoldingRegister(fCore->MBType(), fCore->MBAddr(), hreg::LOCK, 0, last(true));
}

void TCliRunner::FinalWriteEnded(size_t AIndex, int32_t ACode) {
    if (AIndex >= fFinalPending.size() || !fFinalPending[AIndex]) return;
    fFinalPending[AIndex] = false;
    if (ACode == 0) return;
    FinalWriteFailed(fFinalWrites[AIndex].Failure.arg(ResultText(ACode)));
}

void TCliRunner::FinalWriteFailed(const QString& AText) {
    // Writes that put back one thing share their message: it is printed once.
    if (!fFinalReported.contains(AText)) PrintError(AText);
    fFinalReported << AText;
    if (fExitCode == ceOk) fExitCode = ceLink;
}

void TCliRunner::SwitchOffEnded(int32_t ACode) {
    if (!fSwitchOffPending) return;
    fSwitchOffPending = false;
    if (ACode != 0) SwitchOffFailed(ResultText(ACode));
}

// The output may still be on: that is no success.
void TCliRunner::SwitchOffFailed(const QString& AWhy) {
    PrintError("the output could not be switched off: " + AWhy);
    if (fExitCode == ceOk) fExitCode = ceLink;
}

void TCliRunner::ReleaseEnded(uint32_t ARelease) {
    if (!fReleasing || ARelease != fRelease) return;
    fReleasing = false;
    fReleaseBound.stop();
    if (fSwitchOffPending) {
        fSwitchOffPending = false;
        SwitchOffFailed("no reply from the supply");
    }
    for (size_t i = 0; i < fFinalPending.size(); ++i)
        if (fFinalPending[i]) {
            fFinalPending[i] = false;
            FinalWriteFailed(fFinalWrites[i].Failure.arg("no reply from the supply"));
        }
    // Not from inside the link's completion.
    QMetaObject::invokeMethod(
        this, [this] { CloseLink(); }, Qt::QueuedConnection);
}

void TCliRunner::CloseLink() {
    if (fPhase == phDone) return;
    fReleasing = false;
    fReleaseBound.stop();
    // Closes the port; a connect still under way must not go on to lock the keys of a finished
    // run.
    if (fCore && !fLinkReleased) fCore->ModbusMaster().SetActive(false);
    fPhase = phDone;
    if (fOnFinished) fOnFinished(fExitCode);
}

void TCliRunner::ReleaseLink() {
    fLinkReleased = true;
    if (fCore && fCore->Connected()) fCore->Disconnect();
}

void TCliRunner::Print(const QString& AText) {
    // Output that can no longer be written is dropped: the first failure was reported.
    if (fOutFailed) return;
    errno = 0;
    fOut << AText.toStdString() << std::flush;
    if (fOut) return;
    // Lost output is a local I/O error, whatever the cause (a reader that went away, a full
    // disk): the run ends as on any other end, the output off and the keys given back.
    fOutFailed = true;
    const int error = errno != 0 ? errno : EIO;
    Fail(ceLocalIO, QString("cannot write to standard output: ") + std::strerror(error));
}

void TCliRunner::PrintFields(const TFields& AFields) {
    Print(fRequest.Json ? JsonObject(AFields) + "\n" : TextLines(AFields));
}

void TCliRunner::PrintError(const QString& AText) {
    fErr << "benchlordctl: " << EscapeControls(fMessagePrefix + AText).toStdString() << std::endl;
}
