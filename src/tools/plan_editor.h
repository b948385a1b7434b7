#pragma once
// The Plans window's step table: one row per line of the plan file (voltage, current, seconds,
// until, max_seconds, ramp, enabled), edited in place, with the line numbers of the saved file at
// the left and the problems of the plan listed under it, each with its line. The editor only shows
// and holds the text; the plan's own check is given to it (Check).

#include <QWidget>
#include <functional>
#include <vector>

#include "tools/plan_rows.h"

class QLabel;
class QTableWidget;

// One problem of the plan: its line in the saved text (0: the plan as a whole) and its text.
struct TPlanProblem {
    int Line = 0;
    QString Text;
};
using TPlanProblems = std::vector<TPlanProblem>;

class TPlanEditor : public QWidget {
public:
    explicit TPlanEditor(QWidget* AParent = nullptr);

    // The plan file's check, run on the text after every edit.
    std::function<TPlanProblems(const QByteArray& AText)> Check;
    // Called when the text changes by an edit (not by SetRows).
    std::function<void()> OnEdited;

    TPlanRows Rows() const;
    QByteArray Text() const { return PlanTextFromRows(Rows()); }
    // Replaces the rows (an opened file) and checks them.
    void SetRows(const TPlanRows& ARows);
    // Inserts a step after the current row (a copy of the step above it, or an empty one), and
    // removes the current row.
    void AddRow();
    void RemoveRow();
    // Runs the check again and shows its result.
    void Recheck();
    const TPlanProblems& Problems() const { return fProblems; }
    // Rows that hold steps.
    int StepCount() const;
    // The row of a saved line marked as the running step (-1: none).
    void MarkRunningLine(int ALine);

    QTableWidget* Table() const { return fTable; }
    QLabel* ProblemLabel() const { return fProblemLabel; }

private:
    void SetRow(int ARow, const TPlanRow& AValues);
    void Renumber();
    void ShowProblems();

    QTableWidget* fTable;
    QLabel* fProblemLabel;
    TPlanProblems fProblems;
    bool fFilling = false;
    int fRunningRow = -1;
};

// Problems the editor finds before the plan's check: a comma inside a field (a decimal comma
// would move every field after it).
TPlanProblems PlanRowProblems(const TPlanRows& ARows);
