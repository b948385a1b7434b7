#pragma once
// The SCPI error queue: oldest first, at most kSize entries; when it is full the newest entry
// becomes -350 "Queue overflow" and later errors are lost until it is read.

#include <QString>
#include <deque>

#include "scpi/scpi_parser.h"

class TScpiErrorQueue {
public:
    static constexpr size_t kSize = 10;

    // False when the queue was full (the newest entry now tells of the overflow).
    bool Push(int ACode, const QString& ADetail = {}) {
        if (fEntries.size() >= kSize) {
            fEntries.back() = Entry(seQueueOverflow, {});
            return false;
        }
        fEntries.push_back(Entry(ACode, ADetail));
        return true;
    }
    bool Empty() const { return fEntries.empty(); }
    // '0,"No error"' when empty.
    QString Pop() {
        if (fEntries.empty()) return Entry(seNone, {});
        const QString e = fEntries.front();
        fEntries.pop_front();
        return e;
    }
    void Clear() { fEntries.clear(); }

    // -222,"Data out of range;VOLT 60: ..." (a quote in the detail is doubled, as in SCPI
    // strings; control characters are dropped, anything beyond ASCII becomes '?' and a long
    // detail is cut).
    static QString Entry(int ACode, const QString& ADetail) {
        QString text = ScpiErrorText(ACode);
        if (!ADetail.isEmpty()) {
            QString detail;
            for (QChar c : ADetail.left(120))
                if (c.isPrint()) detail += c.unicode() < 128 ? c : QChar('?');
            text += ";" + detail.replace('"', "\"\"");
        }
        return QString::number(ACode) + ",\"" + text + "\"";
    }

private:
    std::deque<QString> fEntries;
};
