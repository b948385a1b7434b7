#include "tools/plan_rows.h"

namespace {

bool StartsWithNumber(const QString& AText) {
    const QString t = AText.trimmed();
    return !t.isEmpty() && (t[0].isDigit() || t[0] == '.' || t[0] == '-' || t[0] == '+');
}

}  // namespace

TPlanRows PlanRowsFromText(const QByteArray& AText) {
    TPlanRows rows;
    QString text = QString::fromUtf8(AText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split('\n');
    // The newline that ends the last line starts no row of its own.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    bool first = true;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        TPlanRow row;
        if (trimmed.startsWith('#')) {
            row[0] = trimmed;
            rows.push_back(row);
            continue;
        }
        if (trimmed.isEmpty()) {
            rows.push_back(row);
            continue;
        }
        if (first) {
            first = false;
            if (!StartsWithNumber(trimmed)) continue;  // the heading
        }
        const QStringList fields = trimmed.split(',');
        for (int i = 0; i < fields.size(); ++i) {
            if (i < kPlanColumns - 1)
                row[i] = fields[i].trimmed();
            else
                row[kPlanColumns - 1] = fields.mid(i).join(',').trimmed();
            if (i >= kPlanColumns - 1) break;
        }
        rows.push_back(row);
    }
    return rows;
}

QByteArray PlanTextFromRows(const TPlanRows& ARows) {
    QByteArray text = QByteArray(kPlanHeading) + "\n";
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

bool PlanRowIsStep(const TPlanRow& ARow) {
    for (const QString& field : ARow) {
        if (!field.trimmed().isEmpty()) return !ARow[0].trimmed().startsWith('#');
    }
    return false;
}
