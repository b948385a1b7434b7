#include "maintenance/advanced_form.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "maintenance/about_page.h"
#include "maintenance/battery_page.h"
#include "maintenance/calibration_page.h"
#include "maintenance/color_box.h"
#include "maintenance/colors_page.h"
#include "maintenance/firmware_update_page.h"
#include "maintenance/page_view.h"
#include "session/parameters.h"
#include "session/session_core.h"
#include "session/settings_store.h"

namespace {

const QUrl kOverviewPage(QStringLiteral("qrc:/pages/advanced.html"));
const QUrl kUpdatePage(QStringLiteral("qrc:/pages/update.html"));
const QUrl kCalibrationPage(QStringLiteral("qrc:/pages/calibration.html"));

QLabel* Placeholder(const QString& AText, QWidget* AParent) {
    auto* label = new QLabel(AText, AParent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setEnabled(false);
    return label;
}

}  // namespace

TAdvancedForm::TAdvancedForm(TSessionCore& ACore, TParameterLogic& AParams,
                             TSettingsStore& ASettings, QWidget* AParent, TAdvancedOptions AOptions)
    : QDialog(AParent), fCore(ACore), fParams(AParams), fSettings(ASettings), fOptions(AOptions) {
    setObjectName(QStringLiteral("AdvancedForm"));
    setWindowTitle(QStringLiteral("Advanced Parameters"));
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);
    BuildTabs();
    // The entry pop-ups belong to this window, so that they take input while it is modal.
    fPopup5 = new TEnterForm2(this);
    fPopup4 = new TEnterForm(this);
    fCalibration->SetPopup(fPopup5);
    fBattery->SetPopup(fPopup4);
    ChainEvent<>(fCore.fOnCalibRead, fAlive, [this] { fCalibration->CalibDataChanged(); });
}

TAdvancedForm::~TAdvancedForm() {
    // The pages detach their editors from the pop-ups; the pop-ups go with the window.
    HidePopups();
}

void TAdvancedForm::BuildTabs() {
    fTabs = new QTabWidget(this);
    fTabs->setObjectName(QStringLiteral("PageControl"));
    fTabs->setGeometry(0, 0, kClientWidth, kClientHeight);
    // All seven tab captions fit the window's width.
    fTabs->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 6px; }"));

    fColors = new TColorsPage(fTabs);
    fColors->OnSave = [this] { accept(); };
    fColors->OnCancel = [this] { reject(); };
    fLoggingArea = new QWidget(fTabs);
    fLoggingArea->setObjectName(QStringLiteral("LoggingArea"));
    auto* loggingLayout = new QVBoxLayout(fLoggingArea);
    loggingLayout->addWidget(
        Placeholder(QStringLiteral("Test logging is not part of this build."), fLoggingArea));
    fCalibration = new TCalibrationPage(fCore, fTabs, fOptions.WaitTickMs);
    fCalibration->OnCloseWindow = [this] { reject(); };
    fCalibration->OnHelp = [this] { HelpFileBtnClick(); };
    fCalibration->OnDataShown = [this] { fTabs->setTabVisible(tabCalibration, true); };
    fHelp = new TPageView(fTabs);
    fHelp->setObjectName(QStringLiteral("HelpView"));
    fBattery = new TBatteryPage(fCore, fTabs);
    fBattery->OnSave = [this] { accept(); };
    fBattery->OnCancel = [this] { reject(); };
    fPresentation = new TPageView(fTabs);
    fPresentation->setObjectName(QStringLiteral("PresentationView"));
    fAbout = new TAboutPage(fTabs);
    fUpdate = new TFirmwareUpdatePage(fCore);
    fColors->HostUpdatePage(fUpdate);
    connect(fUpdate, &TFirmwareUpdatePage::UpdateStarted, this, [this] { UpdateStarted(); });
    connect(fUpdate, &TFirmwareUpdatePage::UpdateFinished, this, [this](bool) {
        // The port is the session's again: the window works as before the update.
        fColors->SaveBtn()->setEnabled(true);
        fColors->CancelBtn()->setEnabled(true);
        fBattery->SaveBtn()->setEnabled(true);
        if (fLoggingApply) fLoggingApply->setEnabled(true);
    });

    fTabs->addTab(fColors, QStringLiteral("Colors and Update"));
    fTabs->addTab(fLoggingArea, QStringLiteral("Test Logging"));
    fTabs->addTab(fCalibration, QStringLiteral("Calibration"));
    fTabs->addTab(fHelp, QStringLiteral("Calibration help"));
    fTabs->addTab(fBattery, QStringLiteral("Battery Source"));
    // The overview of the window and its help pages.
    fTabs->addTab(fPresentation, QStringLiteral("Help"));
    fTabs->addTab(fAbout, QStringLiteral("About"));
    // Until a unit is identified and classified.
    fTabs->setTabVisible(tabHelp, false);
    fTabs->setTabVisible(tabCalibration, false);
    fTabs->setTabVisible(tabBattery, false);
}

bool TAdvancedForm::TabShown(TTab ATab) const {
    return fTabs->isTabVisible(ATab);
}

void TAdvancedForm::HostLoggingPage(QWidget* APage, QPushButton* AApply) {
    fLoggingApply = AApply;
    QLayout* layout = fLoggingArea->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    APage->setParent(fLoggingArea);
    layout->addWidget(APage);
}

void TAdvancedForm::UpdateStarted() {
    // Nothing else may happen until the port is restored; "Cancel" comes back at the end.
    fColors->SaveBtn()->setEnabled(false);
    fColors->CancelBtn()->setEnabled(false);
    fBattery->SaveBtn()->setEnabled(false);
    if (fLoggingApply) fLoggingApply->setEnabled(false);
}

void TAdvancedForm::ShowModelFeatures(const TModelFeatures& AFeatures) {
    fTabs->setTabVisible(tabBattery, AFeatures.BatteryTab);
    fTabs->setTabVisible(tabCalibration, AFeatures.CalibrationTab);
    fCalibration->FillIoutHighGroup(AFeatures.Model, fCore.Limits().MaxIset,
                                    fCore.Limits().CurrentDiv);
    fCalibration->SetTmp2Enabled(AFeatures.Tmp2CalibEnabled);
}

QUrl TAdvancedForm::AddressSetting(const char* AName) const {
    const QString text = fSettings.ReadString(QString::fromLatin1(AName)).trimmed();
    return text.isEmpty() ? QUrl() : QUrl::fromUserInput(text);
}

void TAdvancedForm::Prepare() {
    const TModel& model = fCore.Model();
    // 1. The colour boxes from the program's colours.
    for (int i = 1; i <= 3; ++i)
        fColors->ColorBox(i)->UpdateColorBox(fCore.SetColorCLR(i));
    // 2. Buttons a previous update may have left disabled; no calibration for KORAD units.
    fColors->SaveBtn()->setEnabled(true);
    fColors->CancelBtn()->setEnabled(true);
    fBattery->SaveBtn()->setEnabled(true);
    if (fLoggingApply) fLoggingApply->setEnabled(true);
    if (model.Korad) fTabs->setTabVisible(tabCalibration, false);
    // 3. Centred over the main window.
    CenterOverOwner();
    // 4. The battery tab from the session.
    if (model.BatterySourceEnable) fBattery->UpdateBattery();
    // 5. The calibration block (not for KORAD units).
    if (!model.Korad) fCore.DoReadCalibData();
    // 6. The current range and the current editors' decimals.
    fCalibration->SelectLastRange();
    fCalibration->SetCurrentDivider(fCore.Limits().CurrentDiv);
    fCalibration->SetModelLimits(fCore.Limits().MaxUset, fCore.Limits().MaxIset);
    // 7. The presentation page, once per program run.
    if (!fPresentationLoaded) {
        fPresentationLoaded = true;
        if (model.Version > ver_18)
            fPresentation->ShowPage(kOverviewPage, AddressSetting(settings::kHelpAddress));
        else
            fPresentation->ShowPage(kUpdatePage, AddressSetting(settings::kUpdateAddress));
    }
}

int TAdvancedForm::Execute() {
    Prepare();
    const int result = exec();
    Finish(result);
    return result;
}

void TAdvancedForm::Finish(int AResult) {
    if (AResult != QDialog::Accepted) return;
    fParams.AdvancedSaved(
        fColors->ColorBox(1)->SelectedColor(), fColors->ColorBox(2)->SelectedColor(),
        fColors->ColorBox(3)->SelectedColor(), fBattery->UseBattery()->isChecked());
}

void TAdvancedForm::HelpFileBtnClick() {
    fHelp->ShowPage(kCalibrationPage, AddressSetting(settings::kCalibrationAddress));
    fTabs->setTabVisible(tabHelp, true);
    fTabs->setCurrentIndex(tabHelp);
}

void TAdvancedForm::CenterOverOwner() {
    QWidget* owner = parentWidget();
    if (!owner) return;
    const QRect frame = owner->window()->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
}

void TAdvancedForm::HidePopups() {
    if (fPopup4 && fPopup4->isVisible()) fPopup4->hide();
    if (fPopup5 && fPopup5->isVisible()) fPopup5->hide();
}

void TAdvancedForm::done(int AResult) {
    // A firmware transfer owns the serial port until it ends: the window stays open meanwhile.
    if (fUpdate->Busy()) return;
    // Closing any way ends an open calibration on the supply.
    HidePopups();
    fCalibration->FormClose();
    QDialog::done(AResult);
}

void TAdvancedForm::showEvent(QShowEvent* AEvent) {
    QDialog::showEvent(AEvent);
    // The update notice in its log and "Open FW File" by the link in use.
    fUpdate->WindowShown();
}

void TAdvancedForm::changeEvent(QEvent* AEvent) {
    if (AEvent->type() == QEvent::ActivationChange && isActiveWindow()) HidePopups();
    QDialog::changeEvent(AEvent);
}
