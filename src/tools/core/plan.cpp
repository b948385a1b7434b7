#include "tools/core/plan.h"

#include <QList>
#include <QStringList>
#include <algorithm>
#include <array>

#include "tools/core/csv_values.h"

namespace {

QString Fixed(uint32_t AValue, int ADecimals) {
    double scale = 1;
    for (int i = 0; i < ADecimals; ++i)
        scale *= 10;
    return QString::number(AValue / scale, 'f', ADecimals);
}

const char kConditionForms[] =
    "I<=A, I>=A, V<=V, V>=V, Ah>=N, Wh>=N, plan.Ah>=N, plan.Wh>=N, CC, CV or trip";

// Quantity of a comparison condition: its name, unit suffix, decimals and kinds.
struct TQuantity {
    const char* Name;  // lower case, as compared
    const char* Shown;
    const char* Unit;
    int Decimals;
    TPlanCondKind AtMost;
    TPlanCondKind AtLeast;
    bool HasAtMost;
};
constexpr std::array<TQuantity, 4> kQuantities{{
    {"ah", "Ah", "ah", 3, TPlanCondKind::ChargeAtLeast, TPlanCondKind::ChargeAtLeast, false},
    {"wh", "Wh", "wh", 3, TPlanCondKind::EnergyAtLeast, TPlanCondKind::EnergyAtLeast, false},
    {"i", "I", "a", 3, TPlanCondKind::CurrentAtMost, TPlanCondKind::CurrentAtLeast, true},
    {"v", "V", "v", 2, TPlanCondKind::VoltageAtMost, TPlanCondKind::VoltageAtLeast, true},
}};

QString Where(const TPlanStep& AStep, size_t AIndex) {
    return AStep.Line ? "line " + QString::number(AStep.Line) + ": "
                      : "step " + QString::number(AIndex + 1) + ": ";
}

enum TColumn {
    colVoltage,
    colCurrent,
    colSeconds,
    colUntil,
    colMaxSeconds,
    colRamp,
    colEnabled,
    colCount
};
constexpr std::array<const char*, colCount> kColumnNames{
    "voltage", "current", "seconds", "until", "max_seconds", "ramp", "enabled"};

// The heading's columns, or an error.
QString ParseHeading(const QByteArray& ALine, std::vector<int>& AColumns) {
    AColumns.clear();
    for (const QByteArray& field : ALine.split(',')) {
        const QByteArray name = field.trimmed().toLower();
        const auto it = std::find(kColumnNames.begin(), kColumnNames.end(), name);
        if (it == kColumnNames.end())
            return "unknown column \"" + QString::fromUtf8(field.trimmed()) +
                   "\" (voltage, current, seconds, until, max_seconds, ramp, enabled)";
        const int column = static_cast<int>(it - kColumnNames.begin());
        if (std::find(AColumns.begin(), AColumns.end(), column) != AColumns.end())
            return "column " + QString::fromUtf8(name) + " appears twice";
        AColumns.push_back(column);
    }
    for (int required : {colVoltage, colCurrent})
        if (std::find(AColumns.begin(), AColumns.end(), required) == AColumns.end())
            return QString("the heading has no ") + kColumnNames[required] + " column";
    return {};
}

QString ParseSeconds(const QByteArray& AText, const char* AName, uint32_t& AValue) {
    if (!ParseFixed(AText, 0, AValue) || AValue < 1 || AValue > kMaxPlanStepSeconds)
        return QString(AName) + " must be a whole number from 1 to " +
               QString::number(kMaxPlanStepSeconds);
    return {};
}

// A ramp cell: V, I, "V from N", "I from N", joined by '|'. An error text, empty on success.
QString ParseRamp(const QByteArray& AText, TPlanRamp& ARamp) {
    for (const QByteArray& part : AText.split('|')) {
        const QByteArray t = part.simplified().toLower();
        const QString bad = "ramp \"" + QString::fromUtf8(part.trimmed()) + "\": ";
        const bool voltage = t.startsWith('v');
        if (!voltage && !t.startsWith('i'))
            return bad + "expected V, I, V from N or I from N, joined by |";
        bool& ramps = voltage ? ARamp.Voltage : ARamp.Current;
        if (ramps) return bad + (voltage ? "V" : "I") + " ramps once a step";
        ramps = true;
        QByteArray rest = t.mid(1).trimmed();
        if (rest.isEmpty()) continue;
        if (!rest.startsWith("from"))
            return bad + "expected V, I, V from N or I from N, joined by |";
        rest = rest.mid(4).trimmed();
        if (rest.endsWith(voltage ? 'v' : 'a')) rest.chop(1);
        uint32_t value = 0;
        if (!ParseFixed(rest.trimmed(), voltage ? 2 : 3, value))
            return bad + (voltage ? "the start is not a number of volts with at most two decimals"
                                  : "the start is not a number of amperes with at most three "
                                    "decimals");
        (voltage ? ARamp.FromCentivolts : ARamp.FromMilliamps) = value;
    }
    return {};
}

// One step from its cells (by column; a missing cell is empty). An error without the line.
// Every problem of one step's cells, in the columns' order; none when the step is whole.
QStringList ParseStep(const std::array<QByteArray, colCount>& ACells, TPlanStep& AStep) {
    QStringList problems;
    if (!ParseFixed(ACells[colVoltage], 2, AStep.Centivolts))
        problems << FixedCellProblem("voltage", ACells[colVoltage],
                                     "a number of volts with at most two decimals");
    if (!ParseFixed(ACells[colCurrent], 3, AStep.Milliamps))
        problems << FixedCellProblem("current", ACells[colCurrent],
                                     "a number of amperes with at most three decimals");
    QString error;
    bool secondsRead = true;
    if (!ACells[colSeconds].isEmpty() &&
        !(error = ParseSeconds(ACells[colSeconds], "seconds", AStep.Seconds)).isEmpty()) {
        problems << error;
        secondsRead = false;
    }
    bool untilRead = true;
    if (!ACells[colUntil].isEmpty()) {
        for (const QByteArray& part : ACells[colUntil].split('|')) {
            TPlanCondition condition;
            error = ParseCondition(part, condition);
            if (!error.isEmpty()) {
                problems << error;
                untilRead = false;
                continue;
            }
            if (std::find(AStep.Until.begin(), AStep.Until.end(), condition) == AStep.Until.end())
                AStep.Until.push_back(condition);
        }
    }
    const bool hasUntil = !ACells[colUntil].isEmpty();
    if (!ACells[colMaxSeconds].isEmpty()) {
        if (!hasUntil) {
            problems << "max_seconds belongs to a step with until; a fixed step gives seconds";
        } else if (!(error = ParseSeconds(ACells[colMaxSeconds], "max_seconds", AStep.MaxSeconds))
                        .isEmpty()) {
            problems << error;
        }
    } else if (hasUntil) {
        problems << "a step with until needs max_seconds, the longest it may run";
    }
    if (!hasUntil && secondsRead && AStep.Seconds == 0)
        problems << "give seconds, or until with max_seconds";
    if (untilRead && secondsRead && AStep.MaxSeconds && AStep.Seconds > AStep.MaxSeconds)
        problems << "seconds is more than max_seconds";
    if (!ACells[colEnabled].isEmpty() && !ParseEnabled(ACells[colEnabled], AStep.Enabled))
        problems << "enabled must be 1 or 0";
    if (!ACells[colRamp].isEmpty() && !(error = ParseRamp(ACells[colRamp], AStep.Ramp)).isEmpty())
        problems << error;
    return problems;
}

}  // namespace

QString ConditionText(const TPlanCondition& ACondition) {
    const QString plan = ACondition.WholePlan ? "plan." : "";
    switch (ACondition.Kind) {
        case TPlanCondKind::CurrentAtMost:
            return "I<=" + Fixed(ACondition.Value, 3);
        case TPlanCondKind::CurrentAtLeast:
            return "I>=" + Fixed(ACondition.Value, 3);
        case TPlanCondKind::VoltageAtMost:
            return "V<=" + Fixed(ACondition.Value, 2);
        case TPlanCondKind::VoltageAtLeast:
            return "V>=" + Fixed(ACondition.Value, 2);
        case TPlanCondKind::ChargeAtLeast:
            return plan + "Ah>=" + Fixed(ACondition.Value, 3);
        case TPlanCondKind::EnergyAtLeast:
            return plan + "Wh>=" + Fixed(ACondition.Value, 3);
        case TPlanCondKind::EnteredCC:
            return "CC";
        case TPlanCondKind::EnteredCV:
            return "CV";
        case TPlanCondKind::Trip:
            break;
    }
    return "trip";
}

QString ParseCondition(const QByteArray& AText, TPlanCondition& ACondition) {
    const QByteArray shown = AText.trimmed();
    QByteArray t = shown.toLower();
    t.replace(' ', "");
    const QString bad = "condition \"" + QString::fromUtf8(shown) + "\": ";
    ACondition = {};
    if (t == "cc" || t == "cv" || t == "trip") {
        ACondition.Kind = t == "cc"   ? TPlanCondKind::EnteredCC
                          : t == "cv" ? TPlanCondKind::EnteredCV
                                      : TPlanCondKind::Trip;
        return {};
    }
    if (t.startsWith("plan.")) {
        ACondition.WholePlan = true;
        t = t.mid(5);
    }
    for (const TQuantity& q : kQuantities) {
        if (!t.startsWith(q.Name)) continue;
        const QByteArray op = t.mid(qsizetype(qstrlen(q.Name)), 2);
        if (op != "<=" && op != ">=") break;
        if (op == "<=" && !q.HasAtMost)
            return bad + "charge and energy only grow; use " + QString(q.Shown) + ">=";
        if (ACondition.WholePlan && q.HasAtMost)
            return bad + "plan. counts charge and energy (plan.Ah>=N, plan.Wh>=N)";
        QByteArray number = t.mid(qsizetype(qstrlen(q.Name)) + 2);
        if (number.endsWith(q.Unit)) number.chop(qsizetype(qstrlen(q.Unit)));
        if (!ParseFixed(number, q.Decimals, ACondition.Value))
            return bad + (number.startsWith('-') ? QString("the value is negative")
                                                 : "the value is not a number with at most " +
                                                       QString::number(q.Decimals) + " decimals");
        ACondition.Kind = op == "<=" ? q.AtMost : q.AtLeast;
        return {};
    }
    return bad + "expected " + kConditionForms;
}

TPlanFile ParsePlanCsv(const QByteArray& ABytes) {
    TPlanFile file;
    const QList<QByteArray> lines = ABytes.split('\n');
    // Without a heading: the step file's columns.
    std::vector<int> columns{colVoltage, colCurrent, colSeconds, colEnabled};
    bool headed = false;
    bool first = true;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const QString where = "line " + QString::number(i + 1) + ": ";
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (first && !StartsWithNumber(line)) {
            first = false;
            headed = true;
            const QString error = ParseHeading(line, columns);
            if (!error.isEmpty()) {
                // Without its columns no line can be read.
                file.Problems << where + error;
                file.Error = file.Problems.front();
                return file;
            }
            continue;
        }
        first = false;
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() > static_cast<qsizetype>(columns.size()) ||
            (!headed && fields.size() < 3)) {
            QStringList names;
            for (int column : columns)
                names << kColumnNames[column];
            file.Problems << where + "expected " +
                                 (headed ? names.join(',') : "voltage,current,seconds[,enabled]");
            continue;
        }
        std::array<QByteArray, colCount> cells;
        for (qsizetype f = 0; f < fields.size(); ++f)
            cells[columns[f]] = fields[f].trimmed();
        TPlanStep step;
        step.Line = i + 1;
        // A step with problems is left out; the lines after it are read all the same, so that
        // every problem of the file is told at once.
        const QStringList problems = ParseStep(cells, step);
        for (const QString& problem : problems)
            file.Problems << where + problem;
        if (!problems.isEmpty()) continue;
        if (static_cast<int>(file.Plan.Steps.size()) == kMaxPlanSteps) {
            file.Problems << where + "a plan holds at most " + QString::number(kMaxPlanSteps) +
                                 " steps";
            break;
        }
        file.Plan.Steps.push_back(step);
    }
    if (file.Problems.isEmpty() && file.Plan.Steps.empty())
        file.Problems << "the file holds no step";
    // A ramp needs a start: the value it names or the step before it.
    for (size_t i = 0; i < file.Plan.Steps.size(); ++i) {
        TRampStart start;
        if (file.Plan.Steps[i].Enabled && !RampStartOf(file.Plan, i, start))
            file.Problems << Where(file.Plan.Steps[i], i) +
                                 "the ramp has no step before it to start from; name its "
                                 "start (V from N, I from N)";
    }
    if (!file.Problems.isEmpty()) file.Error = file.Problems.front();
    return file;
}

QString UntilText(const TPlanStep& AStep) {
    QStringList parts;
    for (const TPlanCondition& c : AStep.Until)
        parts << ConditionText(c);
    return parts.join('|');
}

QString RampText(const TPlanRamp& ARamp) {
    QStringList parts;
    if (ARamp.Voltage)
        parts << "V" + (ARamp.FromCentivolts ? " from " + Fixed(*ARamp.FromCentivolts, 2)
                                             : QString());
    if (ARamp.Current)
        parts << "I" +
                     (ARamp.FromMilliamps ? " from " + Fixed(*ARamp.FromMilliamps, 3) : QString());
    return parts.join('|');
}

bool RampStartOf(const TPlan& APlan, size_t AStep, TRampStart& AStart) {
    const TPlanStep& step = APlan.Steps[AStep];
    AStart = {step.Centivolts, step.Milliamps};
    const TPlanRamp& ramp = step.Ramp;
    const bool needsBefore =
        (ramp.Voltage && !ramp.FromCentivolts) || (ramp.Current && !ramp.FromMilliamps);
    const TPlanStep* before = nullptr;
    for (size_t i = AStep; i-- > 0 && !before;)
        if (APlan.Steps[i].Enabled) before = &APlan.Steps[i];
    if (needsBefore && !before) return false;
    if (ramp.Voltage)
        AStart.Centivolts = ramp.FromCentivolts ? *ramp.FromCentivolts : before->Centivolts;
    if (ramp.Current)
        AStart.Milliamps = ramp.FromMilliamps ? *ramp.FromMilliamps : before->Milliamps;
    return true;
}

TPlanRamp ResolvedRamp(const TPlan& APlan, size_t AStep) {
    TPlanRamp ramp = APlan.Steps[AStep].Ramp;
    TRampStart start;
    if (!ramp.Any() || !RampStartOf(APlan, AStep, start)) return ramp;
    if (ramp.Voltage) ramp.FromCentivolts = start.Centivolts;
    if (ramp.Current) ramp.FromMilliamps = start.Milliamps;
    return ramp;
}

QByteArray PlanCsvText(const TPlan& APlan, const QString& AComment) {
    const bool anyDisabled = std::any_of(APlan.Steps.begin(), APlan.Steps.end(),
                                         [](const TPlanStep& s) { return !s.Enabled; });
    const bool anyRamp = std::any_of(APlan.Steps.begin(), APlan.Steps.end(),
                                     [](const TPlanStep& s) { return s.Ramp.Any(); });
    QString text;
    if (!AComment.isEmpty())
        for (const QString& line : AComment.split('\n'))
            text += "# " + line + "\n";
    text += QString("voltage,current,seconds,until,max_seconds") + (anyRamp ? ",ramp" : "") +
            (anyDisabled ? ",enabled" : "") + "\n";
    for (const TPlanStep& s : APlan.Steps) {
        text += Fixed(s.Centivolts, 2) + "," + Fixed(s.Milliamps, 3) + "," +
                (s.Seconds ? QString::number(s.Seconds) : QString()) + "," + UntilText(s) + "," +
                (s.MaxSeconds ? QString::number(s.MaxSeconds) : QString()) +
                (anyRamp ? "," + RampText(s.Ramp) : QString()) +
                (anyDisabled ? (s.Enabled ? ",1" : ",0") : "") + "\n";
    }
    return text.toUtf8();
}

uint32_t IsetOf(uint32_t AMilliamps, uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? AMilliamps : AMilliamps / 10;
}

uint32_t InputNeededFor(uint32_t ACentivolts) {
    return (ACentivolts * 11 + 9) / 10;
}

QStringList PlanLimitProblems(const TPlan& APlan, uint32_t AMaxUset, uint32_t AMaxIset,
                              uint32_t ACurrentDiv, uint32_t AUin) {
    QStringList problems;
    const double scale = ACurrentDiv == 10 ? 1000.0 : 100.0;
    const int decimals = ACurrentDiv == 10 ? 3 : 2;
    const QString volts = "0.10 to " + Fixed(AMaxUset, 2) + " V";
    const QString amps = QString::number(1 / scale, 'f', decimals) + " to " +
                         QString::number(AMaxIset / scale, 'f', decimals) + " A";
    const uint32_t maxMilliamps = ACurrentDiv == 10 ? AMaxIset : AMaxIset * 10;
    for (size_t i = 0; i < APlan.Steps.size(); ++i) {
        const TPlanStep& step = APlan.Steps[i];
        if (!step.Enabled) continue;
        const QString where = Where(step, i);
        if (step.Centivolts < 10 || step.Centivolts > AMaxUset)
            problems << where + "voltage outside " + volts;
        const uint32_t iset = IsetOf(step.Milliamps, ACurrentDiv);
        if (ACurrentDiv != 10 && step.Milliamps % 10 != 0)
            problems << where + "this model sets the current in steps of 0.01 A";
        else if (iset < 1 || iset > AMaxIset)
            problems << where + "current outside " + amps;
        for (const TPlanCondition& c : step.Until) {
            const bool current =
                c.Kind == TPlanCondKind::CurrentAtMost || c.Kind == TPlanCondKind::CurrentAtLeast;
            const bool voltage =
                c.Kind == TPlanCondKind::VoltageAtMost || c.Kind == TPlanCondKind::VoltageAtLeast;
            if (current && ACurrentDiv != 10 && c.Value % 10 != 0)
                problems << where + ConditionText(c) +
                                ": this model measures the current in steps of 0.01 A";
            else if (c.Kind == TPlanCondKind::CurrentAtLeast && c.Value > maxMilliamps)
                problems << where + ConditionText(c) + ": above the most this model delivers (" +
                                QString::number(AMaxIset / scale, 'f', decimals) + " A)";
            else if (voltage && c.Kind == TPlanCondKind::VoltageAtLeast && c.Value > AMaxUset)
                problems << where + ConditionText(c) + ": above the most this model delivers (" +
                                Fixed(AMaxUset, 2) + " V)";
        }
        // A ramp runs between its start and the step's set points: a start it names must fit
        // as a set point does.
        uint32_t highest = step.Centivolts;
        if (step.Ramp.Voltage && step.Ramp.FromCentivolts) {
            const uint32_t from = *step.Ramp.FromCentivolts;
            if (from < 10 || from > AMaxUset)
                problems << where + "ramp from " + Fixed(from, 2) + " V: outside " + volts;
            highest = std::max(highest, from);
        }
        if (step.Ramp.Current && step.Ramp.FromMilliamps) {
            const uint32_t from = *step.Ramp.FromMilliamps;
            const QString ramp = where + "ramp from " + Fixed(from, 3) + " A: ";
            if (ACurrentDiv != 10 && from % 10 != 0)
                problems << ramp + "this model sets the current in steps of 0.01 A";
            else if (IsetOf(from, ACurrentDiv) < 1 || IsetOf(from, ACurrentDiv) > AMaxIset)
                problems << ramp + "outside " + amps;
        }
        if (AUin && InputNeededFor(highest) > AUin)
            problems << where + Fixed(highest, 2) + " V needs an input of at least " +
                            Fixed(InputNeededFor(highest), 2) + " V; the supply's input is " +
                            Fixed(AUin, 2) + " V";
    }
    return problems;
}

QString CheckPlanLimits(const TPlan& APlan, uint32_t AMaxUset, uint32_t AMaxIset,
                        uint32_t ACurrentDiv, uint32_t AUin) {
    const QStringList problems = PlanLimitProblems(APlan, AMaxUset, AMaxIset, ACurrentDiv, AUin);
    return problems.isEmpty() ? QString() : problems.front();
}
