#pragma once
// The Plans window's "Sweep" tab: which set point is stepped (voltage or current), from, to,
// step, dwell and the limit of the other quantity; Run and Stop; the curve drawn as each point
// is recorded; the points exported as CSV or the plot as a PNG picture. The sweep itself is the
// widget-free TSweep on the main window's session.

#include <QWidget>
#include <functional>
#include <memory>

#include "tools/core/sweep.h"
#include "tools/core/sweep_plot.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class TSessionCore;
class TSweepPlotView;

class TSweepPage : public QWidget {
public:
    TSweepPage(TSessionCore& ACore, QWidget* AParent = nullptr);
    ~TSweepPage() override;

    std::function<void(const QString&)> OnError;
    std::function<QString(const QString& AProposed, const QString& AFilter)> AskSaveFileName;
    // The sweep began or ended.
    std::function<void()> OnRunningChanged;

    // The plan of the fields in register units of the connected model.
    TSweepPlan PlanFromFields() const;
    // Starts a sweep of the fields; an error box when the supply cannot deliver it.
    void RunClick();
    // Stops a running sweep (the output goes off through the session).
    void StopClick();
    // The same, with the output switched off at once (the session is about to end).
    void StopWithOutputOff();
    bool Running() const;
    // "Run" allowed (connected, output off, no plan running).
    void SetRunAllowed(bool AAllowed);
    // Writes the points (CSV) or the plot (PNG) by APath's extension; an error text or empty.
    QString ExportTo(const QString& APath);

    const TSweep* Current() const { return fSweep.get(); }
    QComboBox* Quantity() const { return fQuantity; }
    QDoubleSpinBox* From() const { return fFrom; }
    QDoubleSpinBox* To() const { return fTo; }
    QDoubleSpinBox* Step() const { return fStep; }
    QDoubleSpinBox* Dwell() const { return fDwell; }
    QDoubleSpinBox* Limit() const { return fLimit; }
    QPushButton* RunButton() const { return fRun; }
    QPushButton* StopButton() const { return fStop; }
    QLabel* Status() const { return fStatus; }
    TSweepPlotView* Plot() const { return fPlot; }

protected:
    void showEvent(QShowEvent* AEvent) override;

private:
    void QuantityChanged();
    void UpdateButtons();
    void Recorded(int AIndex);
    void Finished();
    void ExportClick(bool APicture);
    TSweepPlotData PlotData(bool AFullTitle = false) const;
    void ShowPoints();

    TSessionCore& fCore;
    std::unique_ptr<TSweep> fSweep;
    // The supply's set points when the sweep began; put back at its end.
    uint32_t fFoundUset = 0;
    uint32_t fFoundIset = 0;
    QComboBox* fQuantity;
    QDoubleSpinBox* fFrom;
    QDoubleSpinBox* fTo;
    QDoubleSpinBox* fStep;
    QDoubleSpinBox* fDwell;
    QDoubleSpinBox* fLimit;
    QLabel* fLimitUnit;
    QPushButton* fRun;
    QPushButton* fStop;
    QPushButton* fExportCsv;
    QPushButton* fExportPng;
    QLabel* fStatus;
    TSweepPlotView* fPlot;
    bool fRunAllowed = false;
};
