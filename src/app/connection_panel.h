#pragma once
// The "Connection" panel: port list, baud and address lists, TCP address field, Connect and
// Disconnect, the autoconnect switch with the busy indicator, and the traffic and online lamps.
// It only shows and forwards; the session decides.

#include <QTimer>
#include <QWidget>
#include <functional>

#include "session/link_figures.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TBusyIndicator;
class TdsLed;
struct TPanelState;
struct TTrafficLamp;

class TConnectionPanel : public QWidget {
public:
    explicit TConnectionPanel(QWidget* AParent);

    void ShowPortList(const QStringList& AItems, int ASelected);
    void ShowBaudIndex(int AIndex);
    void ShowAddressIndex(int AIndex);
    void ShowIpText(const QString& AText);
    void ShowTraffic(const TTrafficLamp& ALamp);
    void ApplyPanel(const TPanelState& AState);

    std::function<void(int)> OnPortSelect;
    std::function<void(int)> OnBaudSelect;
    std::function<void(int)> OnAddressSelect;
    std::function<void(const QString&)> OnIpChange;
    std::function<void()> OnIpExit;
    std::function<void()> OnConnect;
    std::function<void()> OnDisconnect;
    std::function<void(bool)> OnAutoConnect;
    // "Firmware update": the update window, on a serial port, with or without a session.
    std::function<void()> OnFirmware;
    // The link's figures, shown once a second while the online lamp is lit.
    std::function<TLinkFigures()> LinkFigures;
    void RefreshLinkFigures();
    // "Metrics": /metrics for Prometheus on the address beside it, switched on or off.
    std::function<void(bool AOn, const QString& AAddress)> OnMetrics;
    // Serving or not, the address, and what the switch's tooltip says about it.
    void ShowMetrics(bool AOn, const QString& AAddress, const QString& AStatus);

    QComboBox* ComPortComboBox() const { return fPorts; }
    QComboBox* BaudComboBox() const { return fBauds; }
    QComboBox* SlaveAddrComboBox() const { return fAddresses; }
    QLineEdit* IpMaskEdit() const { return fIp; }
    QPushButton* ConnectBtn() const { return fConnect; }
    QPushButton* DisconnectBtn() const { return fDisconnect; }
    QPushButton* FirmwareBtn() const { return fFirmware; }
    QCheckBox* AutoConnectSwitch() const { return fAutoConnect; }
    TBusyIndicator* ConnectingIndicator() const { return fBusy; }
    TdsLed* TrafficLed() const { return fTraffic; }
    TdsLed* OnlineLed() const { return fOnline; }
    QLabel* LinkFiguresLabel() const { return fFigures; }
    QCheckBox* MetricsSwitch() const { return fMetrics; }
    QLineEdit* MetricsAddressEdit() const { return fMetricsAddress; }

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void ApplyTraffic();
    void UpdateFirmwareBtn();

    QComboBox* fPorts;
    QComboBox* fBauds;
    QComboBox* fAddresses;
    QLineEdit* fIp;
    QPushButton* fConnect;
    QPushButton* fDisconnect;
    QPushButton* fFirmware;
    QCheckBox* fAutoConnect;
    // The address with each octet's digits in three places ("127.0__.1" -> "127.000.001"); the
    // cursor then goes to the start of octet ANextOctet (1..3).
    void PadIpText(int ANextOctet);
    TBusyIndicator* fBusy;
    TdsLed* fTraffic;
    TdsLed* fOnline;
    bool fIdle = true;      // no session: the port is free
    bool fSession = false;  // a session runs
    QLabel* fFigures;
    QTimer fFiguresTimer;
    QCheckBox* fMetrics;
    QLineEdit* fMetricsAddress;

    // The traffic lamp follows the requests at a visible pace: it changes at most once per
    // period, lit for the whole period when any request went out in it, so steady polling
    // shows a steadily lit lamp and a lone request a short flash.
    static constexpr int kTrafficPeriodMs = 100;
    QTimer fTrafficPeriod;
    bool fTrafficLatestLit = false;
    bool fTrafficLatestRed = false;
    bool fTrafficSeenLit = false;  // a request went out since the lamp was last set
    bool fTrafficNews = false;     // the session reported something since then
};

// An address as typed into the field, each octet that holds a digit written with three.
QString PaddedAddress(const QString& AText);
