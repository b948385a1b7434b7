// Connection lifecycle: choosing and opening the link, identification, key lock, session start,
// disconnect, loss, automatic reconnection and port hot-plug.

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include "device/firmware_version.h"
#include "device/identification.h"
#include "device/register_codec.h"
#include "link/com_port_connector.h"
#include "link/ipv4_address.h"
#include "link/modbus_errors.h"
#include "link/modbus_master.h"
#include "link/port_discovery.h"
#include "link/serial_access.h"
#include "link/tcp_connector.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "session/value_format.h"

namespace {

QString LineBreak() {
    return QStringLiteral("\r");
}

// Dotted address without leading zeros from the address kept with the first octet lowest.
QString DottedAddress(uint32_t AAddr) {
    return QString("%1.%2.%3.%4")
        .arg(AAddr & 0xFF)
        .arg((AAddr >> 8) & 0xFF)
        .arg((AAddr >> 16) & 0xFF)
        .arg((AAddr >> 24) & 0xFF);
}

bool SamePort(const QString& A, const QString& B) {
    return A == B || PortDevicePath(A) == PortDevicePath(B);
}

}  // namespace

// --- port list and connection panel ---------------------------------------------------------

bool TSessionCore::FillPortList() {
    SetupEnumAvailableComPorts(fSerialPortList);
    QStringList items;
    for (const TSerialPort& port : fSerialPortList)
        items << port.FriendlyName + " " + fSettings.ReadDevice(port.ShortName);
    fPortIndex = 0;
    bool found = false;
    if (fSettings.ValueExists(settings::kPORT)) {
        const QString remembered = fSettings.ReadString(settings::kPORT);
        for (size_t i = 0; i < fSerialPortList.size(); ++i) {
            if (fSerialPortList[i].ShortName == remembered) {
                fPortIndex = static_cast<int>(i);
                fPanel.BusyAnimation = baSector;
                found = true;
                break;
            }
        }
    } else {
        fPortIndex = items.size() >= 2 ? 1 : 0;
    }
    fView.ShowPortList(items, fPortIndex);
    ApplyPortSelection();
    return found;
}

void TSessionCore::ComPortComboBoxSelect(int AIndex) {
    if (AIndex < 0 || AIndex >= static_cast<int>(fSerialPortList.size())) return;
    fPortIndex = AIndex;
    ApplyPortSelection();
}

void TSessionCore::ApplyPortSelection() {
    const bool tcp = fPortIndex == 0;
    // While a session runs the link controls stay disabled whatever is selected.
    fPanel.IpFieldEnabled = tcp && !fConnected;
    fPanel.BaudListEnabled = !tcp && !fConnected;
    fPanel.AddressListEnabled = !tcp && !fConnected;
    PushPanel();
    if (fPortIndex < static_cast<int>(fSerialPortList.size())) {
        const auto baud =
            fSettings.ApplicableBaud(fSerialPortList[fPortIndex].ShortName, kBaudCount);
        if (baud) {
            fBaudIndex = *baud;
            fView.ShowBaudIndex(fBaudIndex);
        }
    }
}

void TSessionCore::BaudComboBoxSelect(int AIndex) {
    if (AIndex >= 0 && AIndex < kBaudCount) fBaudIndex = AIndex;
}

void TSessionCore::SlaveAddrComboBoxSelect(int AIndex) {
    if (AIndex >= 0 && AIndex < 127) fAddrIndex = AIndex;
}

void TSessionCore::IpMaskEditChange(const QString& AText) {
    fIpText = AText;
}

void TSessionCore::IpMaskEditExit() {
    if (!ParseIPv4(fIpText.toStdString())) fView.ShowError("Not a valid IP address.");
}

// --- connect ----------------------------------------------------------------------------------

void TSessionCore::ConnectBtnClick() {
    Connect(false);
}

void TSessionCore::ConnectQuietly(std::function<void(bool AConnected)> AOnResult) {
    if (fConnected) {
        if (AOnResult) AOnResult(true);
        return;
    }
    fQuietResult = std::move(AOnResult);
    Connect(false);
}

void TSessionCore::EndAttempt() {
    // Plainly disconnected: the link closed, Connect offered, nothing half way.
    if (fModbusMaster->Active()) {
        ActiveConnector()->QueueClear();
        fModbusMaster->SetActive(false);
    }
    fIdentifying = false;
    fLinkStats.End();
    fPanel.BusyRunning = false;
    fPanel.DisconnectEnabled = false;
    fPanel.ConnectEnabled = !fPanel.AutoConnect;
    PushPanel();
    SetTraffic(false, false);
}

void TSessionCore::QuietAttemptFailed() {
    EndAttempt();
    auto result = std::move(fQuietResult);
    fQuietResult = {};
    if (result) result(false);
}

void TSessionCore::Connect(bool AAuto) {
    fAutoAttempt = AAuto;
    // An automatic reconnection after a loss continues the figures; any other connect starts
    // them afresh.
    if (!(fAutoAttempt && fLinkLost)) {
        fLinkLost = false;
        fLinkStats.Reset();
    }
    fView.ResetOscilloscope();
    fPanel.ConnectEnabled = false;
    fPanel.BusyRunning = true;
    fPanel.BusyAnimation = baSector;
    PushPanel();
    QCoreApplication::processEvents();
    if (fDestroying || fConnected) return;
    fMBaddr = static_cast<uint8_t>(fAddrIndex + 1);
    if (fPortIndex != 0)
        SerialConnect();
    else
        TcpConnect();
}

void TSessionCore::ConnectorStatus(TKRConnectorStat AStat) {
    // The connector closes its transport after failures in a row and opens it again on the
    // next request: within a running session that is a reconnection of the link.
    if (fDestroying || !fConnected) return;
    if (AStat == cstDisconnected || AStat == cstWaitReconnecting) {
        fTransportDown = true;
    } else if (AStat == cstConnected && fTransportDown) {
        fTransportDown = false;
        fLinkStats.Reconnected();
    }
}

TKRConnector* TSessionCore::ActiveConnector() const {
    if (fmbType == mbtTCP) return fTCPConnector.get();
    return fCOMPortConnector.get();
}

void TSessionCore::SerialConnect() {
    if (fModbusMaster->Active()) {
        ActiveConnector()->QueueClear();
        fModbusMaster->SetActive(false);
        QThread::msleep(fTimings.ReactivateWait);
    }
    const QString port = fSerialPortList[fPortIndex].ShortName;
    fmbType = mbtRTU;
    fModbusMaster->SetConnector(fCOMPortConnector.get());
    fCOMPortConnector->SetPort(port.toStdString());
    fCOMPortConnector->SetBaudRate(kBaudRates[fBaudIndex]);
    fModbusMaster->SetActive(true);
    if (fCOMPortConnector->Connected()) {
        StartIdentification();
        return;
    }
    // No access, or another program has the port: say which, and what to do.
    const std::string advice =
        SerialAccessAdvice(PortDevicePath(port).toStdString(),
                           fCOMPortConnector->ComPort().OpenErrno(), LineBreak().toStdString());
    if (!advice.empty()) {
        ConnectFailed(QString::fromStdString(advice));
        return;
    }
    ConnectFailed("The " + port + " port is closed or busy!" + LineBreak() +
                  "Please check  the port and close other application using this port.");
}

void TSessionCore::TcpConnect() {
    // An address that does not read strictly is never dialled (no octet taken modulo 256).
    const auto octets = ParseIPv4(fIpText.toStdString());
    uint32_t addr = 0;
    if (octets)
        for (int k = 0; k < 4; ++k)
            addr |= static_cast<uint32_t>((*octets)[k]) << (8 * k);
    if (!octets || addr == 0) {
        // No attempt can be made with such an address, so retrying it is pointless: this box
        // comes also for an automatic attempt, and switches autoconnect off.
        ShowConnectError(!octets ? QStringLiteral("Not a valid IP address.")
                                 : "Wrong address " + fIpText + LineBreak() +
                                       "Please check  the TCP IP address.");
        fAutoAttempt = false;
        fPanel.AutoConnect = false;
        fAutoconnectTimer.stop();
        fPanel.BusyRunning = false;
        fPanel.ConnectEnabled = true;
        PushPanel();
        return;
    }
    if (fModbusMaster->Active()) {
        ActiveConnector()->QueueClear();
        fModbusMaster->SetActive(false);
        QThread::msleep(fTimings.ReactivateWait);
    }
    fTcpIpAddr = addr;
    fmbType = mbtTCP;
    fModbusMaster->SetConnector(fTCPConnector.get());
    const QString dotted = DottedAddress(addr);
    fTCPConnector->SetIP(dotted.toStdString());
    fModbusMaster->SetActive(true);
    if (fTCPConnector->Connected()) {
        StartIdentification();
        return;
    }
    ConnectFailed("The TCP server at " + dotted + " does not replay!" + LineBreak() +
                  "Please check  the TCP IP address.");
}

void TSessionCore::ConnectFailed(const QString& AText) {
    if (fQuietResult) return QuietAttemptFailed();
    if (fAutoAttempt) {
        // Autoconnect tries again in 1.5 s without a word: an unattended bench waits for its
        // supply instead of stopping at a box.
        fAutoAttempt = false;
        fModbusMaster->SetActive(false);
        return;
    }
    ShowConnectError(AText);
    // A connect of the user's that failed ends autoconnect, which the user switches on again.
    fPanel.AutoConnect = false;
    fAutoconnectTimer.stop();
    fPanel.BusyRunning = false;
    fPanel.ConnectEnabled = true;
    PushPanel();
    fModbusMaster->SetActive(false);
}

void TSessionCore::StartIdentification() {
    gData.MODEL = 0;
    gData.LOCK = 0;
    fIdentifying = true;
    SetTraffic(true, fTraffic.Red);
    fModbusMaster->ReadHoldingRegisters(fmbType, fMBaddr, hreg::USET, hreg::kIdentCount,
                                        [this](int32_t AError, const void* AData) {
                                            if (!fDestroying && AError != MBTransportError(7))
                                                CountRequest(AError);
                                            IdentificationReply(AError, AData);
                                        });
    fPanel.DisconnectEnabled = true;
    PushPanel();
}

void TSessionCore::IdentificationReply(int32_t AError, const void* AData) {
    if (fDestroying || AError == MBTransportError(7)) return;
    fIdentifying = false;
    const auto* regs = static_cast<const TKRRegisters*>(AData);
    if (AError == 0 && (regs == nullptr || regs->size() < 15)) AError = mbeDataLength;
    TrafficFromCode(AError);
    if (AError != 0 && fAutoAttempt && !fConnected) {
        // The link opened but the supply did not answer: close it and try again later.
        fAutoAttempt = false;
        fModbusMaster->SetActive(false);
        fPanel.DisconnectEnabled = false;
        PushPanel();
        return;
    }
    if (AError != 0 && fQuietResult) return QuietAttemptFailed();
    if (AError != 0) {
        // No session: the window is plainly disconnected behind the box.
        EndAttempt();
        // The link's own text of the code, after a sentence in the window's language.
        std::string level;
        QString text = "The supply did not answer the identification: " +
                       QString::fromStdString(fModbusMaster->ErrorMsg(AError, level));
        if (fmbType == mbtRTU)
            text += LineBreak() +
                    "Check the baud rate and the slave address. A supply that a firmware update "
                    "left in its boot loader cannot answer: finish the update with \"Firmware "
                    "update\" in this panel.";
        ShowConnectError(text);
        return;
    }
    if (fConnected) return;  // a second identification reply for a running session

    const TIdentification id = Identify(*regs, fResetCountersChecked, gData, fModel, fLimits);
    fView.ShowLimits(fLimits.MaxUset, fLimits.MaxIset, fLimits.MaxPower, fLimits.CurrentDiv,
                     id.CurrentDecimals + 1);
    SetTitle(QString::fromStdString(id.Title));
    fFeatures.Model = gData.MODEL;
    fFeatures.BacklightMax = fModel.BacklightMax;
    fFeatures.Backlight = gData.BLED;
    fFeatures.PresetCheckCaption = "Default on start";
    fFeatures.BatteryTab = false;
    fFeatures.CalibrationTab = false;
    fFeatures.AutoResetCounters = fModel.RCNT;
    fView.ShowModelFeatures(fFeatures);
    fPanel.TemperatureUnitEnabled = false;
    PushPanel();
    if (!id.Accepted) {
        if (fQuietResult) return QuietAttemptFailed();
        // The title shows what was found, but no session starts with this model.
        fPanel.BusyRunning = false;
        PushPanel();
        return;
    }

    SetValueRefresh();
    RefreshOutputs();
    RefreshInputVoltage();
    fPowerOn = gData.ONOFF != 0;
    // Keys already locked belong to whoever locked them (another program, or this session
    // before its link was lost); an observer leaves them as they are.
    if (KeysHeldElsewhere() && fKeysHeldRule == khRefuse) {
        if (fQuietResult) return QuietAttemptFailed();
        fPanel.BusyRunning = false;
        PushPanel();
        if (fOnKeysHeld) fOnKeysHeld();
        return;
    }
    if (KeysHeldElsewhere() && fKeysHeldRule == khTakeOver) fOwnsKeyLock = true;
    if (fObserver || gData.LOCK != 0) {
        SessionStart();
        return;
    }
    WriteRegister(
        hreg::LOCK, 1,
        [this] {
            if (!fConnected) {
                gData.LOCK = 1;
                fOwnsKeyLock = true;
                SessionStart();
            }
        },
        [this](int32_t) {
            // A quiet attempt never waits for a session that cannot start.
            if (fQuietResult && !fConnected) QuietAttemptFailed();
        });
}

void TSessionCore::SessionStart() {
    gData.MMAX = 10;
    fOscillTimer.start(static_cast<int>(fTimings.SessionTick));
    fPanel.BusyRunning = false;
    fPanel.ConnectEnabled = false;
    fPanel.DisconnectEnabled = true;
    fPanel.OnlineLamp = true;
    PushPanel();
    RememberLink();
    fConnected = true;
    fLostPosted = false;
    fTransportDown = false;
    fLastReading = {};
    fLinkStats.Resume();
    if (fLinkLost)
        fLinkStats.Reconnected();
    else
        fHistory.Clear();
    fLinkLost = false;
    fAutoAttempt = false;
    // The loss notice still open tells the user that the bench is back.
    if (fLossBoxOpen)
        fView.RetextError(
            "Connection lost !!!" + LineBreak() + "Reconnected automatically at " +
            QDateTime::fromMSecsSinceEpoch(fWallClock()).toString(QStringLiteral("HH:mm:ss")) +
            ".");
    ConnectedState(gData.ONOFF != 0);
    ResetCounters();
    RepaintCounters();
    fPanel.MemoryButtonsVisible = static_cast<int32_t>(gData.MMAX);
    PushPanel();
    fTemperatureTimerCount = 5;
    fCountersTimerCount = 0;
    fAutoexpandCounter = 0;
    fWriteOnOffAccepted = fPowerOn;

    fTaskMgr->Start();
    fCalibQueue.clear();
    if (gData.VERSION >= 43 || gData.VERSION == 41)
        fTaskMgr->ReadMemNumAndCounters();
    else
        fTaskMgr->ReadMemNum();
    fTaskMgr->ReadMemory();
    if (gData.VERSION >= 36) fTaskMgr->ReadGlobalData();
    if (fOnSessionStarted) fOnSessionStarted();
    if (fQuietResult) {
        auto result = std::move(fQuietResult);
        fQuietResult = {};
        result(true);
    }
}

void TSessionCore::RememberLink() {
    if (fmbType == mbtTCP) {
        fSettings.WriteInteger(settings::kTCP, static_cast<int32_t>(fTcpIpAddr));
        fSettings.WriteString(settings::kPORT, "TCP");
        return;
    }
    const QString port = fSerialPortList[fPortIndex].ShortName;
    fSettings.WriteBaud(port, fBaudIndex);
    fSettings.WriteDevice(port,
                          QString::fromStdString(fLimits.ModelName) + QString::number(gData.MODEL));
    fSettings.WriteString(settings::kPORT, port);
}

void TSessionCore::GlobalDataReply(const TKRRegisters& r) {
    StoreRegisters(gData, hreg::MGIC, r);
    const TClassification cls = ClassifyFirmware(gData, fModel);
    if (cls.Extended) {
        fFeatures.Tmp2CalibEnabled = cls.Tmp2CalibEnabled;
        fFeatures.PresetTriggers = cls.PresetTriggers;
        fPanel.CounterResetEnabled = cls.CounterResetEnabled;
        fPanel.InputVoltageVisible = cls.InputVoltageShown;
        SetDeviceColors(RGB565ToColor(static_cast<uint16_t>(gData.CLR1)),
                        RGB565ToColor(static_cast<uint16_t>(gData.CLR2)),
                        RGB565ToColor(static_cast<uint16_t>(gData.CLR3)));
        RepaintSetColors();
        fFeatures.AutoResetCounters = fModel.RCNT;
        fFeatures.PresetCheckCaption = "Soft Front";
        fPanel.TemperatureVisible = fModel.Temp;
        fPanel.TemperatureUnitEnabled = fModel.Temp;
        if (fModel.Temp) RefreshTemperature();
        fFeatures.Model = gData.MODEL;
        fFeatures.BatteryTab = fModel.BatterySourceEnable;
        fFeatures.CalibrationTab = true;
        fFeatures.BacklightMax = fModel.BacklightMax;
        PushPanel();
        fView.ShowModelFeatures(fFeatures);
        if (fVersionControlMessage && VersionNoticeDue(fModel.Version)) {
            fVersionControlMessage = false;
            PostVersionNotice();
        }
    }
    if (fOnGlobalDataRead) fOnGlobalDataRead();
    fTaskMgr->Callback();
}

// --- connected and disconnected states -------------------------------------------------------

void TSessionCore::ConnectedState(bool AOutputOn) {
    fPanel.AutotestEnabled = true;
    fPanel.PresetPanelEnabled = true;
    fPanel.ParamPanelEnabled = true;
    fPanel.PortListEnabled = false;
    fPanel.IpFieldEnabled = false;
    fPanel.BaudListEnabled = false;
    fPanel.AddressListEnabled = false;
    fPanel.OnOffEnabled = true;
    PushPanel();
    ApplyOutputState(AOutputOn);
}

void TSessionCore::DisconnectedState() {
    if (!fTraffic.Red) SetTraffic(false, false);
    fPanel.PortListEnabled = true;
    ApplyPortSelection();
    fPanel.OnOffEnabled = false;
    fView.ShowRegulation(false, false);
    fView.EndAutotest();
    ApplyOutputState(false);
    fPanel.AutotestEnabled = false;

    // Registers 0 to 11 read as zero while no device is there.
    gData.USET = gData.ISET = gData.UOUT = gData.IOUT = gData.POWER = gData.UIN = 0;
    gData.LOCK = gData.PROTECT = gData.CVCC = gData.ONOFF = gData.BLED = gData.MODEL = 0;
    fView.ShowSetValues(gData.USET, gData.ISET);
    RefreshOutputs();
    ResetCounters();
    RepaintCounters();
    RefreshInputVoltage();
    RefreshProtection();
    fView.ShowSetPower("Power " + FormatFixedPoint(0, 3) + " W");
    fPanel.KnobsEnabled = false;
    fPanel.SetLockCaption = "Unlock SET";
    fPanel.SetLockEnabled = false;
    SetTitle("Benchlord");
    fView.CollapsePresetAndParamPanels();
    // With those two closed the side bar may be empty: show the connection panel, as at start.
    if (fView.AllSidePanelsCollapsed()) fView.ExpandConnectionPanel();
    // The idle look of every model (a KORAD session hid the input-voltage panel).
    fPanel.InputVoltageVisible = true;
    fPanel.PresetPanelEnabled = false;
    fPanel.ParamPanelEnabled = false;
    fSetColor_ = fCLR0;
    fOutColor_ = fCLR0;
    fView.ShowSetColor(fCLR0);
    fView.ShowOutColor(fCLR0);
    fPanel.MemoryButtonsEnabled = false;
    fPanel.MemoryButtonDown = -1;
    PushPanel();
}

void TSessionCore::Disconnect() {
    fTaskMgr->Stop();
    fIdentifying = false;
    fLinkStats.End();
    gData.DVID = 0;
    fPanel.TemperatureVisible = false;
    fOscillTimer.stop();
    fPanel.BusyRunning = false;
    ActiveConnector()->QueueClear();
    fModbusMaster->SetActive(false);
    fPanel.DisconnectEnabled = false;
    fPanel.OnlineLamp = false;
    fPanel.ConnectEnabled = !fPanel.AutoConnect;
    fConnected = false;
    PushPanel();
    DisconnectedState();
    fPanel.KeysLockedVisible = false;
    fPanel.CounterResetEnabled = false;
    PushPanel();
    if (fOnSessionEnded) fOnSessionEnded();
}

void TSessionCore::DisconnectBtnClick() {
    fTaskMgr->Stop();
    TKRConnector* connector = ActiveConnector();
    connector->QueueClear();
    // Release the keys this session locked; the write goes out even when the supply no longer
    // answers, and the wait for it to leave the queue is bounded.
    if (fOwnsKeyLock) {
        fOwnsKeyLock = false;
        WriteRegister(hreg::LOCK, 0, [] {});
        connector->QueueWaitForEmpty(fTimings.DrainTimeout);
    }
    fLinkLost = false;
    Disconnect();
    fPanel.ConnectEnabled = true;
    PushPanel();
}

void TSessionCore::CloseSession() {
    if (fConnected) DisconnectBtnClick();
}

// --- loss, notices, autoconnect, hot-plug ----------------------------------------------------

void TSessionCore::PostConnectionLost() {
    if (fLostPosted) return;  // one message per loss
    fLostPosted = true;
    QMetaObject::invokeMethod(
        this, [this] { ConnectionLost(); }, Qt::QueuedConnection);
}

void TSessionCore::ConnectionLost() {
    fLostPosted = false;
    SetTraffic(true, true);
    fOscillTimer.stop();
    if (fConnected) {
        // The session ends before the box opens: nothing stale looks live behind it, the
        // autotest stops stepping and logging, and with autoconnect on the retries start now,
        // so the bench comes back while the box waits for the user.
        fLosing = true;
        fView.AutotestLinkLost();
        fLinkLost = true;
        fHistory.MarkGap(fWallClock());
        Disconnect();
        AutoConnectSwitchClick(fPanel.AutoConnect);
    }
    // One box for the losses that come while it is open; it tells the latest.
    if (fLossBoxOpen) {
        fLosing = false;
        fView.RetextError("Connection lost !!!");
        return;
    }
    fLossBoxOpen = true;
    ShowConnectError("Connection lost !!!");
    fLossBoxOpen = false;
    fLosing = false;
}

void TSessionCore::PostVersionNotice() {
    QMetaObject::invokeMethod(
        this, [this] { VersionNotice(); }, Qt::QueuedConnection);
}

void TSessionCore::VersionNotice() {
    const TVersion v = fModel.Version;
    if (v < ver_43 && v != ver_4Z) {
        fView.ShowInformation(
            "The power supply firmware is outdated. To take advantage of all the features\r"
            "of the program, update the firmware of the power supply.");
    } else if (v == ver_New) {
        fView.ShowInformation(
            "This version of Benchlord is outdated.\rIt is advisable to install the latest "
            "version.");
    }
}

void TSessionCore::PostAutoExpand() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (fView.AllSidePanelsCollapsed()) fView.ExpandConnectionPanel();
        },
        Qt::QueuedConnection);
}

void TSessionCore::AutoConnectSwitchClick(bool AOn) {
    fPanel.AutoConnect = AOn;
    if (AOn) {
        fPanel.ConnectEnabled = false;
        if (!fConnected) {
            fAutoconnectTimer.start();
            fPanel.BusyRunning = true;
        }
    } else {
        fPanel.ConnectEnabled = !fPanel.DisconnectEnabled;
        fAutoconnectTimer.stop();
        fPanel.BusyRunning = false;
    }
    PushPanel();
}

void TSessionCore::ShowConnectError(const QString& AText) {
    ++fErrorBoxesOpen;
    fView.ShowError(AText);
    --fErrorBoxesOpen;
}

void TSessionCore::AutoconnectTimerEvent() {
    fAutoconnectTimer.stop();
    fAutoconnectTimer.setInterval(static_cast<int>(fTimings.AutoconnectRetry));
    if (fConnected) return;
    // No attempt while another connection error box is open or an identification is under
    // way; the loss notice does not hold the retries back.
    if (fErrorBoxesOpen > (fLossBoxOpen ? 1 : 0) || fIdentifying) {
        if (fPanel.AutoConnect) fAutoconnectTimer.start();
        return;
    }
    if (FillPortList()) Connect(true);
    if (fPanel.AutoConnect && !fConnected) fAutoconnectTimer.start();
}

void TSessionCore::DeviceChange(TPortChange AChange, const QString& AName) {
    if (AChange == pcRemoval) {
        FillPortList();
        // Only the removal of the port this session runs on ends it.
        if (fConnected && fmbType == mbtRTU &&
            SamePort(QString::fromStdString(fCOMPortConnector->Port()), AName)) {
            fLinkLost = true;
            fHistory.MarkGap(fWallClock());
            Disconnect();
            if (fPanel.AutoConnect) {
                fPanel.BusyAnimation = baDots;
                fPanel.BusyRunning = true;
                PushPanel();
            }
        }
        return;
    }
    if (FillPortList() && fPanel.AutoConnect) {
        fAutoconnectTimer.setInterval(static_cast<int>(fTimings.AutoconnectFirst));
        fAutoconnectTimer.start();
        fPanel.BusyAnimation = baSector;
        fPanel.BusyRunning = true;
        PushPanel();
    }
}
