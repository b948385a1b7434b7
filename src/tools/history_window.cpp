#include "tools/history_window.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/session_history.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/save_file.h"
#include "tools/history_plot.h"

THistoryWindow::THistoryWindow(const TSessionHistory& AHistory, QWidget* AParent)
    : QWidget(AParent, Qt::Window),
      fHistory(AHistory),
      fPlot(new THistoryPlot(AHistory, this)),
      fSummary(new QLabel(this)),
      fAll(new QPushButton(QStringLiteral("Whole history"), this)),
      fFollow(new QPushButton(QStringLiteral("Follow newest"), this)),
      fExportVisible(new QPushButton(QStringLiteral("Export visible..."), this)),
      fExportAll(new QPushButton(QStringLiteral("Export all..."), this)) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("History"));
    resize(1000, 620);
    fSummary->setObjectName(QStringLiteral("HistorySummary"));
    fAll->setToolTip(QStringLiteral("Show the whole session and follow it"));
    fFollow->setToolTip(
        QStringLiteral("Keep the zoom and follow the newest readings (also a double click)"));
    fExportVisible->setToolTip(QStringLiteral("Save what the plot shows as CSV, XLSX or PNG"));
    fExportAll->setToolTip(QStringLiteral("Save the whole history as CSV, XLSX or PNG"));

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(fAll);
    buttons->addWidget(fFollow);
    buttons->addSpacing(12);
    buttons->addWidget(fExportVisible);
    buttons->addWidget(fExportAll);
    buttons->addStretch(1);
    buttons->addWidget(fSummary);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(buttons);
    layout->addWidget(fPlot, 1);
    auto* hint = new QLabel(
        QStringLiteral("Wheel: zoom   Drag: pan   Double click: follow the newest"), this);
    hint->setObjectName(QStringLiteral("FieldLabel"));
    layout->addWidget(hint);

    connect(fAll, &QPushButton::clicked, this, [this] { fPlot->ShowAll(); });
    connect(fFollow, &QPushButton::clicked, this, [this] { fPlot->FollowNewest(); });
    connect(fExportVisible, &QPushButton::clicked, this, [this] { ExportClick(true); });
    connect(fExportAll, &QPushButton::clicked, this, [this] { ExportClick(false); });
    fRefresh.setInterval(250);
    connect(&fRefresh, &QTimer::timeout, this, [this] { Refresh(); });
}

void THistoryWindow::showEvent(QShowEvent*) {
    Refresh();
    fRefresh.start();
}

void THistoryWindow::hideEvent(QHideEvent*) {
    fRefresh.stop();
}

void THistoryWindow::Refresh() {
    if (CurrentDecimals) fPlot->SetCurrentDecimals(CurrentDecimals());
    fPlot->Refresh();
    const double mb = static_cast<double>(fHistory.MemoryBytes()) / (1024.0 * 1024.0);
    fSummary->setText(QString("%1 readings, %2 thinned seconds, %3 MB%4")
                          .arg(fHistory.FullRateCount())
                          .arg(fHistory.ThinnedCount())
                          .arg(mb, 0, 'f', 1)
                          .arg(fPlot->Following() ? QStringLiteral(" · following") : QString()));
}

QString THistoryWindow::ExportTo(const QString& APath, bool AVisibleOnly) {
    const QString suffix = QFileInfo(APath).suffix().toLower();
    if (suffix == "png") {
        // The plot as shown (or over the whole history), saved like the other formats.
        const QString refused = CheckSaveTarget(APath);
        if (!refused.isEmpty()) return CannotWrite(APath, refused);
        const int64_t from = fPlot->From(), to = fPlot->To();
        const bool following = fPlot->Following();
        if (!AVisibleOnly && !fHistory.Empty())
            fPlot->ShowRange(fHistory.FirstTime(), fHistory.LastTime() + 1);
        // Printed pictures keep the light look.
        fPlot->SetLight(true);
        const QPixmap picture = fPlot->grab();
        fPlot->SetLight(false);
        if (!AVisibleOnly) {
            fPlot->ShowRange(from, to);
            if (following) fPlot->FollowNewest();
        }
        const QString error = SaveFile(APath, [&picture](const QString& ATemp) {
            return picture.save(ATemp, "PNG") ? QString() : QStringLiteral("cannot encode PNG");
        });
        return error.isEmpty() ? QString() : CannotWrite(APath, error);
    }
    THistoryExport options;
    if (AVisibleOnly) {
        options.From = fPlot->From();
        options.To = fPlot->To() - 1;
    }
    options.CurrentDecimals = CurrentDecimals ? CurrentDecimals() : 2;
    return SaveHistory(APath, suffix == "xlsx" ? hfXlsx : hfCsv, fHistory, options);
}

void THistoryWindow::ExportClick(bool AVisibleOnly) {
    QStringList filters = {QStringLiteral("CSV (*.csv)")};
    if (SpreadsheetOffered()) filters << QStringLiteral("Excel workbook (*.xlsx)");
    filters << QStringLiteral("PNG picture of the plot (*.png)");
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, AVisibleOnly ? QStringLiteral("Export visible") : QStringLiteral("Export all"),
        QStringLiteral("history.csv"), filters.join(QStringLiteral(";;")), &filter);
    if (path.isEmpty()) return;
    // A name without a known extension gets the one of the chosen filter.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "csv" && suffix != "xlsx" && suffix != "png")
        path += filter.contains("xlsx") ? ".xlsx" : filter.contains("png") ? ".png" : ".csv";
    const QString error = ExportTo(path, AVisibleOnly);
    if (!error.isEmpty() && OnError) OnError(error);
}
