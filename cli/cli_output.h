#pragma once
// Printed results: a result is an ordered list of fields, shown either as aligned "key value"
// lines or as one JSON object with the same keys. Numbers keep the device's resolution in both
// forms ("uset": 5.00).

#include <QString>
#include <QStringList>
#include <vector>

struct TField {
    QString Key;
    QString Json;  // JSON literal: a number, true/false, null or a quoted string
    QString Text;  // shown in text form; an empty text leaves the line out
};
using TFields = std::vector<TField>;

// A JSON string literal with the escapes the format requires.
QString JsonString(const QString& AText);

TField NumberField(const QString& AKey, const QString& ANumber, const QString& AUnit);
TField StringField(const QString& AKey, const QString& AValue, const QString& AText = {});
TField BoolField(const QString& AKey, bool AValue, const QString& AOn = "on",
                 const QString& AOff = "off");
// JSON null, no text line.
TField NullField(const QString& AKey);

// {"key": value, ...}
QString JsonObject(const TFields& AFields);
// [item, ...] with the items already in JSON.
QString JsonArray(const QStringList& AItems);
// One "key value" line per field with text, keys padded to a common width, each ending in '\n'.
QString TextLines(const TFields& AFields);
