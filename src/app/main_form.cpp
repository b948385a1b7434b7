// The main window: layout, creation and close, activation, the wheel.

#include "app/main_form.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWheelEvent>

#include "app/connection_panel.h"
#include "app/message_presenter.h"
#include "app/output_panel.h"
#include "app/param_panel.h"
#include "app/preset_bar.h"
#include "app/preset_panel.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "app/window_metrics.h"
#include "controls/enter_form.h"
#include "controls/enter_form_base.h"
#include "controls/focus_frame.h"
#include "controls/indicator.h"
#include "controls/panel_scaler.h"
#include "controls/panel_wheel.h"
#include "controls/wheel_pause.h"
#include "link/port_notifier.h"
#include "link/tcp_connector.h"
#include "maintenance/advanced_form.h"
#include "session/framed_view.h"
#include "session/parameters.h"
#include "session/presets.h"

namespace {

constexpr int kMargin = 8;
constexpr int kToolBarHeight = 34;
constexpr int kLeftWidth = 564;
constexpr int kSetHeight = 150;
constexpr int kSideX = kMargin + kLeftWidth + 8;

}  // namespace

TMainForm::TMainForm(const TMainFormOptions& AOptions, QWidget* AParent)
    : QWidget(AParent), fOptions(AOptions) {
    setObjectName(QStringLiteral("MainForm"));
    setAttribute(Qt::WA_StyledBackground);
    // The panel is drawn for 880 x 512 and scaled to the window; the window may be resized from
    // 70 % of that size on.
    setMinimumSize(MinimumClientSize());
    resize(kClientWidth, kClientHeight);
    fFrontPanel = new QWidget(this);
    fFrontPanel->setObjectName(QStringLiteral("Panel"));
    fFrontPanel->setGeometry(0, 0, kClientWidth, kClientHeight);
    if (fOptions.Settings) {
        fSettings = fOptions.Settings;
    } else {
        fOwnSettings = std::make_unique<TSettingsStore>();
        fSettings = fOwnSettings.get();
    }
    fWheelPause = std::make_unique<TWheelPause>();
    fFramedView =
        std::make_unique<TFramedView>(*this, [this] { return fSession && fSession->Connected(); });

    // The indicators and panels first, then the session with its master, connectors and
    // scheduler, then the persisted settings and the port list.
    BuildLayout();
    fSession = std::make_unique<TSessionCore>(*fFramedView, *fSettings,
                                              fOptions.Clock ? *fOptions.Clock : SystemTickClock(),
                                              fOptions.Timings);
    fPresets = std::make_unique<TPresetLogic>(*fSession, *this);
    fParams = std::make_unique<TParameterLogic>(*fSession, *fPresets, *this);
    BuildEditIndicators();
    WireSetAndOutput();
    WireConnection();
    WirePresetsAndParameters();
    CreateTestForm();
    BuildKeyboard();
    fScaler = std::make_unique<TPanelScaler>(fFrontPanel);
    TPanelScaler::Exempt(fFocusFrame);
    ReadWindowSettings();
    ApplyScale();
    fSession->LoadSettings();
    WireMetrics();
}

TMainForm::~TMainForm() {
    fMetrics.reset();
    HideEntryPopups();
    for (const auto& edit : fEdits) {
        if (edit && TIndicator::Active() == edit.get()) TIndicator::ResetActive();
    }
    if (fEnterForm) fEnterForm->SetIndicator(nullptr);
    if (fEnterForm2) fEnterForm2->SetIndicator(nullptr);
    // The advanced window works on the session: it goes before it.
    delete fAdvancedForm;
    fAdvancedForm = nullptr;
    // The session goes first: while the link shuts down it may still tell the view (and the
    // preset logic) something.
    fSession.reset();
    fParams.reset();
    fPresets.reset();
}

void TMainForm::BuildLayout() {
    fToolBar = new QWidget(fFrontPanel);
    fToolBar->setObjectName(QStringLiteral("ToolBar"));
    fToolBar->setAttribute(Qt::WA_StyledBackground);
    fToolBar->setGeometry(0, 0, kClientWidth, kToolBarHeight);
    fPresetBar = new TPresetBar(fToolBar);
    fPresetBar->setGeometry(kMargin, 5, 640, 24);
    fDemoBadge = new QLabel(QStringLiteral("VIRTUAL SUPPLY"), fToolBar);
    fDemoBadge->setObjectName(QStringLiteral("DemoBadge"));
    fDemoBadge->setAlignment(Qt::AlignCenter);
    fDemoBadge->setGeometry(kClientWidth - kMargin - 118, 6, 118, 22);
    fDemoBadge->setToolTip(QStringLiteral("The supply is simulated inside the program (--demo)"));
    fDemoBadge->setVisible(fOptions.VirtualSupply);

    fSetPanel = new TSetPanel(fFrontPanel);
    fSetPanel->setGeometry(kMargin, kToolBarHeight + 6, kLeftWidth, kSetHeight);
    fOutputPanel = new TOutputPanel(fFrontPanel);
    const int outY = kToolBarHeight + 6 + kSetHeight + 6;
    fOutputPanel->setGeometry(kMargin, outY, kLeftWidth, kClientHeight - outY - kMargin);

    fSideBar = new TSideBar(fFrontPanel);
    fSideBar->setGeometry(kSideX, kToolBarHeight + 6, kClientWidth - kSideX - kMargin,
                          kClientHeight - kToolBarHeight - 6 - kMargin - 36);
    fAutoTestButton = new QPushButton(QStringLiteral("Auto Test"), fFrontPanel);
    fAutoTestButton->setObjectName(QStringLiteral("AutoTestButton"));
    fAutoTestButton->setGeometry(kSideX, kClientHeight - kMargin - 28, 120, 28);
    fAutoTestButton->setEnabled(false);
    fPlansButton = new QPushButton(QStringLiteral("Plans"), fFrontPanel);
    fPlansButton->setObjectName(QStringLiteral("PlansButton"));
    fPlansButton->setGeometry(kSideX + 128, kClientHeight - kMargin - 28, 120, 28);
    fPlansButton->setEnabled(false);
    fParamPanel = new TParamPanel(nullptr);
    fPresetPanel = new TPresetPanel(nullptr);
    fConnectionPanel = new TConnectionPanel(nullptr);
    fParamCategory = fSideBar->AddPanel(QStringLiteral("Parameters"), fParamPanel);
    fPresetCategory = fSideBar->AddPanel(QStringLiteral("Profile"), fPresetPanel);
    fConnectionCategory = fSideBar->AddPanel(QStringLiteral("Connection"), fConnectionPanel);
    BuildTrend();
    fSideBar->OnPanelExpand = [this](TCategoryPanel* APanel) { CategoryPanelExpand(APanel); };
    fSideBar->Expand(fConnectionCategory);
    fParamCategory->setEnabled(false);
    fPresetCategory->setEnabled(false);
}

TMessagePresenter& TMainForm::Presenter() const {
    return fOptions.Presenter ? *fOptions.Presenter : AppMessagePresenter();
}

void TMainForm::SetEntryPopups(TEnterForm* AForm1, TEnterFormBase* AForm2) {
    fEnterForm = AForm1;
    fEnterForm2 = AForm2;
    for (TEnterFormBase* form : {static_cast<TEnterFormBase*>(AForm1), AForm2}) {
        if (!form) continue;
        form->SetWheelPause(fWheelPause.get());
    }
    if (fTestForm) fTestForm->SetEntryPopup(AForm1);
    if (fEnterForm) {
        // When the pop-up loses activation the panels re-read what it edited.
        fEnterForm->OnDeactivate = [this](QObject*) { EntryPopupClosed(); };
    }
}

void TMainForm::HideEntryPopups() {
    if (fEnterForm && fEnterForm->isVisible()) fEnterForm->hide();
    if (fEnterForm2 && fEnterForm2->isVisible()) fEnterForm2->hide();
}

void TMainForm::ConnectLoopback(uint16_t APort) {
    fSession->TCPConnector().SetPort(APort);
    fSession->ComPortComboBoxSelect(0);
    fConnectionPanel->ComPortComboBox()->setCurrentIndex(0);
    const QString address = QStringLiteral("127.000.000.001");
    ShowIpText(address);
    fSession->IpMaskEditChange(address);
    fSession->ConnectBtnClick();
}

void TMainForm::ConnectTcp(const QString& AAddress, uint16_t APort, uint8_t AAddr) {
    fSession->TCPConnector().SetPort(APort);
    fSession->ComPortComboBoxSelect(0);
    fConnectionPanel->ComPortComboBox()->setCurrentIndex(0);
    ShowIpText(AAddress);
    fSession->IpMaskEditChange(AAddress);
    fSession->SlaveAddrComboBoxSelect(AAddr - 1);
    fConnectionPanel->SlaveAddrComboBox()->setCurrentIndex(AAddr - 1);
    fSession->ConnectBtnClick();
}

void TMainForm::ConnectSerial(int APortIndex, int ABaudIndex, uint8_t AAddr) {
    fSession->ComPortComboBoxSelect(APortIndex);
    fConnectionPanel->ComPortComboBox()->setCurrentIndex(APortIndex);
    fSession->BaudComboBoxSelect(ABaudIndex);
    fConnectionPanel->BaudComboBox()->setCurrentIndex(ABaudIndex);
    fSession->SlaveAddrComboBoxSelect(AAddr - 1);
    fConnectionPanel->SlaveAddrComboBox()->setCurrentIndex(AAddr - 1);
    fSession->ConnectBtnClick();
}

void TMainForm::Shutdown() {
    fShuttingDown = true;
    // Also for a panel never shown, which gets no close event.
    if (!fClosed) EndWindow(false);
    hide();
}

void TMainForm::CategoryPanelExpand(TCategoryPanel*) {
    // The side bar collapses the other panels itself.
    HideEntryPopups();
}

void TMainForm::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    if (!fFirstShow) return;
    fFirstShow = false;
    if (fOptions.PortNotices) {
        auto notice = [this](TPortNotifier*, TPortChange AChange, const QString& AName) {
            fSession->DeviceChange(AChange, AName);
        };
        if (fOptions.PortEvents)
            new TPortNotifier(fOptions.PortEvents(), notice, this);
        else
            RegisterPortNotifications(this, notice);
    }
    fSession->RestoreAutoConnect();
    // A saved table that failed its check, and a log left by an autotest that did not end, are
    // reported once the window is up.
    QMetaObject::invokeMethod(
        this,
        [this] {
            fTestForm->ReportTableProblem();
            fTestForm->OfferRecovery();
        },
        Qt::QueuedConnection);
}

void TMainForm::FormCloseQuery() {
    // A running session ends first.
    fSession->CloseSession();
}

void TMainForm::closeEvent(QCloseEvent* AEvent) {
    if (fOptions.HideOnClose && !fShuttingDown) {
        // A bench's supply: the panel goes, the session and the bench go on.
        HideEntryPopups();
        AEvent->accept();
        return;
    }
    if (!fClosed && !EndWindow(AEvent->spontaneous())) {
        AEvent->ignore();
        return;
    }
    AEvent->accept();
}

bool TMainForm::EndWindow(bool AAsked) {
    // A running autotest may veto the close. Only a close the user asked for (the window's
    // close button) gets the question; one the program started (a signal) stops the test
    // without waiting for an answer nobody may give.
    if (!fTestForm->CloseQuery(AAsked)) return false;
    // A plan or sweep stops with the output off; unsaved plan edits are offered for saving.
    if (fPlanWindow && !fPlanWindow->CloseQuery(AAsked)) return false;
    FormCloseQuery();
    fTestForm->MainWindowClosed();
    if (fPlanWindow) fPlanWindow->hide();
    HideEntryPopups();
    fSession->SaveSettings();
    WriteWindowSettings();
    fClosed = true;
    return true;
}

void TMainForm::changeEvent(QEvent* AEvent) {
    // The pop-ups stay visible after losing activation until their owner is active again.
    if (AEvent->type() == QEvent::ActivationChange && isActiveWindow()) HideEntryPopups();
    QWidget::changeEvent(AEvent);
}

void TMainForm::wheelEvent(QWheelEvent* AEvent) {
    const int delta = AEvent->angleDelta().y();
    if (delta == 0) return;
    PanelMouseWheel(*fWheelPause, this, AEvent->position().toPoint(), delta > 0,
                    {&fSetPanel->UsetInd(), &fSetPanel->IsetInd()});
    AEvent->accept();
}

void TMainForm::ReadWindowSettings() {
    // The window's last size; one that is missing or too small leaves the panel's own size.
    const int width = fSettings->ReadIntegerOr(settings::kWindowWidth, 0);
    const int height = fSettings->ReadIntegerOr(settings::kWindowHeight, 0);
    const QSize least = MinimumClientSize();
    // A size kept from a larger screen is cut to this one's available area.
    const QSize room = LargestFittingClientSize();
    if (width >= least.width() && height >= least.height())
        resize(room.isEmpty() ? QSize(width, height)
                              : QSize(std::max(least.width(), std::min(width, room.width())),
                                      std::max(least.height(), std::min(height, room.height()))));

    // "UnDown": arrows shown above 0. Absent, they would be shown when the mouse has no wheel,
    // but the windowing system cannot tell (a core pointer reports no wheel even when it has
    // one), so a wheel is assumed and the arrows start hidden.
    UpDownCheckBoxClick(fSettings->ReadIntegerOr(settings::kUnDown, 0) > 0);
}

void TMainForm::WriteWindowSettings() {
    // 1 when the voltage step arrows are shown at this moment.
    fSettings->WriteInteger(settings::kUnDown, fVoltageArrows ? 1 : 0);
    // The size of the normal window (a maximised one comes back at its normal size).
    const QSize size = (isMaximized() || isFullScreen()) ? normalGeometry().size() : this->size();
    if (size.isValid()) {
        fSettings->WriteInteger(settings::kWindowWidth, size.width());
        fSettings->WriteInteger(settings::kWindowHeight, size.height());
    }
}
