#include "app/busy_indicator.h"

#include <QPainter>

TBusyIndicator::TBusyIndicator(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("ConnectingIndicator"));
    fTimer.setInterval(kFrameMs);
    connect(&fTimer, &QTimer::timeout, this, [this] {
        fFrame = (fFrame + 1) % kFrames;
        update();
    });
}

void TBusyIndicator::SetRunning(bool ARunning) {
    if (fRunning == ARunning) return;
    fRunning = ARunning;
    if (ARunning) {
        fFrame = 0;
        fTimer.start();
    } else {
        fTimer.stop();
    }
    update();
}

void TBusyIndicator::SetAnimation(TBusyAnimation AAnimation) {
    if (fAnimation == AAnimation) return;
    fAnimation = AAnimation;
    update();
}

void TBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor track(0x2C, 0x31, 0x38);
    const QColor lit(0x40, 0xC0, 0xFF);
    if (fAnimation == baSector) {
        const int side = std::min(width(), height()) - 4;
        const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
        p.setPen(Qt::NoPen);
        p.setBrush(track);
        p.drawEllipse(r);
        if (fRunning) {
            // A quarter sector turning clockwise, one twelfth of a turn per frame.
            p.setBrush(lit);
            p.drawPie(r, (90 - fFrame * 30) * 16, -90 * 16);
        }
        return;
    }
    // Dots: three dots, the lit one walking from left to right.
    const int dot = std::max(3, height() / 5);
    const int gap = (width() - 3 * dot) / 4;
    for (int k = 0; k < 3; ++k) {
        const bool on = fRunning && (fFrame / 2) % 3 == k;
        p.setPen(Qt::NoPen);
        p.setBrush(on ? lit : track);
        p.drawEllipse(QRectF(gap + k * (dot + gap), (height() - dot) / 2.0, dot, dot));
    }
}
