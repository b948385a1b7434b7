#pragma once
// The plot of the "History" window: output voltage, current and power against wall-clock time in
// three panes, each with its own axis and unit, over a shared time axis. Every pixel column shows
// the minimum and maximum of the readings behind it, so a redraw costs the same for an hour or a
// week. The wheel zooms around the mouse, a drag pans, a double click returns to following the
// newest reading; a cursor line shows the values under the mouse. Protection trips, output
// switching and gaps in the link are marked.

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "session/session_history.h"

// The plot's colours: dark as the window on screen, light for a printed picture.
struct THistoryLook {
    QColor Window, Pane, Grid, Text, Frame, Volt, Amp, Power, Cursor, TipBack, TipText;
    static const THistoryLook& Dark();
    static const THistoryLook& Light();
};

// Rows for mark labels placed left to right: each label (its left x and width, in the order of
// the marks) goes to the first row where it keeps AGap pixels from the label before it, so that
// labels of marks that fall together are stacked instead of drawn over each other.
std::vector<int> MarkLabelRows(const std::vector<std::pair<int, int>>& ALabels, int AGap = 4);

class THistoryPlot : public QWidget {
    Q_OBJECT
public:
    explicit THistoryPlot(const TSessionHistory& AHistory, QWidget* AParent = nullptr);

    // 3 on models that count in 0.001 A.
    void SetCurrentDecimals(int ADecimals);
    // New readings: the view follows them when it follows the newest.
    void Refresh();

    // The visible stretch [From, To) in epoch milliseconds.
    int64_t From() const { return fFrom; }
    int64_t To() const { return fTo; }
    bool Following() const { return fFollow; }
    // Shows the whole history and follows it as it grows.
    void ShowAll();
    // Keeps the visible span and moves it to the newest reading, following it.
    void FollowNewest();
    // Shows [AFrom, ATo) and stops following.
    void ShowRange(int64_t AFrom, int64_t ATo);
    // Zooms by AFactor (below 1 zooms in) around the time at plot x position AX.
    void ZoomAt(int AX, double AFactor);

    // The light look (for an exported picture) instead of the window's dark one.
    void SetLight(bool ALight) {
        fLight = ALight;
        update();
    }

    // The plot area in widget coordinates (the panes without the axes' labels).
    QRect PlotRect() const;
    int64_t TimeAtX(int AX) const;

signals:
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseMoveEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
    void leaveEvent(QEvent*) override;

private:
    void SetRange(int64_t AFrom, int64_t ATo);

    const TSessionHistory& fHistory;
    int fCurrentDecimals = 2;
    bool fLight = false;
    int64_t fFrom = 0;
    int64_t fTo = 60'000;
    bool fFollow = true;
    bool fFitAll = true;
    int fCursorX = -1;
    std::optional<QPoint> fDragStart;
    int64_t fDragFrom = 0;
    int64_t fDragTo = 0;
};
