#include "cli/cli_output.h"

QString JsonString(const QString& AText) {
    QString out = "\"";
    for (QChar c : AText) {
        switch (c.unicode()) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c.unicode() < 0x20)
                    out += QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
                else
                    out += c;
        }
    }
    return out + "\"";
}

TField NumberField(const QString& AKey, const QString& ANumber, const QString& AUnit) {
    return {AKey, ANumber, AUnit.isEmpty() ? ANumber : ANumber + " " + AUnit};
}

TField StringField(const QString& AKey, const QString& AValue, const QString& AText) {
    return {AKey, JsonString(AValue), AText.isEmpty() ? AValue : AText};
}

TField BoolField(const QString& AKey, bool AValue, const QString& AOn, const QString& AOff) {
    return {AKey, AValue ? "true" : "false", AValue ? AOn : AOff};
}

TField NullField(const QString& AKey) {
    return {AKey, "null", QString()};
}

QString JsonObject(const TFields& AFields) {
    QStringList parts;
    for (const TField& f : AFields)
        parts << JsonString(f.Key) + ": " + f.Json;
    return "{" + parts.join(", ") + "}";
}

QString JsonArray(const QStringList& AItems) {
    return "[" + AItems.join(", ") + "]";
}

QString TextLines(const TFields& AFields) {
    qsizetype width = 0;
    for (const TField& f : AFields)
        if (!f.Text.isEmpty()) width = std::max(width, f.Key.size());
    QString out;
    for (const TField& f : AFields)
        if (!f.Text.isEmpty()) out += f.Key.leftJustified(width + 2) + f.Text + "\n";
    return out;
}
