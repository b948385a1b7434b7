#include "controls/gradient_panel.h"

#include <QFontMetrics>
#include <QPainter>

#include "controls/system_colors.h"

namespace {

// A frame `width` pixels wide, one line at a time; returns the rectangle inside it.
QRect Frame3D(QPainter& p, QRect r, const QColor& topLeft, const QColor& bottomRight, int width) {
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        p.fillRect(r.left(), r.top(), r.width(), 1, topLeft);
        p.fillRect(r.left(), r.top(), 1, r.height(), topLeft);
        p.fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
        p.fillRect(r.right(), r.top() + 1, 1, r.height() - 1, bottomRight);
        r.adjust(1, 1, -1, -1);
    }
    return r;
}

QRect Bevel(QPainter& p, const QRect& r, TBevelCut cut, int width) {
    if (cut == bvNone) return r;
    const QColor light = ToQColor(clBtnHighlight), shadow = ToQColor(clBtnShadow);
    return cut == bvRaised ? Frame3D(p, r, light, shadow, width)
                           : Frame3D(p, r, shadow, light, width);
}

}  // namespace

TLWGradientPanel::TLWGradientPanel(QWidget* parent) : QWidget(parent), FColor(clBtnFace) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLWGradientPanel::SetIcon(const QPixmap& icon) {
    FIcon = icon;
    ++fRepaintRequests;
    update();
}

void TLWGradientPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = Bevel(p, rect(), FBevelOuter, FBevelWidth);
    r = Bevel(p, r, FBevelInner, FBevelWidth);

    if (!FGradient) {
        p.fillRect(r, ToQColor(FColor));
    } else if (!r.isEmpty()) {
        const bool vertical = IsVerticalFill(FGradientFillDir);
        const int extent = vertical ? r.height() : r.width();
        for (const TGradientBand& b :
             GradientBands(extent, FGradientStartColor, FGradientEndColor, 255, FGradientFillDir)) {
            if (b.Size <= 0) continue;
            const QRect band = vertical ? QRect(r.left(), r.top() + b.Start, r.width(), b.Size)
                                        : QRect(r.left() + b.Start, r.top(), b.Size, r.height());
            p.fillRect(band, ToQColor(b.Color));
        }
    }

    if (!FIcon.isNull()) {
        const QSize icon = FIcon.deviceIndependentSize().toSize();
        p.drawPixmap(width() / 2 - icon.width() / 2, height() / 2 - icon.height() / 2, FIcon);
        return;
    }
    if (FCaption.isEmpty()) return;
    QFont f = font();
    if (FTextFillsPanel && f.pointSize() > 0) {
        f.setPointSize(FitCaptionPointSize(f.pointSize(), size(), [&](int pt) {
            QFont probe = f;
            probe.setPointSize(pt);
            const QFontMetrics fm(probe);
            return QSize(fm.horizontalAdvance(FCaption), fm.height());
        }));
    }
    p.setFont(f);
    p.setPen(ToQColor(FFontColor));
    const QString text = QFontMetrics(f).elidedText(FCaption, Qt::ElideRight, r.width());
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
}
