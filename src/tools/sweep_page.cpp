#include "tools/sweep_page.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/session_core.h"
#include "tools/core/output_off.h"
#include "tools/core/save_file.h"
#include "tools/core/sweep_csv.h"
#include "tools/sweep_plot_view.h"

namespace {

QDoubleSpinBox* Field(double AValue, int ADecimals, const char* ASuffix, QWidget* AParent) {
    auto* box = new QDoubleSpinBox(AParent);
    box->setRange(0, 999);
    box->setDecimals(ADecimals);
    box->setSuffix(QString::fromLatin1(ASuffix));
    box->setValue(AValue);
    box->setKeyboardTracking(false);
    return box;
}

uint32_t Units(double AValue, double AUnitsPerOne) {
    return static_cast<uint32_t>(qRound64(AValue * AUnitsPerOne));
}

QString Volts(uint32_t AUnits) {
    return QString::number(AUnits / 100.0, 'f', 2) + " V";
}

QString Amperes(uint32_t AUnits, uint32_t ADiv) {
    return QString::number(AUnits / (100.0 * ADiv), 'f', ADiv == 10 ? 3 : 2) + " A";
}

}  // namespace

TSweepPage::TSweepPage(TSessionCore& ACore, QWidget* AParent)
    : QWidget(AParent),
      fCore(ACore),
      fQuantity(new QComboBox(this)),
      fFrom(Field(0, 3, " V", this)),
      fTo(Field(3, 3, " V", this)),
      fStep(Field(0.05, 3, " V", this)),
      fDwell(Field(0.5, 1, " s", this)),
      fLimit(Field(0.03, 3, " A", this)),
      fLimitUnit(new QLabel(this)),
      fRun(new QPushButton(QStringLiteral("Run"), this)),
      fStop(new QPushButton(QStringLiteral("Stop"), this)),
      fExportCsv(new QPushButton(QStringLiteral("Export CSV..."), this)),
      fExportPng(new QPushButton(QStringLiteral("Export PNG..."), this)),
      fStatus(new QLabel(this)),
      fPlot(new TSweepPlotView(this)) {
    fQuantity->addItems({QStringLiteral("Voltage"), QStringLiteral("Current")});
    fQuantity->setToolTip(QStringLiteral("The set point that is stepped"));
    fDwell->setRange(0.1, 3600);
    fDwell->setToolTip(
        QStringLiteral("How long each point is held; the mean of the readings in the last part "
                       "of it is recorded"));
    fLimit->setToolTip(
        QStringLiteral("The other set point: the sweep stops when the supply reaches it "
                       "(compliance)"));
    fRun->setObjectName(QStringLiteral("SweepRun"));
    fRun->setToolTip(QStringLiteral("Sweep from the first point; the output goes on"));
    fStop->setToolTip(QStringLiteral("Stop the sweep; the output goes off"));
    fExportCsv->setToolTip(QStringLiteral("Save the recorded points as CSV"));
    fExportPng->setToolTip(QStringLiteral("Save the plot as a PNG picture"));
    fStatus->setObjectName(QStringLiteral("SweepStatus"));
    fStatus->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Sweep"), fQuantity);
    form->addRow(QStringLiteral("From"), fFrom);
    form->addRow(QStringLiteral("To"), fTo);
    form->addRow(QStringLiteral("Step"), fStep);
    form->addRow(QStringLiteral("Dwell"), fDwell);
    form->addRow(fLimitUnit, fLimit);
    auto* side = new QVBoxLayout;
    side->addLayout(form);
    auto* runButtons = new QHBoxLayout;
    runButtons->addWidget(fRun);
    runButtons->addWidget(fStop);
    side->addLayout(runButtons);
    side->addWidget(fExportCsv);
    side->addWidget(fExportPng);
    side->addWidget(fStatus);
    side->addStretch(1);
    // The fields keep their width whatever the status says: the plot never narrows.
    auto* sideBox = new QWidget(this);
    sideBox->setLayout(side);
    side->setContentsMargins(0, 0, 0, 0);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(sideBox);
    layout->addWidget(fPlot, 1);

    connect(fQuantity, &QComboBox::currentIndexChanged, this, [this] { QuantityChanged(); });
    connect(fRun, &QPushButton::clicked, this, [this] { RunClick(); });
    connect(fStop, &QPushButton::clicked, this, [this] { StopClick(); });
    connect(fExportCsv, &QPushButton::clicked, this, [this] { ExportClick(false); });
    connect(fExportPng, &QPushButton::clicked, this, [this] { ExportClick(true); });
    QuantityChanged();
    sideBox->setFixedWidth(sideBox->sizeHint().width());
}

TSweepPage::~TSweepPage() = default;

void TSweepPage::QuantityChanged() {
    // Volts in 0.01 V, amperes in the model's current unit: a field cannot hold a value finer
    // than the supply can set.
    const bool voltage = fQuantity->currentIndex() == 0;
    const int currentDecimals = fCore.Limits().CurrentDiv == 10 ? 3 : 2;
    const int steppedDecimals = voltage ? 2 : currentDecimals;
    for (QDoubleSpinBox* box : {fFrom, fTo, fStep}) {
        box->setDecimals(steppedDecimals);
        box->setSuffix(voltage ? QStringLiteral(" V") : QStringLiteral(" A"));
    }
    fLimit->setDecimals(voltage ? currentDecimals : 2);
    fLimit->setSuffix(voltage ? QStringLiteral(" A") : QStringLiteral(" V"));
    fLimitUnit->setText(voltage ? QStringLiteral("Current limit")
                                : QStringLiteral("Voltage limit"));
    UpdateButtons();
}

void TSweepPage::showEvent(QShowEvent* AEvent) {
    // The model may have changed since: its current unit sets the fields' decimals.
    if (!Running()) QuantityChanged();
    QWidget::showEvent(AEvent);
}

TSweepPlan TSweepPage::PlanFromFields() const {
    TSweepPlan plan;
    plan.Quantity = fQuantity->currentIndex() == 0 ? sqVoltage : sqCurrent;
    const double volts = 100.0;
    const double amperes = 100.0 * fCore.Limits().CurrentDiv;
    const double stepped = plan.Quantity == sqVoltage ? volts : amperes;
    plan.From = Units(fFrom->value(), stepped);
    plan.To = Units(fTo->value(), stepped);
    plan.Step = Units(fStep->value(), stepped);
    plan.Limit = Units(fLimit->value(), plan.Quantity == sqVoltage ? amperes : volts);
    plan.DwellMs = Units(fDwell->value(), 1000.0);
    return plan;
}

bool TSweepPage::Running() const {
    return fSweep && fSweep->Running();
}

void TSweepPage::SetRunAllowed(bool AAllowed) {
    fRunAllowed = AAllowed;
    UpdateButtons();
}

void TSweepPage::UpdateButtons() {
    const bool running = Running();
    fRun->setEnabled(fRunAllowed && !running);
    fStop->setEnabled(running);
    for (QWidget* w : {static_cast<QWidget*>(fQuantity), static_cast<QWidget*>(fFrom),
                       static_cast<QWidget*>(fTo), static_cast<QWidget*>(fStep),
                       static_cast<QWidget*>(fDwell), static_cast<QWidget*>(fLimit)})
        w->setEnabled(!running);
    const bool points = fSweep && !fSweep->Points().empty();
    fExportCsv->setEnabled(points && !running);
    fExportPng->setEnabled(points && !running);
}

void TSweepPage::RunClick() {
    if (!fRunAllowed || Running()) return;
    const TSweepPlan plan = PlanFromFields();
    TSweepRange range;
    range.MaxUset = fCore.Limits().MaxUset;
    range.MaxIset = fCore.Limits().MaxIset;
    range.CurrentDiv = fCore.Limits().CurrentDiv;
    range.Uin = fCore.Data().UIN;
    const QString problem = CheckSweepPlan(plan, range);
    if (!problem.isEmpty()) {
        if (OnError) OnError("The sweep cannot run: " + problem + ".");
        return;
    }
    fFoundUset = fCore.Data().USET;
    fFoundIset = fCore.Data().ISET;
    fSweep = std::make_unique<TSweep>(fCore, plan);
    connect(fSweep.get(), &TSweep::PointRecorded, this, [this](int AIndex) { Recorded(AIndex); });
    connect(fSweep.get(), &TSweep::Finished, this, [this] { Finished(); });
    ShowPoints();
    fStatus->setText(QString("0 of %1 points").arg(fSweep->PointCount()));
    fSweep->Start();
    UpdateButtons();
    if (OnRunningChanged) OnRunningChanged();
}

void TSweepPage::StopClick() {
    if (Running()) fSweep->Stop();
}

void TSweepPage::StopWithOutputOff() {
    if (!Running()) return;
    const bool on = fCore.PowerOn();
    fSweep->Stop();
    // The session closes next and drops pending jobs: the off write goes out now.
    if (on && fCore.Connected())
        SwitchOutputOffNow(fCore, static_cast<int>(fCore.Timings().ResponseTimeout));
}

void TSweepPage::Recorded(int AIndex) {
    fStatus->setText(QString("%1 of %2 points").arg(AIndex + 1).arg(fSweep->PointCount()));
    ShowPoints();
}

TSweepPlotData TSweepPage::PlotData(bool AFullTitle) const {
    TSweepPlotData data;
    if (!fSweep) return data;
    const TSweepPlan& plan = fSweep->Plan();
    const bool voltage = plan.Quantity == sqVoltage;
    const auto value = [this](uint32_t AUnits, bool AVoltage) {
        return AVoltage ? Volts(AUnits) : Amperes(AUnits, fCore.Limits().CurrentDiv);
    };
    // On screen the fields beside the plot say the rest; the picture carries it all.
    data.Title = value(plan.From, voltage) + " to " + value(plan.To, voltage) + ", step " +
                 value(plan.Step, voltage) + ", limit " + value(plan.Limit, !voltage);
    if (AFullTitle)
        data.Title = QString::fromStdString(fCore.Limits().ModelName) + ": " +
                     (voltage ? "voltage" : "current") + " sweep " + value(plan.From, voltage) +
                     " to " + value(plan.To, voltage) + " in steps of " +
                     value(plan.Step, voltage) + ", " + (voltage ? "current" : "voltage") +
                     " limit " + value(plan.Limit, !voltage);
    data.Points = fSweep->Points();
    data.Compliance = fSweep->End() == seCompliance;
    if (voltage) {
        data.PlannedFrom = plan.From / 100.0;
        data.PlannedTo = plan.To / 100.0;
    }
    return data;
}

void TSweepPage::ShowPoints() {
    fPlot->SetData(PlotData());
}

void TSweepPage::Finished() {
    QString text = QString("%1 of %2 points: %3")
                       .arg(fSweep->Points().size())
                       .arg(fSweep->PointCount())
                       .arg(fSweep->EndText());
    // The supply is left at the set points it had before, not at the sweep's last point.
    if (fSweep->Began() && fCore.Connected()) {
        fCore.SetPoints(fFoundUset, fFoundIset);
        text += ". Set points back to " + Volts(fFoundUset) + ", " +
                Amperes(fFoundIset, fCore.Limits().CurrentDiv) + ".";
    }
    fStatus->setText(text);
    ShowPoints();
    UpdateButtons();
    if (OnRunningChanged) OnRunningChanged();
}

QString TSweepPage::ExportTo(const QString& APath) {
    if (!fSweep) return QStringLiteral("no sweep was run");
    if (QFileInfo(APath).suffix().toLower() == "png") return SaveSweepPlot(APath, PlotData(true));
    return SaveSweepCsv(APath, fSweep->Points(), fCore.Limits().CurrentDiv);
}

void TSweepPage::ExportClick(bool APicture) {
    const QString filter =
        APicture ? QStringLiteral("PNG picture (*.png)") : QStringLiteral("CSV (*.csv)");
    const QString suffix = APicture ? QStringLiteral("png") : QStringLiteral("csv");
    QString path = AskSaveFileName ? AskSaveFileName("sweep." + suffix, filter) : QString();
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().toLower() != suffix) path += "." + suffix;
    const QString error = ExportTo(path);
    if (!error.isEmpty() && OnError) OnError(CannotWrite(path, error));
}
