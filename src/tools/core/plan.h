#pragma once
// A test plan: an ordered list of steps, each a set voltage and current held until the first of
// its end conditions holds or its time runs out; and the plan's CSV file, a superset of the step
// files 'sequence run' takes:
//
//     voltage,current,seconds,until,max_seconds
//     4.20,1.000,,I<=0.100|Ah>=2.5,14400
//     5.00,0.200,60
//
// With a heading line the columns are found by name (voltage, current, seconds, until,
// max_seconds, ramp, enabled; any order); without one they are voltage,current,seconds[,enabled]
// as in a step file. A step runs for `seconds`, or until one of the conditions of `until` (joined
// by
// '|', "whichever first") holds: I<=A, I>=A, V<=V, V>=V, Ah>=N, Wh>=N (delivered in the step;
// plan.Ah>=N and plan.Wh>=N count the whole plan), CC, CV (the mode entered), trip (a protection
// switched the output off). A step with `until` needs `max_seconds`, so no plan runs for ever;
// `seconds` beside `until` is one more condition, the elapsed time. Blank lines and lines
// starting with '#' are skipped. Values stay in 0.01 V and mA until the model is known.
//
// `ramp` moves the voltage (V), the current (I) or both (V|I) linearly over the step's duration
// (its seconds, else its max_seconds) from the previous enabled step's set point, or from the
// value it names ("V from 1.00", "I from 0.500"), to the step's own; a ramp on the first step
// names where it starts.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

enum class TPlanCondKind : uint8_t {
    CurrentAtMost,   // I<=A
    CurrentAtLeast,  // I>=A
    VoltageAtMost,   // V<=V
    VoltageAtLeast,  // V>=V
    ChargeAtLeast,   // Ah>=N
    EnergyAtLeast,   // Wh>=N
    EnteredCC,       // CC
    EnteredCV,       // CV
    Trip,            // trip
};

struct TPlanCondition {
    TPlanCondKind Kind = TPlanCondKind::Trip;
    // 0.01 V for voltages, mA for currents, mAh and mWh for charge and energy.
    uint32_t Value = 0;
    bool WholePlan = false;  // Ah and Wh counted over the plan instead of the step
    bool operator==(const TPlanCondition&) const = default;
};

// "I<=0.050", "V>=4.20", "plan.Ah>=2.500", "CC", "trip".
QString ConditionText(const TPlanCondition& ACondition);
// One condition as written in a file (spaces and a trailing unit allowed: "I <= 50mA" is not,
// "I<=0.05A" is). An error text, empty on success.
QString ParseCondition(const QByteArray& AText, TPlanCondition& ACondition);

inline constexpr uint32_t kMaxPlanStepSeconds = 7 * 86400;
inline constexpr int kMaxPlanSteps = 1000;

// The ramp of a step; nothing ramps by default.
struct TPlanRamp {
    bool Voltage = false;
    bool Current = false;
    // Where the ramp starts when the step names it (0.01 V, mA); else the previous step's.
    std::optional<uint32_t> FromCentivolts;
    std::optional<uint32_t> FromMilliamps;
    bool Any() const { return Voltage || Current; }
    bool operator==(const TPlanRamp&) const = default;
};

struct TPlanStep {
    int Line = 0;  // line number in the file (0 for a plan made in code)
    uint32_t Centivolts = 0;
    uint32_t Milliamps = 0;
    uint32_t Seconds = 0;     // the elapsed-time end; 0: none (a step with conditions only)
    uint32_t MaxSeconds = 0;  // required with conditions; 0 for a fixed-duration step
    std::vector<TPlanCondition> Until;
    bool Enabled = true;
    TPlanRamp Ramp;
    bool operator==(const TPlanStep&) const = default;
    // The longest the step runs, in seconds.
    uint32_t Limit() const { return MaxSeconds ? MaxSeconds : Seconds; }
    // The time a ramp takes: the step's seconds, else its max_seconds.
    uint32_t RampSeconds() const { return Seconds ? Seconds : MaxSeconds; }
};

struct TPlan {
    std::vector<TPlanStep> Steps;
    bool operator==(const TPlan&) const = default;
};

struct TPlanFile {
    TPlan Plan;            // the steps read without a problem
    QString Error;         // "line 3: ..." when the file was refused: the first of Problems
    QStringList Problems;  // every problem of the file, in the order of its lines
};
TPlanFile ParsePlanCsv(const QByteArray& ABytes);
// The file form (a heading with every column; "enabled" only when a step is disabled), each
// line of AComment first as a '#' line. ParsePlanCsv reads it back to the same plan.
QByteArray PlanCsvText(const TPlan& APlan, const QString& AComment = {});
// "until" of a step: the conditions joined by '|'.
QString UntilText(const TPlanStep& AStep);
// "ramp" of a step as a file holds it: "V", "V from 1.00|I", "I from 0.500"; empty without one.
QString RampText(const TPlanRamp& ARamp);

// Where each ramp of a plan's step starts: the value it names, else the set point of the enabled
// step before it. False when a ramp names no start and no enabled step comes before it.
struct TRampStart {
    uint32_t Centivolts = 0;
    uint32_t Milliamps = 0;
};
bool RampStartOf(const TPlan& APlan, size_t AStep, TRampStart& AStart);
// The ramp with its starts filled in ("V from 5.00|I from 0.200"), for the printed step.
TPlanRamp ResolvedRamp(const TPlan& APlan, size_t AStep);

// The set current in the model's unit (0.01 A for ACurrentDiv 1, 0.001 A for 10).
uint32_t IsetOf(uint32_t AMilliamps, uint32_t ACurrentDiv);
// Checks every enabled step against the model before anything is written: set points (and
// where their ramps start) within its range and its current unit; current and voltage conditions
// within what it can measure; with AUin (0.01 V, 0 unknown) the input voltage the highest set
// voltage needs (the regulator wants about a tenth on top). An error naming the step's line (or
// number), empty when it fits.
QString CheckPlanLimits(const TPlan& APlan, uint32_t AMaxUset, uint32_t AMaxIset,
                        uint32_t ACurrentDiv, uint32_t AUin = 0);
// Every such problem, in the order of the steps.
QStringList PlanLimitProblems(const TPlan& APlan, uint32_t AMaxUset, uint32_t AMaxIset,
                              uint32_t ACurrentDiv, uint32_t AUin = 0);
// The input voltage (0.01 V) a set voltage needs.
uint32_t InputNeededFor(uint32_t ACentivolts);
