#include "tools/history_plot.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/trend_picture.h"

namespace {

constexpr int kLeft = 62;
constexpr int kRight = 12;
constexpr int kTop = 8;
constexpr int kBottom = 22;
constexpr int kPaneGap = 8;
constexpr int64_t kMinSpanMs = 50;

struct TPane {
    const char* Name;
    const char* Unit;
    QColor Color;
    TMinMax THistoryColumn::*Range;
    int Decimals;  // of the device unit
};

const char* ProtectName(uint8_t ACode) {
    static const char* const kNames[] = {"",    "OVP", "OCP", "OPP", "TIM", "OHP",
                                         "BAT", "END", "EVP", "ECP", "VIN", "EPR"};
    return ACode < std::size(kNames) ? kNames[ACode] : "E";
}

double Pow10(int AExp) {
    return std::pow(10.0, AExp);
}

// A step of 1, 2 or 5 times a power of ten that gives about ATicks ticks over ASpan.
double NiceStep(double ASpan, int ATicks) {
    const double raw = ASpan / std::max(ATicks, 1);
    const double mag = Pow10(static_cast<int>(std::floor(std::log10(raw))));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * mag) return m * mag;
    return 10 * mag;
}

// Time steps for the axis, milliseconds.
int64_t TimeStep(int64_t ASpan, int ATicks) {
    static const int64_t kSteps[] = {1,        2,        5,        10,        20,       50,
                                     100,      200,      500,      1000,      2000,     5000,
                                     10000,    15000,    30000,    60000,     120000,   300000,
                                     600000,   900000,   1800000,  3600000,   7200000,  10800000,
                                     21600000, 43200000, 86400000, 172800000, 604800000};
    for (int64_t s : kSteps)
        if (ASpan / s <= ATicks) return s;
    return kSteps[std::size(kSteps) - 1];
}

QString TimeLabel(int64_t AMs, int64_t AStep) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(AMs);
    if (AStep < 1000) return t.toString(QStringLiteral("HH:mm:ss.zzz"));
    if (AStep < 60000) return t.toString(QStringLiteral("HH:mm:ss"));
    if (AStep < 86400000) return t.toString(QStringLiteral("HH:mm"));
    return t.toString(QStringLiteral("dd.MM. HH:mm"));
}

}  // namespace

const THistoryLook& THistoryLook::Dark() {
    // The window's dark instrument look, with the trend's trace colours.
    static const THistoryLook look{
        QColor(0x16, 0x19, 0x1D),      QColor(0x0C, 0x0E, 0x11), QColor(0x2A, 0x2F, 0x36),
        QColor(0xB8, 0xBE, 0xC6),      QColor(0x3A, 0x40, 0x48), QColor(kOscVoltColor),
        QColor(kOscAmperColor),        QColor(0x6C, 0xD0, 0x8A), QColor(0xC8, 0xC8, 0xC8),
        QColor(0x26, 0x2B, 0x31, 240), QColor(0xE4, 0xE6, 0xE8)};
    return look;
}

const THistoryLook& THistoryLook::Light() {
    // For printing: white panes, the trend's hues deep enough to read on white.
    static const THistoryLook look{QColor(0xFA, 0xFA, 0xF7), Qt::white,
                                   QColor(0xE4, 0xE4, 0xE0), QColor(0x50, 0x50, 0x50),
                                   QColor(0xB0, 0xB0, 0xA8), QColor(0xA8, 0x86, 0x00),
                                   QColor(0x2C, 0x78, 0xC0), QColor(0x1E, 0x8C, 0x3A),
                                   QColor(0x30, 0x30, 0x30), QColor(255, 255, 230, 235),
                                   QColor(0x30, 0x30, 0x30)};
    return look;
}

std::vector<int> MarkLabelRows(const std::vector<std::pair<int, int>>& ALabels, int AGap) {
    std::vector<int> rows;
    std::vector<int> rowEnds;  // right edge of the last label in each row
    for (const auto& [left, width] : ALabels) {
        size_t row = 0;
        while (row < rowEnds.size() && left < rowEnds[row] + AGap)
            ++row;
        if (row == rowEnds.size()) rowEnds.push_back(0);
        rowEnds[row] = left + width;
        rows.push_back(static_cast<int>(row));
    }
    return rows;
}

THistoryPlot::THistoryPlot(const TSessionHistory& AHistory, QWidget* AParent)
    : QWidget(AParent), fHistory(AHistory) {
    setObjectName(QStringLiteral("HistoryPlot"));
    setMouseTracking(true);
    setMinimumSize(480, 300);
    setAttribute(Qt::WA_OpaquePaintEvent);
    Refresh();
}

void THistoryPlot::SetCurrentDecimals(int ADecimals) {
    if (ADecimals == fCurrentDecimals) return;
    fCurrentDecimals = ADecimals;
    update();
}

QRect THistoryPlot::PlotRect() const {
    return QRect(kLeft, kTop, std::max(width() - kLeft - kRight, 1),
                 std::max(height() - kTop - kBottom, 1));
}

int64_t THistoryPlot::TimeAtX(int AX) const {
    const QRect r = PlotRect();
    return fFrom +
           static_cast<int64_t>(static_cast<double>(AX - r.left()) * (fTo - fFrom) / r.width());
}

void THistoryPlot::SetRange(int64_t AFrom, int64_t ATo) {
    if (ATo - AFrom < kMinSpanMs) {
        const int64_t mid = AFrom + (ATo - AFrom) / 2;
        AFrom = mid - kMinSpanMs / 2;
        ATo = AFrom + kMinSpanMs;
    }
    fFrom = AFrom;
    fTo = ATo;
    update();
    emit ViewChanged();
}

void THistoryPlot::Refresh() {
    if (fFollow) {
        const int64_t last =
            fHistory.Empty() ? QDateTime::currentMSecsSinceEpoch() : fHistory.LastTime() + 1;
        if (fFitAll) {
            const int64_t first = fHistory.Empty() ? last - 60'000 : fHistory.FirstTime();
            // At least a minute, so a young session does not fill the view with a few readings.
            SetRange(std::min(first, last - 60'000), last);
        } else {
            SetRange(last - (fTo - fFrom), last);
        }
        return;
    }
    update();
}

void THistoryPlot::ShowAll() {
    fFollow = true;
    fFitAll = true;
    Refresh();
}

void THistoryPlot::FollowNewest() {
    fFollow = true;
    fFitAll = false;
    Refresh();
}

void THistoryPlot::ShowRange(int64_t AFrom, int64_t ATo) {
    fFollow = false;
    fFitAll = false;
    SetRange(AFrom, ATo);
}

void THistoryPlot::ZoomAt(int AX, double AFactor) {
    const int64_t anchor = TimeAtX(AX);
    const double span = static_cast<double>(fTo - fFrom) * AFactor;
    // Out to a little more than the whole history (a week and more), in to 50 ms.
    const double most = std::max<double>(
        1.2 * static_cast<double>(fHistory.LastTime() - fHistory.FirstTime()), 3'600'000.0);
    const double clamped = std::clamp(span, static_cast<double>(kMinSpanMs), most);
    const double left = static_cast<double>(anchor - fFrom) / static_cast<double>(fTo - fFrom);
    const int64_t from = anchor - static_cast<int64_t>(left * clamped);
    ShowRange(from, from + static_cast<int64_t>(clamped));
}

void THistoryPlot::wheelEvent(QWheelEvent* AEvent) {
    const double steps = AEvent->angleDelta().y() / 120.0;
    if (steps != 0) ZoomAt(static_cast<int>(AEvent->position().x()), std::pow(1.25, -steps));
    AEvent->accept();
}

void THistoryPlot::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton) return;
    fDragStart = AEvent->position().toPoint();
    fDragFrom = fFrom;
    fDragTo = fTo;
    setCursor(Qt::ClosedHandCursor);
}

void THistoryPlot::mouseMoveEvent(QMouseEvent* AEvent) {
    fCursorX = static_cast<int>(AEvent->position().x());
    if (fDragStart) {
        const int dx = fCursorX - fDragStart->x();
        const int64_t shift = static_cast<int64_t>(static_cast<double>(dx) * (fDragTo - fDragFrom) /
                                                   PlotRect().width());
        if (dx != 0) ShowRange(fDragFrom - shift, fDragTo - shift);
    }
    update();
}

void THistoryPlot::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton) return;
    fDragStart.reset();
    unsetCursor();
}

void THistoryPlot::mouseDoubleClickEvent(QMouseEvent*) {
    FollowNewest();
}

void THistoryPlot::leaveEvent(QEvent*) {
    fCursorX = -1;
    update();
}

void THistoryPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const THistoryLook& look = fLight ? THistoryLook::Light() : THistoryLook::Dark();
    p.fillRect(rect(), look.Window);
    const QRect area = PlotRect();
    const int width = area.width();
    const std::vector<THistoryColumn> cols = fHistory.Columns(fFrom, fTo, width);
    const double msPerColumn = static_cast<double>(fTo - fFrom) / width;

    const TPane panes[3] = {
        {"Voltage", "V", look.Volt, &THistoryColumn::U, 2},
        {"Current", "A", look.Amp, &THistoryColumn::I, fCurrentDecimals},
        {"Power", "W", look.Power, &THistoryColumn::P, 2},
    };
    const int paneHeight = (area.height() - 2 * kPaneGap) / 3;
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
    p.setFont(small);
    const QFontMetrics fm(small);

    // Lines are broken where readings are further apart than a gap, or across a gap mark.
    std::vector<bool> joined(cols.size(), false);
    for (int x = 0, prev = -1; x < width; ++x) {
        if (!cols[x].Valid) continue;
        if (prev >= 0) {
            const double emptyMs = (x - prev - 1) * msPerColumn;
            const int64_t prevEnd = fFrom + static_cast<int64_t>((prev + 1) * msPerColumn);
            const int64_t curStart = fFrom + static_cast<int64_t>(x * msPerColumn);
            joined[x] = emptyMs <= TSessionHistory::kGapMs &&
                        !fHistory.GapMarkIn(prevEnd - 1, curStart + 1);
        }
        prev = x;
    }

    std::vector<QRect> paneRects;
    for (int k = 0; k < 3; ++k) {
        const TPane& pane = panes[k];
        const QRect r(area.left(), area.top() + k * (paneHeight + kPaneGap), width, paneHeight);
        paneRects.push_back(r);
        p.fillRect(r, look.Pane);
        const double unit = Pow10(pane.Decimals);
        // The pane's own range over what is visible.
        double lo = 0, hi = 0;
        bool any = false;
        for (const THistoryColumn& c : cols) {
            if (!c.Valid) continue;
            const TMinMax& m = c.*pane.Range;
            lo = any ? std::min(lo, m.Min / unit) : m.Min / unit;
            hi = any ? std::max(hi, m.Max / unit) : m.Max / unit;
            any = true;
        }
        if (!any) lo = 0, hi = 1;
        const double pad = std::max((hi - lo) * 0.08, 1.0 / unit);
        lo = std::max(0.0, lo - pad);
        hi += pad;
        const auto y = [&](double AValue) {
            return r.bottom() - (AValue - lo) / (hi - lo) * (r.height() - 1);
        };
        // Grid and axis labels.
        const double step = NiceStep(hi - lo, std::max(2, r.height() / 28));
        p.setPen(look.Grid);
        const int labelDecimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
        for (double v = std::ceil(lo / step) * step; v <= hi; v += step) {
            const int yy = static_cast<int>(std::lround(y(v)));
            p.setPen(look.Grid);
            p.drawLine(r.left(), yy, r.right(), yy);
            p.setPen(look.Text);
            p.drawText(QRect(0, yy - fm.height() / 2, kLeft - 6, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(v, 'f', std::min(labelDecimals, pane.Decimals)));
        }
        p.setPen(pane.Color);
        p.drawText(r.adjusted(6, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString("%1 (%2)").arg(pane.Name, pane.Unit));

        // The traces: a vertical stroke from minimum to maximum in every column, joined to the
        // previous column.
        QPainterPath path;
        for (int x = 0; x < width; ++x) {
            if (!cols[x].Valid) continue;
            const TMinMax& m = cols[x].*pane.Range;
            const double yMin = y(m.Min / unit);
            const double yMax = y(m.Max / unit);
            const double px = r.left() + x + 0.5;
            if (joined[x]) {
                path.lineTo(px, (yMin + yMax) / 2);
            } else {
                path.moveTo(px, (yMin + yMax) / 2);
            }
            if (yMin - yMax >= 1) {
                path.moveTo(px, yMin);
                path.lineTo(px, yMax);
                path.moveTo(px, (yMin + yMax) / 2);
            }
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(pane.Color, 1));
        p.drawPath(path);
        p.setPen(look.Frame);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }

    // Marks across the panes, their labels stacked where they would meet.
    const QRect all(area.left(), area.top(), width, paneRects.back().bottom() - area.top());
    struct TShownMark {
        int X;
        QPen Pen;
        QString Label;
    };
    std::vector<TShownMark> shown;
    for (const THistoryMark& m : fHistory.Marks()) {
        if (m.Time < fFrom || m.Time >= fTo) continue;
        const int x = area.left() + static_cast<int>((m.Time - fFrom) / msPerColumn);
        QPen pen;
        QString label;
        switch (m.Kind) {
            case hmTrip:
                pen = QPen(QColor(0xD0, 0x10, 0x10), 2);
                label = ProtectName(m.Protect);
                break;
            case hmOutputOn:
                pen = QPen(QColor(0x10, 0xA0, 0x30), 1, Qt::DashLine);
                label = QStringLiteral("ON");
                break;
            case hmOutputOff:
                pen = QPen(QColor(0x70, 0x70, 0x70), 1, Qt::DashLine);
                label = QStringLiteral("OFF");
                break;
            case hmGap:
                pen = QPen(QColor(0xA0, 0x80, 0x20), 1, Qt::DotLine);
                label = QStringLiteral("link lost");
                break;
        }
        shown.push_back({x, pen, label});
    }
    std::vector<std::pair<int, int>> spans;
    for (const TShownMark& m : shown)
        spans.emplace_back(m.X + 3, fm.horizontalAdvance(m.Label));
    const std::vector<int> rows = MarkLabelRows(spans);
    for (size_t k = 0; k < shown.size(); ++k) {
        p.setPen(shown[k].Pen);
        p.drawLine(shown[k].X, all.top(), shown[k].X, all.bottom());
        p.drawText(shown[k].X + 3, all.top() + fm.ascent() + 14 + rows[k] * (fm.height() + 1),
                   shown[k].Label);
    }

    // Time axis.
    const int64_t tStep = TimeStep(fTo - fFrom, std::max(2, width / 110));
    p.setPen(look.Text);
    const int64_t offset = QDateTime::fromMSecsSinceEpoch(fFrom).offsetFromUtc() * int64_t{1000};
    int64_t t = ((fFrom + offset) / tStep + 1) * tStep - offset;
    for (; t < fTo; t += tStep) {
        const int x = area.left() + static_cast<int>((t - fFrom) / msPerColumn);
        p.drawLine(x, all.bottom(), x, all.bottom() + 4);
        const QString text = TimeLabel(t, tStep);
        const int w = fm.horizontalAdvance(text);
        p.drawText(std::clamp(x - w / 2, 0, this->width() - w), all.bottom() + 5 + fm.ascent(),
                   text);
    }

    // Cursor line and the values under it.
    if (fCursorX >= area.left() && fCursorX <= area.right() && !fDragStart) {
        p.setPen(QPen(look.Cursor, 1, Qt::DashLine));
        p.drawLine(fCursorX, all.top(), fCursorX, all.bottom());
        const int64_t at = TimeAtX(fCursorX);
        const auto row =
            fHistory.Nearest(at, std::max<int64_t>(static_cast<int64_t>(msPerColumn * 3), 1000));
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(row ? row->Time : at);
        QString text = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        if (row) {
            text += QString("   %1 V   %2 A   %3 W")
                        .arg(row->U / 100, 0, 'f', 2)
                        .arg(row->I / Pow10(fCurrentDecimals), 0, 'f', fCurrentDecimals)
                        .arg(row->P / 100, 0, 'f', 2);
            if (row->Thinned) text += QStringLiteral("  (mean of 1 s)");
            if (row->Protect != 0) text += QString("  ") + ProtectName(row->Protect);
        }
        const int w = fm.horizontalAdvance(text) + 10;
        const int x = std::clamp(fCursorX + 8, area.left(), area.right() - w);
        const QRect box(x, all.top() + 2, w, fm.height() + 4);
        p.fillRect(box, look.TipBack);
        p.setPen(look.TipText);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.drawText(box, Qt::AlignCenter, text);
    }
}
