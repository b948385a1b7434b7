#include "tools/trend_picture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// old * (1 - c) + new * c rounded, with the coverage c in 255ths.
inline int Mix(int AOld, int ANew, int ACoverage) {
    return (AOld * (255 - ACoverage) + ANew * ACoverage + 127) / 255;
}

inline int Coverage255(float ACoverage) {
    return static_cast<int>(ACoverage * 255.0f + 0.5f);
}

QFont LabelFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

}  // namespace

TTrendPicture::TTrendPicture() : fImage(kOscWidth, kOscHeight, QImage::Format_RGB32) {
    fImage.fill(Qt::black);
}

inline void TTrendPicture::Set(int AX, int AY, QRgb AColor) {
    if (AX < 0 || AX >= kOscWidth || AY < 0 || AY >= kOscHeight) return;
    fBits[AY * kOscWidth + AX] = AColor;
}

inline void TTrendPicture::Blend(int AX, int AY, QRgb AColor, int ACoverage) {
    if (AX < 0 || AX >= kOscWidth || AY < 0 || AY >= kOscHeight || ACoverage <= 0) return;
    QRgb& px = fBits[AY * kOscWidth + AX];
    px = qRgb(Mix(qRed(px), qRed(AColor), ACoverage), Mix(qGreen(px), qGreen(AColor), ACoverage),
              Mix(qBlue(px), qBlue(AColor), ACoverage));
}

void TTrendPicture::HLine(int AX0, int AX1, int AY, QRgb AColor) {
    if (AX0 > AX1) std::swap(AX0, AX1);
    AX0 = std::max(AX0, 0);
    AX1 = std::min(AX1, kOscWidth - 1);
    if (AY < 0 || AY >= kOscHeight || AX0 > AX1) return;
    QRgb* row = fBits + AY * kOscWidth;
    std::fill(row + AX0, row + AX1 + 1, AColor);
}

void TTrendPicture::VLine(int AX, int AY0, int AY1, QRgb AColor) {
    if (AX < 0 || AX >= kOscWidth) return;
    for (int y = std::max(AY0, 0); y <= std::min(AY1, kOscHeight - 1); ++y)
        fBits[y * kOscWidth + AX] = AColor;
}

void TTrendPicture::WuLine(int AX0, int AY0, int AX1, int AY1, QRgb AColor) {
    const bool own = fBits == nullptr;
    if (own) fBits = reinterpret_cast<QRgb*>(fImage.bits());
    // Walk along the longer axis one pixel at a time; the line crosses the shorter axis between
    // two pixels, which share the colour by their distance to the crossing.
    const bool steep = std::abs(AY1 - AY0) > std::abs(AX1 - AX0);
    if (steep) {
        std::swap(AX0, AY0);
        std::swap(AX1, AY1);
    }
    if (AX0 > AX1) {
        std::swap(AX0, AX1);
        std::swap(AY0, AY1);
    }
    auto plot = [&](int AMajor, int AMinor, float ACoverage) {
        const int coverage = Coverage255(ACoverage);
        if (steep)
            Blend(AMinor, AMajor, AColor, coverage);
        else
            Blend(AMajor, AMinor, AColor, coverage);
    };
    const int dx = AX1 - AX0;
    const float gradient = dx == 0 ? 1.0f : static_cast<float>(AY1 - AY0) / static_cast<float>(dx);
    // Both ends lie on pixel centres and are covered fully.
    plot(AX0, AY0, 1.0f);
    if (dx > 0) plot(AX1, AY1, 1.0f);
    float cross = static_cast<float>(AY0) + gradient;
    for (int x = AX0 + 1; x < AX1; ++x) {
        const float floor = std::floor(cross);
        const float frac = cross - floor;
        plot(x, static_cast<int>(floor), 1.0f - frac);
        if (frac > 0.0f) plot(x, static_cast<int>(floor) + 1, frac);
        cross += gradient;
    }
    if (own) fBits = nullptr;
}

void TTrendPicture::DrawTrace(const TTrendModel& AModel, int32_t APerDiv, int32_t AOffset,
                              bool AVolt, QRgb AColor) {
    const int count = AModel.Count();
    int penX = 0;
    int penY = 0;
    for (int j = 0; j < count; ++j) {
        const TOscDataRecord& s = AModel.Newest(j);
        const int y = TraceRow(AVolt ? s.Volt : s.Amper, AOffset, APerDiv);
        const int x = TraceColumn(j);
        if (j > 0) {
            if (y == penY)
                HLine(penX, x, y, AColor);
            else
                WuLine(penX, penY, x, y, AColor);
            // One pixel below each point thickens the trace.
            Set(x, y + 1, AColor);
        }
        penX = x;
        penY = y;
    }
}

void TTrendPicture::DrawLabel(TLabel& ALabel, int32_t APerDiv, int32_t AOffset, QChar AUnit, int AX,
                              QRgb AColor) {
    if (ALabel.Mask.isNull() || ALabel.PerDiv != APerDiv || ALabel.Offset != AOffset ||
        ALabel.Unit != AUnit) {
        const QString text = TraceLabel(APerDiv, AOffset, AUnit);
        const QFont font = LabelFont();
        const QFontMetrics metrics(font);
        ALabel.Mask = QImage(std::max(1, metrics.horizontalAdvance(text) + 2), metrics.height(),
                             QImage::Format_ARGB32_Premultiplied);
        ALabel.Mask.fill(Qt::transparent);
        QPainter p(&ALabel.Mask);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(0, metrics.ascent(), text);
        p.end();
        ALabel.PerDiv = APerDiv;
        ALabel.Offset = AOffset;
        ALabel.Unit = AUnit;
    }
    const QImage& mask = ALabel.Mask;
    for (int y = 0; y < mask.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < mask.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha != 0) Blend(AX + x, kOscLabelY + y, AColor, alpha);
        }
    }
}

void TTrendPicture::Draw(const TTrendModel& AModel, const TOscScale& AScale, int ATraces) {
    fImage.fill(qRgb(0, 0, 0));
    fBits = reinterpret_cast<QRgb*>(fImage.bits());

    // The vertical lines move left with every sample, so the grid scrolls with the traces.
    const int shift = GridShift(AModel.OscIdx());
    for (int i = 1; i <= 10; ++i)
        VLine(i * kOscColumnStep - shift, 0, kOscHeight - 1, kOscGridColor);
    for (int i = 1; i <= 9; ++i)
        HLine(0, kOscWidth - 1, i * kOscRowStep, kOscGridColor);
    if (ATraces == otZero) HLine(0, kOscWidth - 1, kOscHeight - kOscRowStep + 1, kOscZeroColor);

    if (ATraces & otVolt) {
        DrawTrace(AModel, AScale.VoltPerDiv, AScale.VoltOffset, true, kOscVoltColor);
        DrawLabel(fVoltLabel, AScale.VoltPerDiv, AScale.VoltOffset, QLatin1Char('V'),
                  kOscVoltLabelX, kOscVoltColor);
    }
    if (ATraces & otAmper) {
        DrawTrace(AModel, AScale.AmpPerDiv, AScale.AmpOffset, false, kOscAmperColor);
        DrawLabel(fAmperLabel, AScale.AmpPerDiv, AScale.AmpOffset, QLatin1Char('A'),
                  kOscAmperLabelX, kOscAmperColor);
    }
    fBits = nullptr;
}
