#pragma once
// The rows of the Plans window's editor and the plan file text they stand for. A row holds the
// five fields of a step line (voltage, current, seconds, until, max_seconds) as typed; a comment
// line keeps its whole text in the first field and a blank line is a row of empty fields, so that
// opening and saving a file keeps what the user wrote, and a row's number plus one is its line in
// the saved text (the heading is line 1).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

inline constexpr int kPlanColumns = 5;
inline constexpr char kPlanHeading[] = "voltage,current,seconds,until,max_seconds";

using TPlanRow = std::array<QString, kPlanColumns>;
using TPlanRows = std::vector<TPlanRow>;

// The rows of a file's text: the heading line (a first step line that does not start with a
// number) is left out; a line of more than five fields keeps the rest in the last one.
TPlanRows PlanRowsFromText(const QByteArray& AText);
// The file text of the rows: the heading, then one line per row with its trailing empty fields
// left out, each ending in a newline.
QByteArray PlanTextFromRows(const TPlanRows& ARows);
// The saved line of row ARow (the heading is line 1).
inline int PlanLineOfRow(int ARow) {
    return ARow + 2;
}
// Rows that are blank or comments (not steps).
bool PlanRowIsStep(const TPlanRow& ARow);
