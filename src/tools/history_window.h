#pragma once
// The "History" window: the plot of the whole session's readings with buttons to show all of
// it, to follow the newest readings, and to export the visible stretch or the whole history as
// CSV, an .xlsx workbook or a PNG picture of the plot. It reads the history the session keeps;
// it changes nothing in the session.

#include <QTimer>
#include <QWidget>
#include <functional>

#include "tools/core/history_export.h"

class QLabel;
class QPushButton;
class THistoryPlot;
class TSessionHistory;

class THistoryWindow : public QWidget {
public:
    explicit THistoryWindow(const TSessionHistory& AHistory, QWidget* AParent = nullptr);

    // 3 on models that count in 0.001 A; asked at every refresh.
    std::function<int()> CurrentDecimals;
    // Shows an export error (the main window's message box).
    std::function<void(const QString&)> OnError;

    // Redraws with the readings that came since (also done by the window's own timer while it is
    // shown).
    void Refresh();
    // Writes the visible stretch (AVisibleOnly) or the whole history to APath, the format by its
    // extension (.csv, .xlsx, .png); an error text, empty on success.
    QString ExportTo(const QString& APath, bool AVisibleOnly);

    THistoryPlot* Plot() const { return fPlot; }
    QLabel* Summary() const { return fSummary; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void ExportClick(bool AVisibleOnly);

    const TSessionHistory& fHistory;
    THistoryPlot* fPlot;
    QLabel* fSummary;
    QPushButton* fAll;
    QPushButton* fFollow;
    QPushButton* fExportVisible;
    QPushButton* fExportAll;
    QTimer fRefresh;
};
