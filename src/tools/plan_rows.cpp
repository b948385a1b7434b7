#include "tools/plan_rows.h"

#include <QStringList>
#include <algorithm>

namespace {

const char* const kNames[kPlanColumns] = {"voltage",     "current", "seconds", "until",
                                          "max_seconds", "ramp",    "enabled"};

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
                columns = {0, 1, 2, 3, 4, kRampColumn, kEnabledColumn};
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
    auto filled = [&](int AColumn) {
        return std::any_of(ARows.begin(), ARows.end(), [&](const TPlanRow& ARow) {
            return !PlanRowIsComment(ARow) && !ARow[size_t(AColumn)].trimmed().isEmpty();
        });
    };
    // The columns of every file; ramp and enabled only when used, so older files keep their
    // text.
    std::vector<int> columns{0, 1, 2, 3, 4};
    for (int optional : {kRampColumn, kEnabledColumn})
        if (filled(optional)) columns.push_back(optional);
    QStringList heading;
    for (int column : columns)
        heading << kNames[column];
    QByteArray text = heading.join(',').toUtf8() + "\n";
    for (const TPlanRow& row : ARows) {
        QStringList fields;
        // A comment keeps every field it holds.
        if (PlanRowIsComment(row))
            for (const QString& field : row)
                fields << field.trimmed();
        else
            for (int column : columns)
                fields << row[size_t(column)].trimmed();
        while (!fields.isEmpty() && fields.last().isEmpty())
            fields.removeLast();
        text += fields.join(',').toUtf8() + "\n";
    }
    return text;
}
