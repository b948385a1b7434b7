#include "app/output_panel.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "app/lamp_look.h"
#include "app/segment_readout.h"
#include "controls/indicator.h"
#include "controls/indicator_widgets.h"
#include "controls/led.h"
#include "controls/seven_segment_display.h"
#include "session/session_view.h"

namespace {

constexpr TReadoutGeometry kLarge{44, 74, 4, 11, 9};
constexpr TReadoutGeometry kSmall{18, 30, 4, 6, 6};
constexpr int kRightX = 404;

QString ColorSheet(TColor AColor) {
    return QStringLiteral("color: %1;").arg(ToQColor(AColor).name());
}

// Re-polishes a widget after a dynamic property used by the style sheet changed.
void Repolish(QWidget* AWidget) {
    AWidget->style()->unpolish(AWidget);
    AWidget->style()->polish(AWidget);
    AWidget->update();
}

}  // namespace

TOutputPanel::TOutputPanel(QWidget* AParent) : TLWGradientPanel(AParent) {
    setObjectName(QStringLiteral("OutputPanel"));
    SetGradientStartColor(TColorFromRGB(0x2B, 0x31, 0x39));  // bottom
    SetGradientEndColor(TColorFromRGB(0x0C, 0x0E, 0x11));    // top
    SetGradientFillDir(fdBottomToTop);
    SetBevelOuter(bvNone);

    MakeCaption(QStringLiteral("OUTPUT VOLTAGE"), {14, 8});
    MakeCaption(QStringLiteral("OUTPUT CURRENT"), {292, 8});
    fUout = MakeReadout(4, true, {12, 26}, QStringLiteral("Uout"));
    fIout = MakeReadout(4, true, {290, 26}, QStringLiteral("Iout"));
    const QSize large = TSegmentReadout::SizeFor(4, kLarge);
    fOutUnits[0] =
        MakeUnit(QStringLiteral("V"), QRect(12 + large.width() + 4, 26, 36, large.height()), true);
    fOutUnits[1] =
        MakeUnit(QStringLiteral("A"), QRect(290 + large.width() + 4, 26, 36, large.height()), true);

    const QSize small = TSegmentReadout::SizeFor(6, kSmall);
    MakeCaption(QStringLiteral("POWER"), {14, 138});
    MakeCaption(QStringLiteral("TIME"), {202, 138});
    MakeCaption(QStringLiteral("CHARGE"), {14, 214});
    MakeCaption(QStringLiteral("ENERGY"), {202, 214});
    fPout = MakeReadout(6, false, {12, 154}, QStringLiteral("Pout"));
    fTime = MakeReadout(6, false, {200, 154}, QStringLiteral("Time"));
    fAH = MakeReadout(6, false, {12, 230}, QStringLiteral("AH"));
    fWH = MakeReadout(6, false, {200, 230}, QStringLiteral("WH"));
    const int unitY = small.height() - 22;
    fOutUnits[2] =
        MakeUnit(QStringLiteral("W"), QRect(12 + small.width() + 4, 154 + unitY, 30, 22), false);
    fTimeUnit =
        MakeUnit(QStringLiteral("S"), QRect(200 + small.width() + 4, 154 + unitY, 30, 22), false);
    fOutUnits[3] = fTimeUnit;
    fAHUnit =
        MakeUnit(QStringLiteral(" Ah"), QRect(12 + small.width() + 2, 230 + unitY, 40, 22), false);
    fWHUnit =
        MakeUnit(QStringLiteral(" Wh"), QRect(200 + small.width() + 2, 230 + unitY, 44, 22), false);

    // Indicators: decimal read-outs whose point LED the panel places, time with its separators.
    fUoutInd = std::make_unique<TIndicator>(0, 10000, 4, 3, &fUoutCell);
    fIoutInd = std::make_unique<TIndicator>(0, 10000, 4, 3, &fIoutCell);
    fPoutInd = std::make_unique<TIndicator>(0, 1000000, 6, 3, &fPoutCell);
    fTimeInd = std::make_unique<TIndicator>(0, 360000, 6, 1, &fTimeCell);
    fAHInd = std::make_unique<TIndicator>(0, 0xFFFFFFFFu, 6, 3, &fAHCell);
    fWHInd = std::make_unique<TIndicator>(0, 0xFFFFFFFFu, 6, 3, &fWHCell);
    fUout->AttachDigits(*fUoutInd);
    fIout->AttachDigits(*fIoutInd);
    fPout->AttachDigits(*fPoutInd);
    fTime->AttachDigits(*fTimeInd);
    fAH->AttachDigits(*fAHInd);
    fWH->AttachDigits(*fWHInd);
    fUoutPoint = fUout->AddPointLed(3);
    fIoutPoint = fIout->AddPointLed(3);
    fPoutPoint = fPout->AddPointLed(3);
    fTimeInd->PointLed[1] = IndicatorLed(fTime->AddPointLed(3, true));  // minutes : seconds
    fTimeInd->PointLed[2] = IndicatorLed(fTime->AddPointLed(5, true));  // hours : minutes
    fAHPoint = fAH->AddPointLed(3);
    fWHPoint = fWH->AddPointLed(3);
    fAHInd->PointLed[1] = IndicatorLed(fAHPoint);
    fWHInd->PointLed[1] = IndicatorLed(fWHPoint);

    fCVLed = MakeLamp(QStringLiteral("CVLed"), TColorFromRGB(0x30, 0xE0, 0x50), {kRightX, 144},
                      QStringLiteral("CV"),
                      QStringLiteral("CV, constant voltage: the output holds the set voltage"));
    fCCLed = MakeLamp(QStringLiteral("CCLed"), TColorFromRGB(0xFF, 0xC8, 0x20), {kRightX + 76, 144},
                      QStringLiteral("CC"),
                      QStringLiteral("CC, constant current: the load draws the set current and "
                                     "the voltage falls below the set voltage"));
    const QString protection = QStringLiteral(
        "Protection: lit when the supply switched the output off for a fault; "
        "the label names it (OVP over-voltage, OCP over-current, OPP over-power, "
        "OHP over-heat, TIM timer ...)");
    fProtectLed = MakeLamp(QStringLiteral("ProtectLed"), TColorFromRGB(0xFF, 0x38, 0x30),
                           {kRightX, 172}, QString(), protection);
    fProtectLabel = new QLabel(QStringLiteral("Error"), this);
    fProtectLabel->setObjectName(QStringLiteral("ProtectLabel"));
    fProtectLabel->setGeometry(kRightX + 20, 170, 50, 18);
    fProtectLabel->setToolTip(protection);
    fVinLed = MakeLamp(QStringLiteral("VinLed"), TColorFromRGB(0xFF, 0x80, 0x20),
                       {kRightX + 76, 172}, QStringLiteral("VIN"),
                       QStringLiteral("VIN: the input voltage is less than 1 V above the set "
                                      "voltage, too low to regulate"));

    fOnOffBtn = new QPushButton(QStringLiteral("OUTPUT"), this);
    fOnOffBtn->setObjectName(QStringLiteral("OnOffBtn"));
    fOnOffBtn->setGeometry(kRightX, 202, 148, 52);
    fOnOffBtn->setProperty("on", false);
    fOnOffBtn->setEnabled(false);
    connect(fOnOffBtn, &QPushButton::clicked, this, [this] {
        if (OnOnOffClick) OnOnOffClick();
    });

    fResetBtn = new QPushButton(QStringLiteral(">0<"), this);
    fResetBtn->setObjectName(QStringLiteral("ResetCountersButton"));
    fResetBtn->setGeometry(kRightX, 264, 48, 26);
    fResetBtn->setEnabled(false);
    connect(fResetBtn, &QPushButton::clicked, this, [this] {
        if (OnResetCountersClick) OnResetCountersClick();
    });

    fKeysLocked = new QLabel(QStringLiteral("Keys locked"), this);
    fKeysLocked->setObjectName(QStringLiteral("KeysLocked"));
    fKeysLocked->setAlignment(Qt::AlignCenter);
    fKeysLocked->setGeometry(kRightX + 56, 264, 92, 26);
    fKeysLocked->setToolTip(QStringLiteral("The supply's front-panel keys are locked"));
    fKeysLocked->hide();

    ShowOutColor(TColorFromRGB(0x80, 0x80, 0x80));
    for (TIndicator* ind :
         {fUoutInd.get(), fIoutInd.get(), fPoutInd.get(), fAHInd.get(), fWHInd.get()}) {
        ind->ClearValue();
        ind->UpdateDigits();
    }
    fTimeInd->ClearValue();
    fTimeInd->UpdateTime();
}

TOutputPanel::~TOutputPanel() = default;

TSegmentReadout* TOutputPanel::MakeReadout(int ADigits, bool ALarge, QPoint APos,
                                           const QString& AName) {
    auto* readout = new TSegmentReadout(this, ADigits, ALarge ? kLarge : kSmall);
    readout->setObjectName(AName + QStringLiteral("Readout"));
    readout->move(APos);
    for (int pos = 1; pos <= ADigits; ++pos)
        readout->Seg(pos)->setObjectName(QStringLiteral("Seg%1%2").arg(AName).arg(pos));
    return readout;
}

QLabel* TOutputPanel::MakeUnit(const QString& AText, QRect AGeometry, bool ALarge) {
    auto* label = new QLabel(AText, this);
    label->setObjectName(ALarge ? QStringLiteral("LargeUnit") : QStringLiteral("SmallUnit"));
    label->setGeometry(AGeometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    return label;
}

QLabel* TOutputPanel::MakeCaption(const QString& AText, QPoint APos) {
    auto* label = new QLabel(AText, this);
    label->setObjectName(QStringLiteral("GroupCaption"));
    label->setGeometry(APos.x(), APos.y(), 150, 16);
    return label;
}

TdsLed* TOutputPanel::MakeLamp(const QString& AName, TColor AOn, QPoint APos,
                               const QString& ACaption, const QString& AHint) {
    TdsLed* led = MakePanelLamp(this, AName, AOn, 15);
    led->move(APos);
    led->setToolTip(AHint);
    if (!ACaption.isEmpty()) {
        // The caption explains the lamp too: it is the larger target for the mouse.
        auto* label = new QLabel(ACaption, this);
        label->setObjectName(QStringLiteral("LampCaption"));
        label->setGeometry(APos.x() + 20, APos.y() - 2, 50, 18);
        label->setToolTip(AHint);
    }
    return led;
}

void TOutputPanel::ShowLimits(uint32_t ACurrentPointPos) {
    fIoutInd->PointPos = ACurrentPointPos;
    fIout->MovePointLed(fIoutPoint, static_cast<int>(ACurrentPointPos));
    fIoutInd->ClearValue();
    fIoutInd->UpdateDigits();
}

void TOutputPanel::ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) {
    fUoutCell = AUout;
    fIoutCell = AIout;
    fPoutCell = APower;
    fUoutInd->UpdateDigits();
    fIoutInd->UpdateDigits();
    fPoutInd->UpdateDigits();
}

void TOutputPanel::ShowRegulation(bool ACV, bool ACC) {
    fCVLed->SetLedOn(ACV);
    fCCLed->SetLedOn(ACC);
}

void TOutputPanel::ShowProtection(bool ALit, const QString& ALabel) {
    fProtectLed->SetLedOn(ALit);
    fProtectLabel->setText(ALabel);
    // Re-polishing repaints the label and its surroundings: only when the look really changes.
    if (fProtectLabel->property("lit").toBool() != ALit) {
        fProtectLabel->setProperty("lit", ALit);
        Repolish(fProtectLabel);
    }
}

void TOutputPanel::ShowVinWarning(bool ALit) {
    fVinLed->SetLedOn(ALit);
}

void TOutputPanel::ShowOutColor(TColor AColor) {
    if (fOutColorShown && AColor == fOutColor) return;
    fOutColorShown = true;
    fOutColor = AColor;
    for (TIndicator* ind : {fUoutInd.get(), fIoutInd.get(), fPoutInd.get(), fTimeInd.get()})
        ind->SetColor(AColor);
    for (TdsLed* led : {fUoutPoint, fIoutPoint, fPoutPoint})
        led->SetOnColor(AColor);
    for (QLabel* unit : fOutUnits)
        unit->setStyleSheet(ColorSheet(AColor));
    // Charge and energy keep a quiet colour of their own, lit by the same hue.
    const TColor half = TColorFromRGB(TColorRed(AColor) * 3 / 4, TColorGreen(AColor) * 3 / 4,
                                      TColorBlue(AColor) * 3 / 4);
    fAHInd->SetColor(half);
    fWHInd->SetColor(half);
    fAHUnit->setStyleSheet(ColorSheet(half));
    fWHUnit->setStyleSheet(ColorSheet(half));
}

void TOutputPanel::ShowTime(uint32_t ASeconds, const QString& AUnit) {
    fTimeCell = ASeconds;
    fTimeInd->UpdateTime();
    fTimeUnit->setText(AUnit);
}

namespace {

// Charge and energy arrive already scaled (two decimals, or thousands with one decimal from
// 100000 on); the point LED follows the point position.
void ShowCounter(TIndicator& AInd, uint32_t& ACell, TSegmentReadout* AReadout, TdsLed* APoint,
                 QLabel* AUnit, const TCounterDisplay& ADisplay) {
    if (AInd.PointPos != ADisplay.PointPos) {
        AInd.PointPos = ADisplay.PointPos;
        AReadout->MovePointLed(APoint, static_cast<int>(ADisplay.PointPos));
        AInd.ClearValue();
    }
    ACell = ADisplay.Value;
    AInd.UpdateDigits();
    AUnit->setText(ADisplay.Unit);
}

}  // namespace

void TOutputPanel::ShowCharge(const TCounterDisplay& ACharge) {
    ShowCounter(*fAHInd, fAHCell, fAH, fAHPoint, fAHUnit, ACharge);
}

void TOutputPanel::ShowEnergy(const TCounterDisplay& AEnergy) {
    ShowCounter(*fWHInd, fWHCell, fWH, fWHPoint, fWHUnit, AEnergy);
}

void TOutputPanel::ApplyPanel(const TPanelState& AState) {
    fOnOffBtn->setEnabled(AState.OnOffEnabled);
    if (fOnOffBtn->property("on").toBool() != AState.OnOffShowsOn) {
        fOnOffBtn->setProperty("on", AState.OnOffShowsOn);
        fOnOffBtn->setText(AState.OnOffShowsOn ? QStringLiteral("OUTPUT  ON")
                                               : QStringLiteral("OUTPUT"));
        Repolish(fOnOffBtn);
    }
    fResetBtn->setEnabled(AState.CounterResetEnabled);
    fKeysLocked->setVisible(AState.KeysLockedVisible);
}
