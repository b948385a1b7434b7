#include "session/session_core.h"

#include <QDateTime>

#include "link/com_port_connector.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"
#include "session/settings_store.h"

TSessionCore::TSessionCore(TSessionView& AView, TSettingsStore& ASettings, const TTickClock& AClock,
                           TSessionTimings ATimings, QObject* AParent)
    : QObject(AParent),
      fView(AView),
      fSettings(ASettings),
      fClock(AClock),
      fTimings(ATimings),
      fCOMPortConnector(std::make_unique<TKRCOMPortConnector>()),
      fTCPConnector(std::make_unique<TKRTCPConnector>()),
      fModbusMaster(std::make_unique<TKRModbusMaster>()),
      fTaskMgr(std::make_unique<TLN_TaskMgr>(ATimings.TaskInterval)),
      fWallClock([] { return QDateTime::currentMSecsSinceEpoch(); }) {
    fCOMPortConnector->SetName("COMPortConnector");
    fCOMPortConnector->SetReadTimeout(500);
    fCOMPortConnector->SetWriteTimeout(500);
    fCOMPortConnector->SetWaitRespTime(1000);
    fCOMPortConnector->SetBaudRate(9600);
    fTCPConnector->SetName("TCPConnector");
    fModbusMaster->SetName("ModbusMaster");
    fModbusMaster->SetCheckID(true);
    fModbusMaster->SetConnector(fCOMPortConnector.get());
    const auto status = [this](TKRConnector*, TKRConnectorStat AStat, uint32_t) {
        ConnectorStatus(AStat);
    };
    fCOMPortConnector->SetOnConnectionStatus(status);
    fTCPConnector->SetOnConnectionStatus(status);

    fTaskMgr->SetTimeout(fTimings.ResponseTimeout);
    // The pause after each reply is kept by the link's worker right after the exchange, so that
    // each request costs neither a scheduler timer nor a wake-up of an idle worker.
    fCOMPortConnector->SetExchangePause(fTimings.TaskInterval);
    fTCPConnector->SetExchangePause(fTimings.TaskInterval);
    fTaskMgr->SetPauseInLink(true);
    fTaskMgr->SetRepeatPoll(fTimings.RepeatPoll);
    BindJobs();

    fOscillTimer.setInterval(static_cast<int>(fTimings.SessionTick));
    connect(&fOscillTimer, &QTimer::timeout, this, [this] { SessionTick(); });
    fAutoconnectTimer.setInterval(static_cast<int>(fTimings.AutoconnectFirst));
    connect(&fAutoconnectTimer, &QTimer::timeout, this, [this] { AutoconnectTimerEvent(); });
}

TSessionCore::~TSessionCore() {
    // Completions of packets still in the link arrive while the connectors shut down; they must
    // not reach a half-destroyed session.
    fDestroying = true;
    fTaskMgr->Stop();
    fOscillTimer.stop();
    fAutoconnectTimer.stop();
    fModbusMaster->SetActive(false);
    fModbusMaster->SetConnector(nullptr);
    fModbusMaster.reset();
    fTCPConnector.reset();
    fCOMPortConnector.reset();
}

void TSessionCore::PushPanel() {
    fView.ShowPanelState(fPanel);
}

void TSessionCore::SetTitle(const QString& ATitle) {
    fTitle = ATitle;
    fView.ShowTitle(ATitle);
}

void TSessionCore::LoadSettings() {
    fResetCountersChecked = fSettings.ReadInteger(settings::kRCNT) == 1;
    if (fSettings.ValueExists(settings::kCLR1))
        fCLR1 = static_cast<TColor>(fSettings.ReadInteger(settings::kCLR1));
    if (fSettings.ValueExists(settings::kCLR2))
        fCLR2 = static_cast<TColor>(fSettings.ReadInteger(settings::kCLR2));
    if (fSettings.ValueExists(settings::kCLR3))
        fCLR3 = static_cast<TColor>(fSettings.ReadInteger(settings::kCLR3));
    const int32_t baud = fSettings.ReadIntegerOr(settings::kBAUDRATE, settings::kDefaultBAUDRATE);
    if (baud >= 0 && baud < kBaudCount) fBaudIndex = baud;
    const int32_t addr = fSettings.ReadIntegerOr(settings::kMBADDR, settings::kDefaultMBADDR);
    if (addr >= 0 && addr < 127) fAddrIndex = addr;
    if (fSettings.ValueExists(settings::kTCP)) {
        const auto ip = static_cast<uint32_t>(fSettings.ReadInteger(settings::kTCP));
        fTcpIpAddr = ip;
        auto octet = [](uint32_t v) { return QString("%1").arg(v & 0xFF, 3, 10, QChar('0')); };
        fIpText = octet(ip) + "." + octet(ip >> 8) + "." + octet(ip >> 16) + "." + octet(ip >> 24);
    }
    fView.ShowBaudIndex(fBaudIndex);
    fView.ShowAddressIndex(fAddrIndex);
    fView.ShowIpText(fIpText);
    fFeatures.AutoResetCounters = fResetCountersChecked;
    fView.ShowModelFeatures(fFeatures);
    SetTitle("Benchlord");
    FillPortList();
}

void TSessionCore::RestoreAutoConnect() {
    const bool on = fSettings.ReadInteger(settings::kAutoconnect) != 0;
    AutoConnectSwitchClick(on);
}

void TSessionCore::SaveSettings() {
    fSettings.WriteInteger(settings::kAutoconnect, fPanel.AutoConnect ? 1 : 0);
    fSettings.WriteInteger(settings::kRCNT, fResetCountersChecked ? 1 : 0);
    fSettings.WriteInteger(settings::kCLR1, static_cast<int32_t>(fCLR1));
    fSettings.WriteInteger(settings::kCLR2, static_cast<int32_t>(fCLR2));
    fSettings.WriteInteger(settings::kCLR3, static_cast<int32_t>(fCLR3));
    fSettings.WriteInteger(settings::kBAUDRATE, fBaudIndex);
    fSettings.WriteInteger(settings::kMBADDR, fAddrIndex);
}
