#include "app/set_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/lamp_look.h"
#include "app/segment_readout.h"
#include "controls/focused_panel.h"
#include "controls/indicator.h"
#include "controls/indicator_input.h"
#include "controls/knob.h"
#include "controls/led.h"
#include "controls/panel_scaler.h"
#include "controls/seven_segment_display.h"
#include "controls/up_down_buttons.h"
#include "session/session_view.h"

namespace {

// Geometry of one set group (voltage or current), relative to the group's left edge.
constexpr TReadoutGeometry kSetDigits{30, 52, 4, 9, 7};
constexpr int kGroupWidth = 282;
constexpr int kCaptionY = 4;
constexpr int kDisplayY = 22;
constexpr int kUnitWidth = 22;
constexpr int kArrowWidth = 16;
constexpr int kKnobSize = 64;
constexpr int kStripY = 120;

QLabel* MakeLabel(QWidget* AParent, const QString& AName, const QString& AText, QRect AGeometry) {
    auto* label = new QLabel(AText, AParent);
    label->setObjectName(AName);
    label->setGeometry(AGeometry);
    return label;
}

TdsLed* MakeLamp(QWidget* AParent, const QString& AName, TColor AOn, QRect AGeometry) {
    TdsLed* led = MakePanelLamp(AParent, AName, AOn, AGeometry.width());
    led->move(AGeometry.topLeft());
    return led;
}

QString ColorSheet(TColor AColor) {
    return QStringLiteral("color: %1;").arg(ToQColor(AColor).name());
}

}  // namespace

TSetPanel::TSetPanel(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("SetPanel"));
    setAttribute(Qt::WA_StyledBackground);
    fUsetInd = std::make_unique<TIndicator>(10, 5100, 4, 3, &fUsetCell, QStringLiteral("V"));
    fIsetInd = std::make_unique<TIndicator>(1, 2010, 4, 3, &fIsetCell, QStringLiteral("A"));
    BuildGroup(0, QStringLiteral("SET VOLTAGE"), QStringLiteral("V"), true);
    BuildGroup(kGroupWidth, QStringLiteral("SET CURRENT"), QStringLiteral("A"), false);
    BuildStrip();
    ShowSetColor(TColorFromRGB(0x80, 0x80, 0x80));
    for (TIndicator* ind : {fUsetInd.get(), fIsetInd.get()}) {
        ind->ClearValue();
        ind->UpdateDigits();
    }
    SetArrowsVisible(false, false);
}

TSetPanel::~TSetPanel() {
    // The indicators go before the digits they drive; neither may keep the cursor.
    for (TIndicator* ind : {fUsetInd.get(), fIsetInd.get()}) {
        if (TIndicator::Active() == ind) TIndicator::ResetActive();
        ind->SetUpDownCtrl(nullptr);
    }
}

void TSetPanel::BuildGroup(int AX, const QString& ACaption, const QString& AUnit, bool AVoltage) {
    TIndicator& ind = AVoltage ? *fUsetInd : *fIsetInd;
    const QString tag = AVoltage ? QStringLiteral("Uset") : QStringLiteral("Iset");

    MakeLabel(this, QStringLiteral("GroupCaption"), ACaption, QRect(AX + 10, kCaptionY, 120, 16));
    TdsLed* mismatch =
        MakeLamp(this, tag + QStringLiteral("MismatchLed"), TColorFromRGB(0xFF, 0x40, 0x30),
                 QRect(AX + 170, kCaptionY + 3, 10, 10));
    mismatch->setToolTip(AVoltage ? QStringLiteral("The supply's set voltage differs")
                                  : QStringLiteral("The supply's set current differs"));

    const QSize readout = TSegmentReadout::SizeFor(4, kSetDigits);
    auto* panel = new TLN_FocusedPanel(this);
    panel->setObjectName(tag + QStringLiteral("Panel"));
    panel->SetColor(TColorFromRGB(0x18, 0x1C, 0x21));
    panel->setToolTip(AVoltage ? QStringLiteral("Set voltage: click a digit (or Tab here), then "
                                                "the arrow keys or digits change it")
                               : QStringLiteral("Set current: click a digit (or Tab here), then "
                                                "the arrow keys or digits change it"));
    panel->setGeometry(AX + 8, kDisplayY, readout.width() + kUnitWidth + 4, readout.height());
    auto* digits = new TSegmentReadout(panel, 4, kSetDigits);
    digits->move(0, 0);
    for (int pos = 1; pos <= 4; ++pos) {
        digits->Seg(pos)->setObjectName(QStringLiteral("Seg%1%2").arg(tag).arg(pos));
        digits->Seg(pos)->OnClick = [this](QObject* sender) { SegmentClick(sender); };
    }
    digits->AttachDigits(ind);
    TdsLed* point = digits->AddPointLed(3);
    ind.PointLed[1] = nullptr;  // decimal mode: the panel shows the point itself
    auto* unit = MakeLabel(panel, QStringLiteral("SetUnit"), AUnit,
                           QRect(readout.width() + 2, readout.height() - 34, kUnitWidth, 28));
    unit->setAlignment(Qt::AlignLeft | Qt::AlignBottom);

    auto* step = new TUpDownButtons(this, udVertical);
    step->setObjectName(AVoltage ? QStringLiteral("UpDown1") : QStringLiteral("UpDown2"));
    step->setGeometry(panel->geometry().right() + 4, kDisplayY, kArrowWidth, readout.height());
    ind.SetUpDownCtrl(step);

    auto* cursor = new TUpDownButtons(this, udHorizontal);
    cursor->setObjectName(AVoltage ? QStringLiteral("CursorUpDown1")
                                   : QStringLiteral("CursorUpDown2"));
    cursor->setGeometry(AX + 8 + (readout.width() - 56) / 2, kDisplayY + readout.height() + 6, 56,
                        16);
    cursor->SetRange(0, 65535);
    cursor->SetPosition(32768);
    cursor->OnChangingEx = [this, AVoltage](QObject*, int32_t, TUpDownDirection ADirection) {
        CursorButton(AVoltage, ADirection == updUp);
    };

    auto* knob = new TLN_Knob(this);
    knob->setObjectName(AVoltage ? QStringLiteral("U_Knob") : QStringLiteral("I_Knob"));
    knob->setGeometry(AX + kGroupWidth - kKnobSize - 10, kDisplayY - 4, kKnobSize, kKnobSize);
    knob->SetTransparent(true);
    knob->SetColor(TColorFromRGB(0x6A, 0x72, 0x7C));
    knob->SetLineColor(TColorFromRGB(0xE0, 0xE0, 0xE0));
    knob->SetOnColor(TColorFromRGB(0x40, 0xC0, 0xFF));
    knob->SetOffColor(TColorFromRGB(0x40, 0x44, 0x4A));
    knob->SetUnfocusedBorderColor(TColorFromRGB(0x30, 0x34, 0x3A));
    knob->SetFocusedBorderColor(TColorFromRGB(0x40, 0xC0, 0xFF));
    knob->SetDisabledBorderColor(TColorFromRGB(0x26, 0x29, 0x2E));
    knob->SetPageSize(10);  // the knob's large step for both: Shift and Page Up / Down
    knob->UpdateMinMax(AVoltage ? 10 : 1, AVoltage ? 5100 : 2010);
    knob->setEnabled(false);
    knob->OnChange = [this, AVoltage, knob](QObject*) {
        const auto pos = static_cast<uint32_t>(knob->Position());
        if (AVoltage) {
            if (OnUKnobChange) OnUKnobChange(pos);
        } else if (OnIKnobChange) {
            OnIKnobChange(pos);
        }
    };

    panel->OnClick = [this, AVoltage](QObject*) {
        if (AVoltage)
            UsetPanelClick();
        else
            IsetPanelClick();
    };
    panel->OnKeyDown = [this, AVoltage](QObject*, int AKey, Qt::KeyboardModifiers) {
        PanelKeyDown(AVoltage, AKey);
    };
    panel->OnKeyPress = [this, AVoltage](QObject*, QChar AKey) { PanelKeyPress(AVoltage, AKey); };
    ind.SetOnChange([this, AVoltage, knob](TIndicator*) {
        const uint32_t value = AVoltage ? fUsetCell : fIsetCell;
        knob->UpdatePosition(static_cast<int32_t>(value));
        if (AVoltage) {
            if (OnUsetChange) OnUsetChange(value);
        } else if (OnIsetChange) {
            OnIsetChange(value);
        }
    });

    if (AVoltage) {
        fUsetPanel = panel;
        fUsetReadout = digits;
        fUsetPoint = point;
        fUsetUnit = unit;
        fUMismatch = mismatch;
        fUpDown1 = step;
        fCursorUpDown1 = cursor;
        fUKnob = knob;
    } else {
        fIsetPanel = panel;
        fIsetReadout = digits;
        fIsetPoint = point;
        fIsetUnit = unit;
        fIMismatch = mismatch;
        fUpDown2 = step;
        fCursorUpDown2 = cursor;
        fIKnob = knob;
    }
}

void TSetPanel::BuildStrip() {
    fPowerLabel = MakeLabel(this, QStringLiteral("InfoPanel"), QStringLiteral("Power 0.00 W"),
                            QRect(8, kStripY, 132, 22));
    fPowerLabel->setToolTip(QStringLiteral("Power at the set values"));
    fVinLabel = MakeLabel(this, QStringLiteral("InfoPanel"), QStringLiteral("VIN 0.00 V"),
                          QRect(146, kStripY, 104, 22));
    fVinLabel->setToolTip(QStringLiteral("Input voltage"));
    fTempLabel =
        MakeLabel(this, QStringLiteral("InfoPanel"), QString(), QRect(256, kStripY, 58, 22));
    fTempLabel->setToolTip(QStringLiteral("Temperature"));
    fTempLabel->hide();
    const char* const names[3] = {"SF", "OVP", "OCP"};
    const char* const hints[3] = {
        "SF: this preset has \"Soft Front\" (\"Default on start\") switched on",
        "OVP: this preset's Over Voltage Protection is on (armed; a trip shows at the output)",
        "OCP: this preset's Over Current Protection is on (armed; a trip shows at the output)"};
    for (int k = 0; k < 3; ++k) {
        fStatus[k] = MakeLabel(this, QStringLiteral("StatusPanel"), QString::fromLatin1(names[k]),
                               QRect(320 + k * 40, kStripY, 36, 22));
        fStatus[k]->setAlignment(Qt::AlignCenter);
        fStatus[k]->setToolTip(QString::fromLatin1(hints[k]));
        fStatus[k]->hide();
    }
    fSetLockBtn = new QPushButton(QStringLiteral("Unlock SET"), this);
    fSetLockBtn->setObjectName(QStringLiteral("SetLockBtn"));
    fSetLockBtn->setGeometry(454, kStripY - 1, 102, 24);
    fSetLockBtn->setEnabled(false);
    connect(fSetLockBtn, &QPushButton::clicked, this, [this] {
        if (OnSetLockClick) OnSetLockClick();
    });

    // For charge profiles the voltage knob and arrows give way to the charge bar and its label.
    fChargeLabel = MakeLabel(this, QStringLiteral("ChargeLabel"), QString(),
                             QRect(8, kDisplayY + 74, 270, 18));
    fChargeBar = new QProgressBar(this);
    fChargeBar->setObjectName(QStringLiteral("ChargeBar"));
    fChargeBar->setOrientation(Qt::Vertical);
    fChargeBar->setGeometry(kGroupWidth - 48, kDisplayY, 22, 50);
    fChargeBar->setRange(0, 100);
    fChargeBar->setTextVisible(false);
    fChargeBar->setToolTip(QStringLiteral("Charge of the battery on the output"));
    // The bar's percentage under it, so the bar never stands there as an empty box.
    fChargePercent = MakeLabel(this, QStringLiteral("ChargeLabel"), QStringLiteral("0 %"),
                               QRect(kGroupWidth - 62, kDisplayY + 52, 50, 16));
    fChargePercent->setAlignment(Qt::AlignCenter);
    fChargeLabel->hide();
    fChargeBar->hide();
    fChargePercent->hide();
    fDebugLabel = MakeLabel(this, QStringLiteral("DebugLabel"), QString(),
                            QRect(kGroupWidth + 8, kDisplayY + 74, 120, 18));
    fDebugLabel->hide();
}

void TSetPanel::ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t ACurrentPointPos) {
    fUsetInd->MaxValue = AMaxUset;
    fIsetInd->MaxValue = AMaxIset;
    fIsetInd->PointPos = ACurrentPointPos;
    fIsetReadout->MovePointLed(fIsetPoint, static_cast<int>(ACurrentPointPos));
    fUKnob->UpdateMinMax(10, static_cast<int32_t>(AMaxUset));
    fIKnob->UpdateMinMax(1, static_cast<int32_t>(AMaxIset));
    fIsetInd->ClearValue();
    fIsetInd->UpdateDigits();
}

void TSetPanel::ShowSetValues(uint32_t AUset, uint32_t AIset) {
    fUsetCell = AUset;
    fIsetCell = AIset;
    fUsetInd->UpdateDigits();
    fIsetInd->UpdateDigits();
    fUKnob->UpdatePosition(static_cast<int32_t>(AUset));
    fIKnob->UpdatePosition(static_cast<int32_t>(AIset));
}

void TSetPanel::ShowSetPower(const QString& AText) {
    fPowerLabel->setText(AText);
}

void TSetPanel::ShowMismatch(bool AVoltage, bool ACurrent) {
    fUMismatch->SetLedOn(AVoltage);
    fIMismatch->SetLedOn(ACurrent);
}

void TSetPanel::EndSetEditing() {
    for (TIndicator* ind : {fUsetInd.get(), fIsetInd.get()}) {
        if (ind->CursorPos() != 0) ind->LeaveCursor();
    }
}

void TSetPanel::ShowInputVoltage(const QString& AText) {
    fVinLabel->setText(AText);
}

void TSetPanel::ShowVinWarning(bool ALit) {
    fUsetUnit->setVisible(!ALit);
}

void TSetPanel::ShowSetColor(TColor AColor) {
    // A style sheet write re-polishes and repaints even when equal.
    if (fSetColorShown && AColor == fSetColor) return;
    fSetColorShown = true;
    fSetColor = AColor;
    fUsetInd->SetColor(AColor);
    fIsetInd->SetColor(AColor);
    fUsetPoint->SetOnColor(AColor);
    fIsetPoint->SetOnColor(AColor);
    fUsetUnit->setStyleSheet(ColorSheet(AColor));
    fIsetUnit->setStyleSheet(ColorSheet(AColor));
}

void TSetPanel::ShowTemperature(const QString& AText) {
    fTempLabel->setText(AText);
}

void TSetPanel::ShowDebugData(const QString& AText) {
    fDebugLabel->setText(AText);
    fDebugLabel->setVisible(!AText.isEmpty());
}

void TSetPanel::ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) {
    fChargeBar->setVisible(AVisible);
    fChargeLabel->setVisible(AVisible);
    fChargePercent->setVisible(AVisible);
    fChargePercent->setText(QString::number(APercent) + QStringLiteral(" %"));
    fChargeBar->setValue(APercent);
    fChargeLabel->setText(ALabel);
}

void TSetPanel::ApplyPanel(const TPanelState& AState) {
    for (TLN_Knob* knob : {fUKnob, fIKnob}) {
        knob->setEnabled(AState.KnobsEnabled);
        knob->SetLedOn(AState.KnobsEnabled);
        // Held by "Unlock SET" (a session with the output on), not merely without a supply.
        knob->SetLocked(!AState.KnobsEnabled && AState.SetLockEnabled);
    }
    fSetLockBtn->setText(AState.SetLockCaption);
    fSetLockBtn->setEnabled(AState.SetLockEnabled);
    for (TUpDownButtons* arrows : {fUpDown1, fUpDown2, fCursorUpDown1, fCursorUpDown2}) {
        arrows->setEnabled(AState.StepArrowsEnabled);
        arrows->SetHandCursor(AState.HandCursor);
    }
    fUsetInd->SetEnabled(AState.UsetIndEnabled);
    fIsetInd->SetEnabled(AState.IsetIndEnabled);
    fVinLabel->setVisible(AState.InputVoltageVisible);
    fTempLabel->setVisible(AState.TemperatureVisible);
}

void TSetPanel::ShowPresetStatus(bool ASF, bool AOVP, bool AOCP) {
    fStatus[0]->setVisible(ASF);
    fStatus[1]->setVisible(AOVP);
    fStatus[2]->setVisible(AOCP);
    // "SF" sits further left while "OVP" is shown, so the three never overlap.
    TPanelScaler::Place(fStatus[0], QRect(AOVP ? 320 : 360, kStripY, 36, 22));
}

void TSetPanel::SetArrowsVisible(bool AVoltage, bool ACurrent) {
    fUpDown1->setVisible(AVoltage);
    fCursorUpDown1->setVisible(AVoltage);
    fUpDown2->setVisible(ACurrent);
    fCursorUpDown2->setVisible(ACurrent);
}

void TSetPanel::SetVoltageKnobVisible(bool AVisible) {
    fUKnob->setVisible(AVisible);
}

void TSetPanel::UsetPanelClick() {
    if (fUsetInd->CursorPos() == 0) fUsetInd->SetCursorPos(4);
    fUsetPanel->setFocus(Qt::MouseFocusReason);
}

void TSetPanel::IsetPanelClick() {
    if (fIsetInd->CursorPos() == 0) fIsetInd->SetCursorPos(4);
    fIsetPanel->setFocus(Qt::MouseFocusReason);
}

void TSetPanel::SegmentClick(QObject* ASender) {
    auto* seg = qobject_cast<QWidget*>(ASender);
    if (!seg) return;
    for (int pos = 1; pos <= 4; ++pos) {
        if (seg == fUsetReadout->Seg(pos)) {
            fUsetInd->SetCursorPos(pos);
            fUsetPanel->setFocus(Qt::MouseFocusReason);
            return;
        }
        if (seg == fIsetReadout->Seg(pos)) {
            fIsetInd->SetCursorPos(pos);
            fIsetPanel->setFocus(Qt::MouseFocusReason);
            return;
        }
    }
}

void TSetPanel::PanelKeyDown(bool AVoltage, int AKey) {
    TIndicator& ind = AVoltage ? *fUsetInd : *fIsetInd;
    if (AKey == Qt::Key_Return || AKey == Qt::Key_Enter || AKey == Qt::Key_Escape) {
        if (ind.CursorPos() != 0) ind.LeaveCursor();
        return;
    }
    const bool starts = AKey == Qt::Key_Left || AKey == Qt::Key_Right || AKey == Qt::Key_Up ||
                        AKey == Qt::Key_Down || AKey == Qt::Key_Space || AKey == Qt::Key_F2;
    if (ind.CursorPos() == 0 && starts) {
        ind.SetCursorPos(4);  // the leftmost digit, as a click on the display
        // The cursor shows where editing starts; only Up and Down change the value as well.
        if (AKey != Qt::Key_Up && AKey != Qt::Key_Down) return;
    }
    IndicatorKeyDown(&ind, AKey);
}

void TSetPanel::PanelKeyPress(bool AVoltage, QChar AKey) {
    TIndicator& ind = AVoltage ? *fUsetInd : *fIsetInd;
    if (ind.CursorPos() == 0 && AKey.isDigit()) ind.SetCursorPos(4);
    IndicatorKeyPress(&ind, AKey);
}

void TSetPanel::CursorButton(bool AVoltage, bool ARight) {
    IndicatorCursorButton(AVoltage ? fUsetInd.get() : fIsetInd.get(), ARight);
}
