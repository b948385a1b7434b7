#pragma once
// The trend picture: a fixed 320 x 220 off-screen image, redrawn from the ring after every sample.
// Black background, a grey grid that scrolls with the samples, a white zero line when no trace is
// shown, the voltage (yellow) and current (sky blue) traces as anti-aliased polylines (Xiaolin
// Wu's algorithm, drawn here on the image's pixels) thickened by one pixel below each point, and a
// scale label per trace. A redraw allocates nothing: the image is reused and the label texts are
// rendered once per change of scale and then copied.

#include <QImage>
#include <QRgb>

#include "tools/trend_model.h"

inline constexpr QRgb kOscGridColor = qRgb(128, 128, 128);
inline constexpr QRgb kOscZeroColor = qRgb(255, 255, 255);
inline constexpr QRgb kOscVoltColor = qRgb(255, 255, 0);
inline constexpr QRgb kOscAmperColor = qRgb(166, 202, 240);
// Top-left corners of the two labels.
inline constexpr int kOscVoltLabelX = 40;
inline constexpr int kOscAmperLabelX = 236;
inline constexpr int kOscLabelY = kOscHeight - 18;

class TTrendPicture {
public:
    TTrendPicture();

    // Redraws the whole picture from the ring with the given scale and trace choice.
    void Draw(const TTrendModel& AModel, const TOscScale& AScale, int ATraces);
    const QImage& Image() const { return fImage; }

    // Anti-aliased line between pixel centres: each touched pixel becomes, per channel,
    // old * (1 - c) + AColor * c rounded, c being its coverage. Pixels outside are skipped.
    void WuLine(int AX0, int AY0, int AX1, int AY1, QRgb AColor);

private:
    // A label's text rendered once as a coverage mask, kept until the scale changes.
    struct TLabel {
        int32_t PerDiv = -1;
        int32_t Offset = 0;
        QChar Unit;
        QImage Mask;
    };

    // ACoverage in 255ths.
    void Blend(int AX, int AY, QRgb AColor, int ACoverage);
    void Set(int AX, int AY, QRgb AColor);
    void HLine(int AX0, int AX1, int AY, QRgb AColor);
    void VLine(int AX, int AY0, int AY1, QRgb AColor);
    void DrawTrace(const TTrendModel& AModel, int32_t APerDiv, int32_t AOffset, bool AVolt,
                   QRgb AColor);
    void DrawLabel(TLabel& ALabel, int32_t APerDiv, int32_t AOffset, QChar AUnit, int AX,
                   QRgb AColor);

    QImage fImage;
    QRgb* fBits = nullptr;  // valid during Draw
    TLabel fVoltLabel;
    TLabel fAmperLabel;
};
