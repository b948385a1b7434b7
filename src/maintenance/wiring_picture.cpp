#include "maintenance/wiring_picture.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// Terminals the hints start from and the meter jacks they end at.
constexpr QPoint kInPlus(210, 45);
constexpr QPoint kInMinus(210, 85);
constexpr QPoint kOutPlus(375, 45);
constexpr QPoint kOutMinus(375, 85);
constexpr QPoint kJackA(500, 100);
constexpr QPoint kJackV(500, 123);
constexpr QPoint kJackCom(500, 145);

const QColor kRed(214, 30, 30);
const QColor kBlack(20, 20, 20);
const QColor kCase(70, 78, 90);
const QColor kCaseEdge(40, 44, 52);

void Terminal(QPainter& p, QPoint c, const QColor& AColor) {
    p.setPen(QPen(kCaseEdge, 1.5));
    p.setBrush(AColor);
    p.drawEllipse(c, 8, 8);
    p.setBrush(QColor(200, 200, 200));
    p.drawEllipse(c, 3, 3);
}

void Caption(QPainter& p, const QRect& r, const QString& text, int px = 12, bool bold = true) {
    QFont f = p.font();
    f.setPixelSize(px);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(QColor(30, 30, 30));
    p.drawText(r, Qt::AlignCenter, text);
}

void SegmentText(QPainter& p, const QRect& r, const QString& text, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(10, 14, 10));
    p.drawRoundedRect(r, 3, 3);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(r.height() - 8);
    f.setBold(true);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r.adjusted(4, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, text);
}

void LabSupply(QPainter& p) {
    const QRect body(22, 22, 130, 100);
    p.setPen(QPen(kCaseEdge, 2));
    p.setBrush(QColor(186, 190, 196));
    p.drawRoundedRect(body, 6, 6);
    SegmentText(p, QRect(32, 32, 84, 26), QStringLiteral("30.00"), QColor(255, 80, 60));
    // Two knobs.
    for (int x : {46, 96}) {
        p.setPen(QPen(kCaseEdge, 1.5));
        p.setBrush(QColor(60, 60, 64));
        p.drawEllipse(QPoint(x, 88), 13, 13);
        p.setPen(QPen(QColor(230, 230, 230), 2));
        p.drawLine(QPoint(x, 88), QPoint(x + 6, 78));
    }
    Terminal(p, QPoint(136, 45), kRed);
    Terminal(p, QPoint(136, 85), kBlack);
    Caption(p, QRect(10, 124, 160, 16), QStringLiteral("Laboratory supply"));
    // Its leads to the unit's input.
    p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPoint(144, 45), QPoint(202, 45));
    p.setPen(QPen(kBlack, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPoint(144, 85), QPoint(202, 85));
}

void Unit(QPainter& p) {
    const QRect body(218, 24, 150, 96);
    p.setPen(QPen(kCaseEdge, 2));
    p.setBrush(kCase);
    p.drawRoundedRect(body, 6, 6);
    SegmentText(p, QRect(238, 34, 110, 22), QStringLiteral("12.00 V"), QColor(255, 255, 255));
    SegmentText(p, QRect(238, 60, 110, 22), QStringLiteral("1.000 A"), QColor(90, 255, 90));
    // Keys.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 156, 168));
    for (int i = 0; i < 4; ++i)
        p.drawRoundedRect(QRect(240 + i * 27, 92, 20, 12), 3, 3);
    Terminal(p, kInPlus, kRed);
    Terminal(p, kInMinus, kBlack);
    Terminal(p, kOutPlus, kRed);
    Terminal(p, kOutMinus, kBlack);
    Caption(p, QRect(166, 96, 60, 30), QStringLiteral("IN"), 11);
    Caption(p, QRect(356, 96, 60, 30), QStringLiteral("OUT"), 11);
    Caption(p, QRect(218, 124, 150, 16), QStringLiteral("Power supply module"));
}

void Meter(QPainter& p) {
    const QRect body(482, 20, 108, 222);
    p.setPen(QPen(QColor(120, 90, 10), 2));
    p.setBrush(QColor(242, 190, 40));
    p.drawRoundedRect(body, 10, 10);
    p.setBrush(QColor(60, 60, 60));
    p.drawRoundedRect(body.adjusted(8, 8, -8, -8), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 186, 160));
    p.drawRect(QRect(498, 34, 76, 30));
    QFont f(QStringLiteral("Monospace"));
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(30, 30, 30));
    p.drawText(QRect(498, 34, 74, 30), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("8.888"));
    // Range dial.
    p.setPen(QPen(QColor(20, 20, 20), 1.5));
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPoint(548, 196), 22, 22);
    p.setPen(QPen(QColor(240, 240, 240), 3));
    p.drawLine(QPoint(548, 196), QPoint(548, 178));
    // Jacks with their names.
    struct Jack {
        QPoint At;
        QColor Ring;
        const char* Name;
    };
    for (const Jack& j :
         {Jack{kJackA, kRed, "A"}, Jack{kJackV, kRed, "V"}, Jack{kJackCom, kBlack, "COM"}}) {
        p.setPen(QPen(j.Ring, 3));
        p.setBrush(QColor(15, 15, 15));
        p.drawEllipse(j.At + QPoint(8, 0), 7, 7);
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(QColor(240, 240, 240));
        p.drawText(QRect(j.At.x() + 18, j.At.y() - 8, 50, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(j.Name));
    }
    Caption(p, QRect(470, 244, 130, 16), QStringLiteral("Reference meter"));
}

}  // namespace

TWiringPolylines WiringPolylines(TWiringHint AHint) {
    switch (AHint) {
        case whInputVoltage:
            return {{{210, 45}, {210, 15}, {450, 15}, {450, 123}, {500, 123}},
                    {{210, 85}, {210, 115}, {430, 115}, {430, 145}, {500, 145}}};
        case whOutputVoltage:
            return {{{375, 45}, {460, 45}, {460, 123}, {500, 123}},
                    {{375, 85}, {430, 85}, {430, 145}, {500, 145}}};
        case whOutputCurrent:
            return {{{375, 45}, {460, 45}, {460, 100}, {500, 100}},
                    {{375, 85}, {430, 85}, {430, 145}, {500, 145}}};
        case whNone:
            break;
    }
    return {};
}

QImage CalibrationScene() {
    QImage img(600, 400, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bench(0, 0, 0, 400);
    bench.setColorAt(0, QColor(236, 238, 242));
    bench.setColorAt(1, QColor(206, 210, 218));
    p.fillRect(img.rect(), bench);
    LabSupply(p);
    Unit(p);
    Meter(p);
    return img;
}

QImage CalibrationPicture(TWiringHint AHint) {
    QImage img = CalibrationScene();
    const TWiringPolylines lines = WiringPolylines(AHint);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    auto draw = [&p](const std::vector<QPoint>& APoints, const QColor& AColor) {
        if (APoints.empty()) return;
        p.setPen(QPen(AColor, 6, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.drawPolyline(APoints.data(), static_cast<int>(APoints.size()));
    };
    draw(lines.Red, QColor(255, 0, 0));
    draw(lines.Black, QColor(0, 0, 0));
    return img;
}

QImage ThermometerPicture() {
    QImage img(90, 150, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Glass tube and bulb.
    p.setPen(QPen(QColor(90, 90, 100), 2));
    p.setBrush(QColor(250, 250, 255));
    p.drawRoundedRect(QRectF(33, 8, 18, 108), 9, 9);
    p.drawEllipse(QPointF(42, 124), 16, 16);
    // Mercury.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QPointF(42, 124), 11, 11);
    p.drawRect(QRectF(38, 40, 8, 80));
    // Scale.
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    for (int i = 0; i < 8; ++i) {
        const int y = 20 + i * 12;
        p.drawLine(QPointF(53, y), QPointF(i % 2 == 0 ? 64 : 59, y));
    }
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(62, 4, 28, 14), Qt::AlignLeft, QStringLiteral("\u00B0C"));
    return img;
}
