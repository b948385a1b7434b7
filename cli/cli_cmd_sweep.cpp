// sweep: an I–V sweep of the set voltage or current through the widget-free sweep runner, each
// settled point printed as it is recorded, the points saved as CSV and as a PNG plot at the end.
// The output is switched off at the end, on an interrupt, a closed standard output and a lost
// link.

#include <QGuiApplication>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/cli_format.h"
#include "cli/cli_runner.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "tools/core/sweep.h"
#include "tools/core/sweep_csv.h"
#include "tools/core/sweep_plot.h"

namespace {

QString Volts(uint32_t AUnits) {
    return FormatUnits(AUnits, 2);
}
QString Amperes(uint32_t AUnits, int ADecimals) {
    return FormatUnits(AUnits, ADecimals);
}

class TSweepCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

    QString Prepare() override {
        const TSweepOptions& req = fCtx.Request().Of<TSweepOptions>();
        // Fonts need the GUI part of Qt; benchlordctl starts it when --png is given.
        if (!req.PngPath.isEmpty() &&
            qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
            return "--png: this program was started without its picture support";
        // Only checked here: the files are written once the sweep has recorded its points.
        for (const QString& path : {req.CsvPath, req.PngPath}) {
            if (path.isEmpty()) continue;
            const QString error = CheckOutputFile(path);
            if (!error.isEmpty()) {
                fCtx.Fail(ceLocalIO, CannotWriteText(path, error));
                return {};
            }
        }
        return {};
    }

    QString CheckLimits() override {
        const TSweepOptions& req = fCtx.Request().Of<TSweepOptions>();
        const QString model = ModelName(fCtx.Core());
        fVoltage = req.Quantity == "voltage";
        const int decimals = fVoltage ? 2 : fCtx.Core().Limits().CurrentDecimals();
        const uint32_t max = fVoltage ? fCtx.Core().Limits().MaxUset : fCtx.Core().Limits().MaxIset;
        const QString unit = fVoltage ? "V" : "A";
        fPlan.Quantity = fVoltage ? sqVoltage : sqCurrent;
        fPlan.DwellMs = req.DwellMs;
        fPlan.TakeTimeoutMs = fCtx.Config().SweepTakeTimeoutMs;
        QString error = Exact("FROM", req.From, decimals, unit);
        if (error.isEmpty()) error = Exact("TO", req.To, decimals, unit);
        if (error.isEmpty()) error = Exact("STEP", req.Step, decimals, unit);
        if (error.isEmpty())
            error = CheckRange("FROM", req.From, decimals, 0, max, unit, model, fPlan.From);
        if (error.isEmpty())
            error = CheckRange("TO", req.To, decimals, 0, max, unit, model, fPlan.To);
        if (error.isEmpty())
            error = CheckRange("STEP", req.Step, decimals, 1, max, unit, model, fPlan.Step);
        if (error.isEmpty() && req.Limit) {
            const int otherDecimals = fVoltage ? fCtx.Core().Limits().CurrentDecimals() : 2;
            const QString otherUnit = fVoltage ? "A" : "V";
            error = Exact("--limit", *req.Limit, otherDecimals, otherUnit);
            if (error.isEmpty())
                error = CheckRange(
                    "--limit", *req.Limit, otherDecimals, 1,
                    fVoltage ? fCtx.Core().Limits().MaxIset : fCtx.Core().Limits().MaxUset,
                    otherUnit, model, fPlan.Limit);
        }
        return error.isEmpty() ? error : "sweep: " + error;
    }

    void LiveReading() override {
        if (!fSweep) Begin();
    }

    void Stopping() override {
        if (!fSweep) return;
        fSweep->Stop(seStopped);
        const TSweepOptions& req = fCtx.Request().Of<TSweepOptions>();
        const std::vector<TSweepPoint>& points = fSweep->Points();
        if (points.empty()) {
            for (const QString& path : {req.CsvPath, req.PngPath})
                if (!path.isEmpty())
                    fCtx.Warn("no point was recorded: " + path + " is left as it was");
            return;
        }
        if (!req.CsvPath.isEmpty()) {
            const QString error =
                SaveSweepCsv(req.CsvPath, points, fCtx.Core().Limits().CurrentDiv);
            if (!error.isEmpty()) fCtx.Fail(ceLocalIO, CannotWriteText(req.CsvPath, error));
        }
        if (!req.PngPath.isEmpty()) {
            TSweepPlotData plot;
            plot.Title = fModel + ": " + PlanText();
            plot.Points = points;
            plot.Compliance = fSweep->End() == seCompliance;
            if (fVoltage) {
                plot.PlannedFrom = fPlan.From / 100.0;
                plot.PlannedTo = fPlan.To / 100.0;
                plot.LimitCurrent = fPlan.Limit / (100.0 * fCtx.Core().Limits().CurrentDiv);
            } else {
                plot.LimitVoltage = fPlan.Limit / 100.0;
            }
            const QString error = SaveSweepPlot(req.PngPath, plot);
            if (!error.isEmpty()) fCtx.Fail(ceLocalIO, CannotWriteText(req.PngPath, error));
        }
    }

    // The output goes off at the end unless the sweep has seen it off itself: after Ctrl-C,
    // a closed output and a lost link (the port is opened again for it).
    bool SwitchOffAtEnd() const override {
        if (!fSweep || !fSweep->Began()) return false;
        TSessionCore& core = fCtx.Core();
        return core.PowerOn() || core.Data().ONOFF != 0 || !core.Connected();
    }

private:
    // A value with more digits than the supply's resolution is refused, not rounded.
    static QString Exact(const QString& AName, const TDecimal& AValue, int ADecimals,
                         const QString& AUnit) {
        const QString extra = AValue.Fraction.mid(ADecimals);
        if (extra.count('0') == extra.size()) return {};
        return AName + " " + AValue.Text + ": finer than the supply's steps of " +
               FormatUnits(1, ADecimals) + " " + AUnit;
    }

    QString PlanText() const {
        const auto value = [this](uint32_t AUnits, bool AVoltage) {
            return AVoltage ? Volts(AUnits) + " V"
                            : Amperes(AUnits, fCtx.Core().Limits().CurrentDecimals()) + " A";
        };
        return QString(fVoltage ? "voltage" : "current") + " sweep " + value(fPlan.From, fVoltage) +
               " to " + value(fPlan.To, fVoltage) + " in steps of " + value(fPlan.Step, fVoltage) +
               ", " + (fVoltage ? "current" : "voltage") + " limit " +
               value(fPlan.Limit, !fVoltage);
    }

    void Begin() {
        TSessionCore& core = fCtx.Core();
        const TCurrentSet& d = core.Data();
        // Both set points are written: a charge profile's voltage cannot be changed.
        if (d.MEM >= 10) {
            fCtx.Fail(ceUsage, "The set voltage comes from the selected charge profile C" +
                                   QString::number(d.MEM - 10) + ".");
            return;
        }
        // Without --limit the supply's own other set point is the limit.
        if (!fCtx.Request().Of<TSweepOptions>().Limit) fPlan.Limit = fVoltage ? d.ISET : d.USET;
        const QString error =
            CheckSweepPlan(fPlan, {fCtx.Core().Limits().MaxUset, fCtx.Core().Limits().MaxIset,
                                   fCtx.Core().Limits().CurrentDiv, d.UIN});
        if (!error.isEmpty()) {
            fCtx.Fail(ceUsage, "sweep: " + error);
            return;
        }
        // Kept for the picture: a lost link clears the session's identification.
        fModel = ModelName(core);
        const TTickClock* clock = fCtx.Config().SweepClock;
        fSweep = std::make_unique<TSweep>(core, fPlan, clock ? *clock : SystemTickClock());
        if (!fCtx.Request().Json)
            fCtx.Print(PlanText() + ", " + QString::number(fSweep->PointCount()) + " points of " +
                       QString::number(fPlan.DwellMs / 1000.0) + " s\n");
        QObject::connect(fSweep.get(), &TSweep::PointRecorded, fSweep.get(),
                         [this](int AIndex) { PrintPoint(AIndex); });
        QObject::connect(fSweep.get(), &TSweep::Finished, fSweep.get(),
                         [this](TSweepEnd AEnd) { Ended(AEnd); });
        fSweep->Start();
    }

    void PrintPoint(int AIndex) {
        const TSweepPoint& p = fSweep->Points()[AIndex];
        const QStringList cells =
            SweepCsvRow(AIndex, p, fCtx.Core().Limits().CurrentDiv).split(',');
        const TFields fields{
            NumberField("point", cells[0], ""), NumberField("uset", cells[1], "V"),
            NumberField("iset", cells[2], "A"), NumberField("uout", cells[3], "V"),
            NumberField("iout", cells[4], "A"), NumberField("power", cells[5], "W"),
            StringField("mode", cells[6]),      NumberField("readings", cells[7], "")};
        // "point 5: set 2.00 V 0.20 A: 2.000 V 0.200 A 0.400 W CC"
        if (fCtx.Request().Json)
            fCtx.Print(JsonObject(fields) + "\n");
        else
            fCtx.Print("point " + cells[0] + ": set " + fields[1].Text + " " + fields[2].Text +
                       ": " + fields[3].Text + " " + fields[4].Text + " " + fields[5].Text + " " +
                       cells[6] + "\n");
    }

    void Ended(TSweepEnd AEnd) {
        const QString point = QString::number(fSweep->PointIndex() + 1);
        switch (AEnd) {
            case seCompleted:
            case seCompliance: {
                const QString end = AEnd == seCompleted ? "completed" : "compliance";
                if (fCtx.Request().Json)
                    fCtx.Print(
                        JsonObject(
                            {StringField("end", end),
                             NumberField("points", QString::number(fSweep->Points().size()), ""),
                             StringField("text", fSweep->EndText())}) +
                        "\n");
                else
                    fCtx.Print("sweep ended: " + fSweep->EndText() + "\n");
                fCtx.Done();
                return;
            }
            case seOutputOff: {
                const QString protect = ProtectLabel(fCtx.Core().Data().PROTECT);
                fCtx.Fail(ceRefused, "The output went off during point " + point +
                                         (protect.isEmpty() ? "." : " (" + protect + ")."));
                return;
            }
            case seNotTaken:
                fCtx.Fail(ceRefused,
                          "The supply did not take the set values of point " + point + ".");
                return;
            case seStopped:
            case seNone:
                return;
        }
    }

    bool fVoltage = true;
    QString fModel;
    TSweepPlan fPlan;
    std::unique_ptr<TSweep> fSweep;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeSweepCommand(TCliContext& AContext) {
    return std::make_unique<TSweepCommand>(AContext);
}
