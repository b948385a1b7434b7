#include "cli/cli_runner.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <ostream>

#include "cli/cli_help.h"
#include "cli/cli_link.h"
#include "link/com_port_connector.h"
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
      fConfig(std::move(AConfig)) {}

TCliRunner::~TCliRunner() {
    // The link goes first: its workers may still post into this object.
    fCommand.reset();
    fCore.reset();
    if (fAddedExtraPort) RemoveExtraPort(fRequest.Link.Port);
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
    if (fRequest.Command == "sequence" && fRequest.SequenceAction == "show") {
        Print(SequenceTableText(fRequest, fConfig));
        Finish(ceOk);
        return;
    }
    fCommand = MakeCommand(*this);
    const QString error = fCommand->Prepare();
    if (!error.isEmpty()) {
        Fail(ceUsage, error);
        return;
    }
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
    fCommand->SessionCreated();
    if (fConfig.TcpReadTimeout != 0) fCore->TCPConnector().SetReadTimeout(fConfig.TcpReadTimeout);
    if (fConfig.TcpConnectTimeout != 0)
        fCore->TCPConnector().SetConnectTimeout(fConfig.TcpConnectTimeout);
    if (fConfig.SerialWaitResp != 0)
        fCore->COMPortConnector().SetWaitRespTime(fConfig.SerialWaitResp);

    // Exception replies are recognised on the workers, before the session's handlers turn them
    // into a red traffic lamp; the code is kept for the decision on the exit code.
    auto sniff = [this](TKRConnector* AConnector, PKRBuffer APack, int32_t ALength) {
        const TMBType type = AConnector->ConnectorType() == ctTCPClient ? mbtTCP : mbtRTU;
        const uint8_t code = ReplyException(type, APack->data(), ALength);
        if (code == 0) return;
        fException.store(code);
        QMetaObject::invokeMethod(this, "ExceptionSeen", Qt::QueuedConnection);
    };
    fCore->TCPConnector().SetOnRecv(sniff);
    fCore->COMPortConnector().SetOnRecv(sniff);

    fView.fOnError = [this](const QString& AText) { ErrorShown(AText); };
    fView.fOnInformation = [this](const QString& AText) {
        if (fPhase < phFinishing) PrintError(MessageLines(AText));
    };
    fView.fOnLimits = [this] { LimitsKnown(); };
    fView.fOnTraffic = [this](const TTrafficLamp& ALamp) { TrafficChanged(ALamp); };
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
            Fail(ceLink, error);
            return false;
        }
        fCore->FillPortList();
        fCore->ComPortComboBoxSelect(0);
        fCore->IpMaskEditChange(address);
        fCore->TCPConnector().SetPort(link.TcpPort);
    } else {
        // A device path (a pseudo-terminal, a by-id link) is listed as an extra port.
        if (link.Port.contains('/') && !ExtraPorts().contains(link.Port)) {
            AddExtraPort(link.Port);
            fAddedExtraPort = true;
        }
        fCore->FillPortList();
        const int index = FindPortIndex(fCore->SerialPortList(), link.Port);
        if (index < 0) {
            Fail(ceLink, MessageLines("The " + link.Port + " port is closed or busy!\r" +
                                      "Please check  the port and close other application using "
                                      "this port."));
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
        Fail(ceLink, fCore->Title() + ": this model is not supported.");
}

void TCliRunner::TrafficChanged(const TTrafficLamp& ALamp) {
    // While identified but not yet running, the only request is the key-lock write.
    if (fPhase != phIdentified || !ALamp.Red) return;
    const int code = fException.exchange(0);
    if (code != 0) {
        std::string level;
        Fail(ceRefused, QString::fromStdString(ModbusErrorMsg(code, level)));
    } else {
        Fail(ceLink, "The keys of the supply could not be locked.");
    }
}

void TCliRunner::SessionStarted() {
    if (fPhase >= phFinishing) return;
    fPhase = phRunning;
    fLockTaken = true;
    if (fOnSessionStarted) fOnSessionStarted();
    if (fCommand) fCommand->Started();
}

void TCliRunner::SessionEnded() {
    // Ended by the session itself (not by our own disconnect).
    if (fPhase < phFinishing && !fLinkReleased) Finish(ceLink);
}

void TCliRunner::Reading() {
    fKeysFreeAtDevice = fCore->Data().LOCK == 0;
    if (fPhase == phRunning && !fKeysFreeAtDevice && fCommand) fCommand->LiveReading();
}

void TCliRunner::ErrorShown(const QString& AText) {
    if (fPhase >= phFinishing) return;
    PrintError(MessageLines(AText));
    Finish(fException.exchange(0) != 0 ? ceRefused : ceLink);
}

void TCliRunner::ExceptionSeen() {
    if (fPhase >= phFinishing) return;
    const int code = fException.exchange(0);
    if (code == 0) return;
    std::string level;
    Fail(ceRefused, QString::fromStdString(ModbusErrorMsg(code, level)));
}

void TCliRunner::Interrupt() {
    if (fPhase >= phFinishing) return;
    const bool normalEnd = fPhase == phRunning && fCommand && fCommand->InterruptIsSuccess();
    Finish(normalEnd ? ceOk : ceInterrupted);
}

void TCliRunner::Fail(int ACode, const QString& AMessage) {
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
    if (fCommand) fCommand->Stopping();
    if (fCore && !fLinkReleased) {
        if (fCore->Connected()) {
            if (fRequest.KeepLock)
                fCore->TaskMgr().Stop();
            else
                fCore->DisconnectBtnClick();  // key release, bounded wait, disconnect
        } else {
            if (fLockTaken && !fRequest.KeepLock && !fKeysFreeAtDevice) ReleaseAfterLoss();
            // A connect still under way must not go on to lock the keys of a finished run.
            fCore->ModbusMaster().SetActive(false);
        }
    }
    fPhase = phDone;
    if (fOnFinished) fOnFinished(fExitCode);
}

void TCliRunner::ReleaseAfterLoss() {
    // The session has closed the link. When the supply can still be reached, give its keys
    // back: one write, bounded by the drain time of a disconnect.
    TKRModbusMaster& master = fCore->ModbusMaster();
    TKRConnector* connector = master.Connector();
    if (connector == nullptr) return;
    master.SetActive(true);
    if (connector->Connected()) {
        QEventLoop loop;
        bool answered = false;
        master.WriteHoldingRegister(fCore->MBType(), fCore->MBAddr(), 6, 0,
                                    [&](int32_t, const void*) {
                                        answered = true;
                                        loop.quit();
                                    });
        if (!answered) {
            QTimer::singleShot(fConfig.Timings.DrainTimeout, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    master.SetActive(false);
}

void TCliRunner::ReleaseLink() {
    fLinkReleased = true;
    if (fCore && fCore->Connected()) fCore->Disconnect();
}

void TCliRunner::Print(const QString& AText) {
    fOut << AText.toStdString() << std::flush;
    // The reader went away (a pipe into 'head'): end as on an interrupt, so the keys are still
    // given back.
    if (!fOut) Interrupt();
}

void TCliRunner::PrintFields(const TFields& AFields) {
    Print(fRequest.Json ? JsonObject(AFields) + "\n" : TextLines(AFields));
}

void TCliRunner::PrintError(const QString& AText) {
    fErr << AText.toStdString() << std::endl;
}
