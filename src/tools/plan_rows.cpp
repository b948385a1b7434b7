#include "tools/plan_rows.h"

#include <QStringList>
#include <algorithm>

namespace {

const char* const kNames[kPlanColumns] = {"voltage", "current",     "seconds",
                                          "until",   "max_seconds", "enabled"};

bool StartsWithNumber(const QString& AText) {
    return !AText.isEmpty() && (AText[0].isDigit() || AText[0] == '.');
}

// The editor column of each field of a heading, or empty when a name is unknown or repeated.
std::vector<int> HeadingColumns(const QString& AHeading) {
    std::vector<int> columns;
    for (const QString& field : AHeading.split(',')) {
        const QString name = field.trimmed().toLower();
        const auto it = std::find_if(std::begin(kNames), std::end(kNames),
                                     [&](const char* AName) { return name == AName; });
        if (it == std::end(kNames)) return {};
        const int column = static_cast<int>(it - std::begin(kNames));
        if (std::find(columns.begin(), columns.end(), column) != columns.end()) return {};
        columns.push_back(column);
    }
    return columns;
}

}  // namespace

bool PlanRowIsComment(const TPlanRow& ARow) {
    return ARow[0].trimmed().startsWith('#');
}

bool PlanRowIsStep(const TPlanRow& ARow) {
    if (PlanRowIsComment(ARow)) return false;
    return std::any_of(ARow.begin(), ARow.end(),
                       [](const QString& AField) { return !AField.trimmed().isEmpty(); });
}

TPlanRows PlanRowsFromText(const QByteArray& AText) {
    TPlanRows rows;
    QString text = QString::fromUtf8(AText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split('\n');
    // The newline that ends the last line starts no row of its own.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    std::vector<int> columns{0, 1, 2, kEnabledColumn};  // a step file's
    bool first = true;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        TPlanRow row;
        if (trimmed.isEmpty() || trimmed.startsWith('#')) {
            row[0] = trimmed;
            rows.push_back(row);
            continue;
        }
        if (first) {
            first = false;
            if (!StartsWithNumber(trimmed)) {
                columns = HeadingColumns(trimmed);
                if (!columns.empty()) continue;
                // Kept, so that nothing of the file is lost; the plan's check names it.
                columns = {0, 1, 2, 3, 4, kEnabledColumn};
                row[0] = "# " + trimmed;
                rows.push_back(row);
                continue;
            }
        }
        const QStringList fields = trimmed.split(',');
        const int count = static_cast<int>(columns.size());
        for (int i = 0; i < fields.size() && i < count; ++i)
            row[columns[i]] =
                i == count - 1 ? fields.mid(i).join(',').trimmed() : fields[i].trimmed();
        rows.push_back(row);
    }
    return rows;
}

QByteArray PlanTextFromRows(const TPlanRows& ARows) {
    const bool enabled = std::any_of(ARows.begin(), ARows.end(), [](const TPlanRow& ARow) {
        return !PlanRowIsComment(ARow) && !ARow[kEnabledColumn].trimmed().isEmpty();
    });
    QStringList heading;
    for (int i = 0; i < (enabled ? kPlanColumns : kEnabledColumn); ++i)
        heading << kNames[i];
    QByteArray text = heading.join(',').toUtf8() + "\n";
    for (const TPlanRow& row : ARows) {
        int used = kPlanColumns;
        while (used > 0 && row[used - 1].trimmed().isEmpty())
            --used;
        QStringList fields;
        for (int i = 0; i < used; ++i)
            fields << row[i].trimmed();
        text += fields.join(',').toUtf8() + "\n";
    }
    return text;
}
