#include "app/connection_panel.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/busy_indicator.h"
#include "app/lamp_look.h"
#include "controls/led.h"
#include "session/session_core.h"
#include "session/session_view.h"

namespace {

constexpr TColor kTrafficYellow = TColorFromRGB(0xE8, 0xC0, 0x20);
constexpr TColor kTrafficRed = TColorFromRGB(0xFF, 0x30, 0x28);

QLabel* FieldLabel(const QString& AText, QWidget* AParent) {
    auto* label = new QLabel(AText, AParent);
    label->setObjectName(QStringLiteral("FieldLabel"));
    return label;
}

TdsLed* Lamp(const QString& AName, TColor AOn, QWidget* AParent) {
    return MakePanelLamp(AParent, AName, AOn, 14);
}

}  // namespace

TConnectionPanel::TConnectionPanel(QWidget* AParent)
    : QWidget(AParent),
      fPorts(new QComboBox(this)),
      fBauds(new QComboBox(this)),
      fAddresses(new QComboBox(this)),
      fIp(new QLineEdit(this)),
      fConnect(new QPushButton(QStringLiteral("Connect"), this)),
      fDisconnect(new QPushButton(QStringLiteral("Disconnect"), this)),
      fFirmware(new QPushButton(QStringLiteral("Firmware update"), this)),
      fAutoConnect(new QCheckBox(QStringLiteral("Autoconnect"), this)),
      fBusy(new TBusyIndicator(this)),
      fTraffic(Lamp(QStringLiteral("TrafficLed"), kTrafficYellow, this)),
      fOnline(Lamp(QStringLiteral("OnlineLed"), TColorFromRGB(0x30, 0xE0, 0x50), this)),
      fFigures(new QLabel(this)),
      fMetrics(new QCheckBox(QStringLiteral("Metrics"), this)),
      fMetricsAddress(new QLineEdit(this)) {
    setObjectName(QStringLiteral("ConnectionPanel"));
    fTrafficPeriod.setSingleShot(true);
    fTrafficPeriod.setInterval(kTrafficPeriodMs);
    connect(&fTrafficPeriod, &QTimer::timeout, this, [this] { ApplyTraffic(); });
    fPorts->setObjectName(QStringLiteral("ComPortComboBox"));
    fBauds->setObjectName(QStringLiteral("BaudComboBox"));
    fAddresses->setObjectName(QStringLiteral("SlaveAddrComboBox"));
    fIp->setObjectName(QStringLiteral("IpMaskEdit"));
    fConnect->setObjectName(QStringLiteral("ConnectBtn"));
    fDisconnect->setObjectName(QStringLiteral("DisconnectBtn"));
    fFirmware->setObjectName(QStringLiteral("FirmwareBtn"));
    fFirmware->setToolTip(
        QStringLiteral("Update the supply's firmware over the selected serial port: connected, "
                       "through the session; not connected, a supply that waits in its boot "
                       "loader (an update cut short)"));
    fAutoConnect->setObjectName(QStringLiteral("AutoConnectSwitch"));

    for (int k = 0; k < kBaudCount; ++k)
        fBauds->addItem(QString::number(kBaudRates[k]));
    for (int a = 1; a <= 127; ++a)
        fAddresses->addItem(QString::number(a));
    fBauds->setCurrentIndex(2);
    fIp->setInputMask(QStringLiteral("000.000.000.000;_"));
    fIp->setText(QStringLiteral("192.168.001.001"));
    fIp->installEventFilter(this);
    fDisconnect->setEnabled(false);
    fBusy->setFixedSize(22, 22);
    fPorts->setToolTip(QStringLiteral("Serial port, or TCP for the network bridge"));
    fBauds->setToolTip(QStringLiteral("Baud rate"));
    fAddresses->setToolTip(QStringLiteral("Modbus slave address"));
    fIp->setToolTip(QStringLiteral("IP address of the TCP bridge"));
    fAutoConnect->setToolTip(QStringLiteral("Reconnect automatically to the last used port"));
    fTraffic->setToolTip(
        QStringLiteral("Traffic: yellow while requests are going out, red after a failure"));
    fOnline->setToolTip(QStringLiteral("Online: lit while a session with the supply runs"));
    fFigures->setObjectName(QStringLiteral("LinkFiguresLabel"));
    fFigures->setToolTip(QStringLiteral("Link figures while connected"));
    fMetrics->setObjectName(QStringLiteral("MetricsSwitch"));
    fMetricsAddress->setObjectName(QStringLiteral("MetricsAddressEdit"));
    fMetricsAddress->setToolTip(
        QStringLiteral("Address and port of /metrics, e.g. 127.0.0.1:9464 (loopback only) or "
                       "0.0.0.0:9464 (every network)"));
    ShowMetrics(false, QString(), QString());
    fFiguresTimer.setInterval(1000);
    connect(&fFiguresTimer, &QTimer::timeout, this, [this] { RefreshLinkFigures(); });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    grid->addWidget(FieldLabel(QStringLiteral("Port"), this), 0, 0);
    grid->addWidget(fPorts, 0, 1, 1, 3);
    grid->addWidget(FieldLabel(QStringLiteral("Baud"), this), 1, 0);
    grid->addWidget(fBauds, 1, 1);
    grid->addWidget(FieldLabel(QStringLiteral("Addr"), this), 1, 2);
    grid->addWidget(fAddresses, 1, 3);
    grid->addWidget(FieldLabel(QStringLiteral("TCP"), this), 2, 0);
    grid->addWidget(fIp, 2, 1, 1, 3);
    grid->addWidget(fConnect, 3, 0, 1, 2);
    grid->addWidget(fDisconnect, 3, 2, 1, 2);

    auto* status = new QHBoxLayout();
    status->setSpacing(6);
    status->addWidget(fAutoConnect);
    status->addWidget(fBusy);
    status->addStretch(1);
    status->addWidget(fTraffic);
    auto* trafficCaption = FieldLabel(QStringLiteral("Traffic"), this);
    trafficCaption->setToolTip(fTraffic->toolTip());
    status->addWidget(trafficCaption);
    status->addSpacing(6);
    status->addWidget(fOnline);
    auto* onlineCaption = FieldLabel(QStringLiteral("Online"), this);
    onlineCaption->setToolTip(fOnline->toolTip());
    status->addWidget(onlineCaption);
    grid->addLayout(status, 4, 0, 1, 4);
    grid->addWidget(fFigures, 5, 0, 1, 4);
    // A row of its own: the status row has no room for the button's caption.
    grid->addWidget(fFirmware, 6, 2, 1, 2);
    grid->addWidget(fMetrics, 7, 0);
    grid->addWidget(fMetricsAddress, 7, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(fPorts, &QComboBox::currentIndexChanged, this, [this] { UpdateFirmwareBtn(); });
    connect(fPorts, &QComboBox::activated, this, [this](int AIndex) {
        if (OnPortSelect) OnPortSelect(AIndex);
    });
    connect(fBauds, &QComboBox::activated, this, [this](int AIndex) {
        if (OnBaudSelect) OnBaudSelect(AIndex);
    });
    connect(fAddresses, &QComboBox::activated, this, [this](int AIndex) {
        if (OnAddressSelect) OnAddressSelect(AIndex);
    });
    connect(fIp, &QLineEdit::textEdited, this, [this](const QString& AText) {
        if (OnIpChange) OnIpChange(AText);
    });
    connect(fFirmware, &QPushButton::clicked, this, [this] {
        if (OnFirmware) OnFirmware();
    });
    connect(fConnect, &QPushButton::clicked, this, [this] {
        if (OnConnect) OnConnect();
    });
    connect(fDisconnect, &QPushButton::clicked, this, [this] {
        if (OnDisconnect) OnDisconnect();
    });
    connect(fAutoConnect, &QCheckBox::clicked, this, [this](bool AOn) {
        if (OnAutoConnect) OnAutoConnect(AOn);
    });
    connect(fMetrics, &QCheckBox::clicked, this, [this](bool AOn) {
        if (OnMetrics) OnMetrics(AOn, fMetricsAddress->text());
    });
    // Return in the address field switches the metrics on there.
    connect(fMetricsAddress, &QLineEdit::returnPressed, this, [this] {
        if (OnMetrics) OnMetrics(true, fMetricsAddress->text());
    });
}

void TConnectionPanel::ShowMetrics(bool AOn, const QString& AAddress, const QString& AStatus) {
    fMetrics->setChecked(AOn);
    if (fMetricsAddress->text() != AAddress) fMetricsAddress->setText(AAddress);
    // The address is changed while the metrics are off.
    fMetricsAddress->setEnabled(!AOn);
    fMetrics->setToolTip(AStatus.isEmpty()
                             ? QStringLiteral("Serve the supply's readings and link figures "
                                              "for Prometheus on the address beside")
                             : AStatus);
}

QString PaddedAddress(const QString& AText) {
    QStringList octets = AText.split(QChar('.'));
    for (QString& octet : octets) {
        QString digits;
        for (const QChar c : octet)
            if (c.isDigit()) digits += c;
        if (!digits.isEmpty()) octet = digits.rightJustified(3, QChar('0'));
    }
    return octets.join(QChar('.'));
}

void TConnectionPanel::PadIpText(int ANextOctet) {
    const QString padded = PaddedAddress(fIp->text());
    if (padded != fIp->text()) {
        fIp->setText(padded);
        if (OnIpChange) OnIpChange(padded);
    }
    if (ANextOctet > 0 && ANextOctet < 4) fIp->setCursorPosition(ANextOctet * 4);
}

bool TConnectionPanel::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched != fIp) return false;
    // A typed "." ends the octet: it is shown with three digits and the next one follows, so
    // that "127.0.0.1" typed as written reads 127.000.000.001.
    if (AEvent->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(AEvent)->text() == QStringLiteral(".")) {
        const int octet = std::clamp((fIp->cursorPosition() - 1) / 4, 0, 3);
        PadIpText(octet + 1);
        return true;
    }
    // Leaving the address field completes and checks it.
    if (AEvent->type() == QEvent::FocusOut) {
        PadIpText(0);
        if (OnIpExit) OnIpExit();
    }
    return false;
}

void TConnectionPanel::UpdateFirmwareBtn() {
    // Only on a serial entry (entry 0 is the TCP bridge): without a session, or through a
    // session that is running (not while one is being set up).
    fFirmware->setEnabled((fIdle || fSession) && fPorts->currentIndex() > 0);
}

void TConnectionPanel::ShowPortList(const QStringList& AItems, int ASelected) {
    fPorts->clear();
    fPorts->addItems(AItems);
    fPorts->setCurrentIndex(ASelected);
    // A drop-down wide enough for the longest name.
    const QFontMetrics metrics(fPorts->view()->font());
    int widest = 0;
    for (const QString& item : AItems)
        widest = std::max(widest, metrics.horizontalAdvance(item));
    if (widest + 24 > fPorts->width()) fPorts->view()->setMinimumWidth(widest + 24);
    fPorts->setToolTip(fPorts->currentText());
}

void TConnectionPanel::ShowBaudIndex(int AIndex) {
    fBauds->setCurrentIndex(AIndex);
}

void TConnectionPanel::ShowAddressIndex(int AIndex) {
    fAddresses->setCurrentIndex(AIndex);
}

void TConnectionPanel::ShowIpText(const QString& AText) {
    fIp->setText(AText);
}

void TConnectionPanel::ShowTraffic(const TTrafficLamp& ALamp) {
    fTrafficLatestLit = ALamp.Lit;
    fTrafficLatestRed = ALamp.Red;
    fTrafficSeenLit = fTrafficSeenLit || ALamp.Lit;
    fTrafficNews = true;
    if (!fTrafficPeriod.isActive()) ApplyTraffic();
}

void TConnectionPanel::ApplyTraffic() {
    const bool lit = fTrafficSeenLit || fTrafficLatestLit;
    const TColor color = fTrafficLatestRed ? kTrafficRed : kTrafficYellow;
    // A quiet period with the lamp already right: the next report shows at once.
    if (!fTrafficNews && lit == fTraffic->LedOn() && color == fTraffic->OnColor()) return;
    fTraffic->SetOnColor(color);
    fTraffic->SetLedOn(lit);
    fTrafficSeenLit = fTrafficLatestLit;
    fTrafficNews = false;
    fTrafficPeriod.start();
}

void TConnectionPanel::ApplyPanel(const TPanelState& AState) {
    fConnect->setEnabled(AState.ConnectEnabled);
    fDisconnect->setEnabled(AState.DisconnectEnabled);
    fIdle = AState.ConnectEnabled && !AState.DisconnectEnabled;
    fSession = AState.OnlineLamp && AState.DisconnectEnabled;
    UpdateFirmwareBtn();
    fPorts->setEnabled(AState.PortListEnabled);
    fBauds->setEnabled(AState.BaudListEnabled);
    fAddresses->setEnabled(AState.AddressListEnabled);
    fIp->setEnabled(AState.IpFieldEnabled);
    fAutoConnect->setChecked(AState.AutoConnect);
    fBusy->SetAnimation(AState.BusyAnimation);
    fBusy->SetRunning(AState.BusyRunning);
    fOnline->SetLedOn(AState.OnlineLamp);
    if (AState.OnlineLamp && !fFiguresTimer.isActive()) {
        fFiguresTimer.start();
        RefreshLinkFigures();
    } else if (!AState.OnlineLamp && fFiguresTimer.isActive()) {
        // The last figures stay readable after a disconnect or a loss.
        fFiguresTimer.stop();
        RefreshLinkFigures();
    }
}

void TConnectionPanel::RefreshLinkFigures() {
    if (!LinkFigures) return;
    const TLinkFigures figures = LinkFigures();
    fFigures->setText(LinkFiguresLine(figures));
    fFigures->setToolTip(LinkFiguresDetails(figures));
}
