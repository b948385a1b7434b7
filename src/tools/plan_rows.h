#pragma once
// The rows of the Plans window's editor and the plan file text they stand for. A row holds the
// fields of a step line as typed, in the editor's column order (voltage, current, seconds,
// until, max_seconds, ramp, enabled); a comment line keeps its whole text in the first field and a
// blank line is a row of empty fields, so that opening and saving a file keeps what the user
// wrote, and a row's number plus two is its line in the saved text (the heading is line 1).

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

inline constexpr int kPlanColumns = 7;
inline constexpr int kRampColumn = 5;
inline constexpr int kEnabledColumn = 6;

using TPlanRow = std::array<QString, kPlanColumns>;
using TPlanRows = std::vector<TPlanRow>;

// The rows of a file's text. A heading (a first step line that does not start with a number)
// places its columns by name; without one the columns are a step file's (voltage, current,
// seconds, enabled). A heading with a name the plan files do not know is kept as a comment
// row, and the fields follow in the editor's order. A line with more fields than columns keeps
// the rest in its last field.
TPlanRows PlanRowsFromText(const QByteArray& AText);
// The file text of the rows: the heading ("ramp" and "enabled" only when a row fills them), then
// one line per row with the fields of those columns, its trailing empty fields left out, each
// ending in a newline.
QByteArray PlanTextFromRows(const TPlanRows& ARows);
// The saved line of row ARow, and back.
inline int PlanLineOfRow(int ARow) {
    return ARow + 2;
}
// Rows that hold a step (not blank, not a comment).
bool PlanRowIsStep(const TPlanRow& ARow);
bool PlanRowIsComment(const TPlanRow& ARow);
