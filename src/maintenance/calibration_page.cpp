#include "maintenance/calibration_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "controls/enter_form_base.h"
#include "controls/indicator.h"
#include "controls/qcolor_convert.h"
#include "device/register_codec.h"
#include "maintenance/advanced_rules.h"
#include "maintenance/value_panel.h"
#include "maintenance/wait_form.h"
#include "maintenance/wiring_picture.h"
#include "session/session_core.h"

namespace {

constexpr TColor kWhite = TColorFromRGB(255, 255, 255);
constexpr TColor kLightGreen = TColorFromRGB(102, 255, 102);

struct TPointInfo {
    const char* Start;
    const char* Hint;         // pop-up hint of the value panel
    const char* SupplyInput;  // what to feed the supply's input
    TWiringHint Wiring;
};

constexpr TPointInfo kPoints[kCalibPointCount] = {
    {"Start U input  Low", "Input voltage, low point", "=6V", whInputVoltage},
    {"Start U input  High", "Input voltage, high point", ">25V", whInputVoltage},
    {"Start U output Low", "Output voltage, low point", ">25V", whOutputVoltage},
    {"Start U output High", "Output voltage, high point", ">25V", whOutputVoltage},
    {"Start I output Low", "Output current, low point", ">25V", whOutputCurrent},
    {"Start I output High", "Output current, high point", ">25V", whOutputCurrent},
    {"Start Temp. High", "Temperature, high point", ">25V", whNone},
};

constexpr int kRowTop = 172;
constexpr int kRowStep = 31;

}  // namespace

TCalibrationPage::TCalibrationPage(TSessionCore& ACore, QWidget* AParent, int AWaitTickMs)
    : QWidget(AParent), fCore(ACore), fLogic(ACore), fWaitTickMs(AWaitTickMs) {
    setObjectName(QStringLiteral("CalibrationPage"));
    fPicture = new QLabel(this);
    fPicture->setObjectName(QStringLiteral("CalibImage"));
    fPicture->setGeometry(0, 0, 600, 400);
    fPicture->setPixmap(QPixmap::fromImage(CalibrationScene()));
    fThermometer = new QLabel(this);
    fThermometer->setObjectName(QStringLiteral("ThermometerImage"));
    fThermometer->setGeometry(392, 146, 72, 120);
    fThermometer->setScaledContents(true);
    fThermometer->setPixmap(QPixmap::fromImage(ThermometerPicture()));
    fThermometer->hide();
    fSupplyHint = new QLabel(this);
    fSupplyHint->setObjectName(QStringLiteral("SupplyInputHint"));
    fSupplyHint->setGeometry(40, 142, 90, 22);
    fSupplyHint->setAlignment(Qt::AlignCenter);
    fSupplyHint->setStyleSheet(
        QStringLiteral("QLabel { background: #FFFF00; color: #000000; font-weight: bold; "
                       "border: 1px solid #806000; }"));
    fSupplyHint->setToolTip(QStringLiteral("Feed the supply's input with this voltage"));
    fSupplyHint->hide();
    fNotice = new QLabel(this);
    fNotice->setObjectName(QStringLiteral("CalibNotice"));
    fNotice->setGeometry(8, 4, 584, 40);
    fNotice->setWordWrap(true);
    fNotice->setAttribute(Qt::WA_StyledBackground);
    fNotice->setStyleSheet(
        QStringLiteral("QLabel { background: #5a1e1e; color: #ffffff; padding: 2px 6px; "
                       "border: 1px solid #c04040; border-radius: 4px; }"));
    fNotice->hide();
    BuildRows();

    fRangeBox = new QGroupBox(QStringLiteral("I output High"), this);
    fRangeBox->setObjectName(QStringLiteral("IoutHighGroup"));
    fRangeBox->setGeometry(352, 268, 128, 122);
    // A dark backing keeps the light captions readable over the picture.
    fRangeBox->setAttribute(Qt::WA_StyledBackground);
    fRangeBox->setStyleSheet(QStringLiteral(
        "QGroupBox#IoutHighGroup { background: #3a3f48; border: 1px solid #20242a; "
        "border-radius: 4px; margin-top: 0px; padding-top: 14px; }"
        "QGroupBox#IoutHighGroup::title { subcontrol-origin: padding; left: 6px; top: 1px; }"));
    fRangeBox->setLayout(new QGridLayout());
    fRangeGroup = new QButtonGroup(this);

    fSave = new QPushButton(QStringLiteral("Save"), this);
    fSave->setObjectName(QStringLiteral("Calib_Save_Btn"));
    fSave->setGeometry(496, 282, 96, 28);
    fSave->setEnabled(false);
    fCancel = new QPushButton(QStringLiteral("Cancel"), this);
    fCancel->setObjectName(QStringLiteral("Calib_Cancel_Btn"));
    fCancel->setGeometry(496, 318, 96, 28);
    fHelp = new QPushButton(QStringLiteral("Help"), this);
    fHelp->setObjectName(QStringLiteral("HelpFileBtn"));
    fHelp->setGeometry(496, 354, 96, 28);
    connect(fSave, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(fCancel, &QPushButton::clicked, this, [this] {
        if (OnCloseWindow) OnCloseWindow();
    });
    connect(fHelp, &QPushButton::clicked, this, [this] {
        if (OnHelp) OnHelp();
    });
}

TCalibrationPage::~TCalibrationPage() {
    for (const auto& editor : fEditor) {
        if (TIndicator::Active() == editor.get()) TIndicator::ResetActive();
        if (fPopup && fPopup->Indicator() == editor.get()) fPopup->SetIndicator(nullptr);
    }
}

void TCalibrationPage::BuildRows() {
    TCalibData& calib = fCore.Calib();
    for (int i = 1; i <= kCalibPointCount; ++i) {
        const size_t s = Slot(i);
        const int y = kRowTop + (i - 1) * kRowStep;
        auto* start = new QPushButton(QString::fromLatin1(kPoints[s].Start), this);
        start->setGeometry(8, y, 150, 27);
        auto* panel = new TValuePanel(this);
        panel->setGeometry(164, y, 112, 27);
        panel->setText(QStringLiteral("00.000 V"));
        panel->setToolTip(QString::fromLatin1(kPoints[s].Hint));
        panel->setEnabled(false);
        auto* apply = new QPushButton(QStringLiteral("Apply"), this);
        apply->setGeometry(282, y, 60, 27);
        apply->setEnabled(false);
        fStart[s] = start;
        fPanel[s] = panel;
        fApply[s] = apply;
        const bool temp = i == cpTmp2;
        const bool current = i == cpIout1 || i == cpIout2;
        fEditor[s] =
            std::make_unique<TIndicator>(1, temp ? 999 : 99999, temp ? 3 : 5, temp ? 1 : 4,
                                         &CalibPoint(calib, static_cast<uint16_t>(i))->Value,
                                         QString::fromLatin1(temp      ? "C"
                                                             : current ? "A"
                                                                       : "V"));
        fEditor[s]->SetOnChange([this](TIndicator*) { CalibDataChanged(); });
        connect(start, &QPushButton::clicked, this, [this, i] { StartClick(i); });
        connect(apply, &QPushButton::clicked, this, [this, i] { ApplyClick(i); });
        panel->OnClick = [this, i](TValuePanel*) { PanelClick(i); };
    }
}

void TCalibrationPage::FillIoutHighGroup(uint32_t AModel, uint32_t AMaxIset, uint32_t ACurrentDiv) {
    for (QAbstractButton* b : fRangeGroup->buttons()) {
        fRangeGroup->removeButton(b);
        delete b;
    }
    fRangeCurrents.clear();
    auto* grid = static_cast<QGridLayout*>(fRangeBox->layout());
    const std::vector<TCurrentRange> ranges = CurrentRanges(AModel, AMaxIset, ACurrentDiv);
    for (size_t n = 0; n < ranges.size(); ++n) {
        auto* radio = new QRadioButton(ranges[n].Caption, fRangeBox);
        fRangeGroup->addButton(radio, static_cast<int>(n));
        grid->addWidget(radio, static_cast<int>(n % 3), static_cast<int>(n / 3));
        fRangeCurrents.push_back(ranges[n].Current);
    }
    SelectLastRange();
}

void TCalibrationPage::SelectLastRange() {
    const QList<QAbstractButton*> buttons = fRangeGroup->buttons();
    if (!buttons.isEmpty()) buttons.last()->setChecked(true);
}

uint32_t TCalibrationPage::RangeCurrent() const {
    const int id = fRangeGroup->checkedId();
    if (id < 0 || static_cast<size_t>(id) >= fRangeCurrents.size()) return 0;
    return fRangeCurrents[static_cast<size_t>(id)];
}

QStringList TCalibrationPage::RangeCaptions() const {
    QStringList captions;
    for (QAbstractButton* b : fRangeGroup->buttons())
        captions << b->text();
    return captions;
}

void TCalibrationPage::SetCurrentDivider(uint32_t ACurrentDiv) {
    fCurrentPointPos = ACurrentDiv == 10 ? 5 : 4;
    fEditor[Slot(cpIout1)]->PointPos = fCurrentPointPos;
    fEditor[Slot(cpIout2)]->PointPos = fCurrentPointPos;
    if (fDataShown) CalibDataChanged();
}

void TCalibrationPage::SetModelLimits(uint32_t AMaxUset, uint32_t AMaxIset) {
    fLogic.SetLimits(AMaxUset, AMaxIset);
    for (int i = 1; i <= kCalibPointCount; ++i) {
        const TCalibRange r = fLogic.Range(i);
        fEditor[Slot(i)]->MinValue = r.Min;
        fEditor[Slot(i)]->MaxValue = r.Max;
    }
}

void TCalibrationPage::SetTmp2Enabled(bool AEnabled) {
    fStart[Slot(cpTmp2)]->setEnabled(AEnabled);
}

void TCalibrationPage::CalibDataChanged() {
    fDataShown = true;
    if (OnDataShown) OnDataShown();
    TCalibData& calib = fCore.Calib();
    for (int i = 1; i <= kCalibPointCount; ++i) {
        const uint32_t value = CalibPoint(calib, static_cast<uint16_t>(i))->Value;
        fPanel[Slot(i)]->setText(CalibPanelText(i, value, fCurrentPointPos));
    }
}

void TCalibrationPage::Refresh() {
    for (int i = 1; i <= kCalibPointCount; ++i) {
        const bool armed = fLogic.Armed() == i;
        fPanel[Slot(i)]->setEnabled(armed);
        fApply[Slot(i)]->setEnabled(armed);
        fPanel[Slot(i)]->SetColor(fLogic.Applied(i) ? kLightGreen : kWhite);
    }
    fSave->setEnabled(fLogic.SaveEnabled());
    fRangeBox->setEnabled(fLogic.RangeEnabled());
}

void TCalibrationPage::StartClick(int AIndex) {
    if (AIndex < 1 || AIndex > kCalibPointCount) return;
    const TPointInfo& info = kPoints[Slot(AIndex)];
    fThermometer->hide();
    fPicture->setPixmap(QPixmap::fromImage(CalibrationPicture(info.Wiring)));
    fSupplyHint->setText(QString::fromLatin1(info.SupplyInput));
    fSupplyHint->show();
    fNotice->hide();
    fLogic.Start(AIndex, RangeCurrent());
    Refresh();
    if (AIndex == cpTmp2) fThermometer->show();
}

void TCalibrationPage::ApplyClick(int AIndex) {
    if (AIndex != fLogic.Armed()) return;
    delete fWaitForm;
    fWaitForm = nullptr;
    // The window remembers the output voltage before the fix is sent.
    if (AIndex == cpUout2) {
        fWaitForm = new TWaitForm(
            window(), [this] { return fCore.Data().UOUT; }, fWaitTickMs);
        connect(&fCore, &TSessionCore::LiveReading, fWaitForm, &TWaitForm::Check);
    }
    if (fLogic.Apply(AIndex) == TCalibrationLogic::arRefused) {
        delete fWaitForm;
        fWaitForm = nullptr;
        const TCalibRange r = fLogic.Range(AIndex);
        fNotice->setText("Nothing was sent: this point takes " +
                         CalibPanelText(AIndex, r.Min, fCurrentPointPos).trimmed() + " to " +
                         CalibPanelText(AIndex, r.Max, fCurrentPointPos).trimmed() +
                         ". Click the value and type the reference reading.");
        fNotice->show();
        fNotice->raise();
        return;
    }
    fNotice->hide();
    Refresh();
    if (fWaitForm) {
        fWaitForm->Wait();
        fLastWaitPosition = fWaitForm->Position();
        delete fWaitForm;
        fWaitForm = nullptr;
    }
}

void TCalibrationPage::SaveClick() {
    fLogic.Save();
    Refresh();
    if (OnCloseWindow) OnCloseWindow();
}

void TCalibrationPage::PanelClick(int AIndex) {
    TValuePanel* panel = fPanel[Slot(AIndex)];
    if (!fPopup || !panel->isEnabled()) return;
    // Bottom-right corner of the pop-up on the panel's, 3 pixels further left.
    const QPoint corner = panel->mapToGlobal(QPoint(panel->width() - 3, panel->height()));
    fPopup->move(corner - QPoint(fPopup->width(), fPopup->height()));
    fPopup->SetHint(panel->toolTip());
    fPopup->SetIndicator(fEditor[Slot(AIndex)].get());
    fPopup->Popup();
}

void TCalibrationPage::FormClose() {
    if (fPopup && fPopup->isVisible()) fPopup->hide();
    fLogic.Close();
    Refresh();
}
