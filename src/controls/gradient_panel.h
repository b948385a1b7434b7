#pragma once
// A panel whose background is a banded colour gradient, with the usual raised or lowered bevels,
// and a caption (optionally grown to fill the panel) or an icon centred on it. The main window's
// output area sits on one, white at the bottom fading to black at the top.

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "controls/gradient_bands.h"
#include "controls/qcolor_convert.h"

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

class TLWGradientPanel : public QWidget {
public:
    explicit TLWGradientPanel(QWidget* parent = nullptr);

    TColor GradientStartColor() const { return FGradientStartColor; }
    void SetGradientStartColor(TColor value) { SetLook(FGradientStartColor, value); }
    TColor GradientEndColor() const { return FGradientEndColor; }
    void SetGradientEndColor(TColor value) { SetLook(FGradientEndColor, value); }
    bool Gradient() const { return FGradient; }
    void SetGradient(bool value) { SetLook(FGradient, value); }
    TLWFillDirection GradientFillDir() const { return FGradientFillDir; }
    void SetGradientFillDir(TLWFillDirection value) { SetLook(FGradientFillDir, value); }
    bool TextFillsPanel() const { return FTextFillsPanel; }
    void SetTextFillsPanel(bool value) { SetLook(FTextFillsPanel, value); }
    const QPixmap& Icon() const { return FIcon; }
    void SetIcon(const QPixmap& icon);

    // The ordinary panel properties the painting uses.
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { SetLook(FCaption, value); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { SetLook(FColor, value); }
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value) { SetLook(FFontColor, value); }
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut value) { SetLook(FBevelOuter, value); }
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut value) { SetLook(FBevelInner, value); }
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value) { SetLook(FBevelWidth, std::max(1, value)); }

    uint64_t RepaintRequests() const { return fRepaintRequests; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename T>
    void SetLook(T& field, const T& value) {
        if (field == value) return;
        field = value;
        ++fRepaintRequests;
        update();
    }

    TColor FGradientStartColor = TColorFromRGB(0xFF, 0xFF, 0xFF);
    TColor FGradientEndColor = TColorFromRGB(0x80, 0x00, 0x00);
    bool FGradient = true;
    TLWFillDirection FGradientFillDir = fdTopToBottom;
    bool FTextFillsPanel = false;
    QPixmap FIcon;
    QString FCaption;
    TColor FColor;
    TColor FFontColor = TColorFromRGB(0, 0, 0);
    TBevelCut FBevelOuter = bvRaised;
    TBevelCut FBevelInner = bvNone;
    int FBevelWidth = 1;
    uint64_t fRepaintRequests = 0;
};
