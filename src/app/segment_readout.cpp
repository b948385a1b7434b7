#include "app/segment_readout.h"

#include <QPainter>

#include "controls/indicator.h"
#include "controls/indicator_widgets.h"
#include "controls/led.h"
#include "controls/panel_scaler.h"
#include "controls/seven_segment_display.h"

TSegmentReadout::TSegmentReadout(QWidget* AParent, int ADigits, const TReadoutGeometry& AGeometry)
    : QWidget(AParent), fGeometry(AGeometry) {
    setFixedSize(SizeFor(ADigits, AGeometry));
    for (int pos = 1; pos <= ADigits; ++pos) {
        auto* seg = new TdsSevenSegmentDisplay(this);
        seg->setObjectName(QStringLiteral("Seg%1").arg(pos));
        const int x = AGeometry.Pad + (ADigits - pos) * (AGeometry.DigitWidth + AGeometry.Gap);
        seg->setGeometry(x, AGeometry.Pad, AGeometry.DigitWidth, AGeometry.DigitHeight);
        seg->SetSegmentWidth(AGeometry.SegmentWidth);
        seg->SetBackColor(kDisplayBack);
        seg->SetOffColor(kSegmentOff);
        seg->SetOnColor(TColorFromRGB(0x80, 0x80, 0x80));
        seg->SetTag(pos);
        seg->SetValue(kDigitBlank);
        seg->setFocusPolicy(Qt::NoFocus);
        fDigits.push_back(seg);
    }
}

QSize TSegmentReadout::SizeFor(int ADigits, const TReadoutGeometry& g) {
    return {2 * g.Pad + ADigits * g.DigitWidth + (ADigits - 1) * g.Gap, 2 * g.Pad + g.DigitHeight};
}

TdsSevenSegmentDisplay* TSegmentReadout::Seg(int APosition) const {
    if (APosition < 1 || APosition > DigitCount()) return nullptr;
    return fDigits[static_cast<size_t>(APosition - 1)];
}

QRect TSegmentReadout::LedRect(int APosition, bool AMiddle) const {
    const int n = DigitCount();
    const int size = std::max(3, fGeometry.DigitWidth / 7);
    const int digitRight = fGeometry.Pad +
                           (n - APosition) * (fGeometry.DigitWidth + fGeometry.Gap) +
                           fGeometry.DigitWidth;
    const int x = digitRight + (fGeometry.Gap - size) / 2;
    const int y = AMiddle ? fGeometry.Pad + fGeometry.DigitHeight / 2 + size
                          : fGeometry.Pad + fGeometry.DigitHeight - size;
    return {x, y, size, size};
}

TdsLed* TSegmentReadout::AddPointLed(int APosition, bool AMiddle) {
    auto* led = new TdsLed(this);
    led->SetShape(ltRectangle);
    led->SetOffColor(kDisplayBack);
    led->SetOnColor(TColorFromRGB(0x80, 0x80, 0x80));
    led->SetLedOn(true);
    MovePointLed(led, APosition, AMiddle);
    return led;
}

void TSegmentReadout::MovePointLed(TdsLed* ALed, int APosition, bool AMiddle) {
    if (!ALed) return;
    TPanelScaler::Place(ALed, LedRect(APosition, AMiddle));
}

void TSegmentReadout::AttachDigits(TIndicator& AIndicator) const {
    for (int pos = 1; pos <= DigitCount() && pos <= static_cast<int>(TIndicator::kMaxDigits); ++pos)
        AIndicator.Digit[static_cast<size_t>(pos)] = IndicatorDigit(Seg(pos));
}

void TSegmentReadout::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(0x3A, 0x41, 0x4A), 1));
    p.setBrush(ToQColor(kDisplayBack));
    p.drawRoundedRect(r, 4, 4);
}
