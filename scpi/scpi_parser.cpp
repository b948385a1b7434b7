#include "scpi/scpi_parser.h"

#include <QRegularExpression>

namespace {

struct TNode {
    QString Short;  // upper case
    QString Long;   // upper case
    bool Optional = false;
    bool Channel = false;  // takes a channel suffix ("SOUR1"); the supply has one channel
};

enum TForms { fmSet = 1, fmQuery = 2, fmBoth = 3 };

struct TPattern {
    TScpiCmd Cmd;
    std::vector<TNode> Nodes;
    int Forms;
    int SetMin;    // parameters the set form needs
    int SetMax;    // and takes at most
    int QueryMax;  // parameters the query takes (MIN|MAX)
};

// "[SOURce#]:VOLTage[:LEVel]" -> nodes; the capitals of a keyword are its short form, '#' marks
// a keyword that takes a channel suffix.
std::vector<TNode> Nodes(const QString& APattern) {
    std::vector<TNode> nodes;
    static const QRegularExpression node(R"(\[?:?([A-Za-z*]+)(#?)\]?)");
    auto it = node.globalMatch(APattern);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString word = m.captured(1);
        QString shortForm;
        for (QChar c : word)
            if (c.isUpper() || c == '*') shortForm += c;
        nodes.push_back(
            {shortForm, word.toUpper(), m.captured(0).startsWith('['), !m.captured(2).isEmpty()});
    }
    return nodes;
}

const std::vector<TPattern>& Patterns() {
    static const std::vector<TPattern> patterns = [] {
        using C = TScpiCmd;
        const struct {
            TScpiCmd Cmd;
            const char* Pattern;
            int Forms, SetMin, SetMax, QueryMax;
        } table[] = {
            {C::Cls, "*CLS", fmSet, 0, 0, 0},
            {C::Ese, "*ESE", fmBoth, 1, 1, 0},
            {C::Esr, "*ESR", fmQuery, 0, 0, 0},
            {C::Idn, "*IDN", fmQuery, 0, 0, 0},
            {C::Opc, "*OPC", fmBoth, 0, 0, 0},
            {C::Rst, "*RST", fmSet, 0, 0, 0},
            {C::Sre, "*SRE", fmBoth, 1, 1, 0},
            {C::Stb, "*STB", fmQuery, 0, 0, 0},
            {C::Tst, "*TST", fmQuery, 0, 0, 0},
            {C::Wai, "*WAI", fmSet, 0, 0, 0},
            {C::Recall, "*RCL", fmSet, 1, 1, 0},
            {C::Recall, "MEMory:RCL", fmSet, 1, 1, 0},
            {C::Save, "*SAV", fmSet, 1, 1, 0},
            {C::Save, "MEMory:SAV", fmSet, 1, 1, 0},
            {C::Error, "SYSTem:ERRor[:NEXT]", fmQuery, 0, 0, 0},
            {C::Version, "SYSTem:VERSion", fmQuery, 0, 0, 0},
            {C::Lock, "SYSTem:LOCK", fmBoth, 1, 1, 0},
            {C::Remote, "SYSTem:REMote", fmSet, 0, 0, 0},
            {C::Local, "SYSTem:LOCal", fmSet, 0, 0, 0},
            {C::VoltTrip, "[SOURce#]:VOLTage:PROTection:TRIPped", fmQuery, 0, 0, 0},
            {C::CurrTrip, "[SOURce#]:CURRent:PROTection:TRIPped", fmQuery, 0, 0, 0},
            {C::VoltProt, "[SOURce#]:VOLTage:PROTection[:LEVel]", fmBoth, 1, 1, 1},
            {C::CurrProt, "[SOURce#]:CURRent:PROTection[:LEVel]", fmBoth, 1, 1, 1},
            {C::Voltage, "[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]", fmBoth, 1, 1, 1},
            {C::Current, "[SOURce#]:CURRent[:LEVel][:IMMediate][:AMPLitude]", fmBoth, 1, 1, 1},
            {C::ProtClear, "OUTPut#:PROTection:CLEar", fmSet, 0, 0, 0},
            {C::Output, "OUTPut#[:STATe]", fmBoth, 1, 1, 0},
            {C::Apply, "APPLy", fmBoth, 1, 2, 0},
            {C::MeasVolt, "MEASure#[:SCALar]:VOLTage[:DC]", fmQuery, 0, 0, 0},
            {C::MeasCurr, "MEASure#[:SCALar]:CURRent[:DC]", fmQuery, 0, 0, 0},
            {C::MeasPow, "MEASure#[:SCALar]:POWer[:DC]", fmQuery, 0, 0, 0},
            {C::MeasAll, "MEASure#[:SCALar]:ALL[:DC]", fmQuery, 0, 0, 0},
            {C::OperEvent, "STATus:OPERation[:EVENt]", fmQuery, 0, 0, 0},
            {C::OperCond, "STATus:OPERation:CONDition", fmQuery, 0, 0, 0},
            {C::OperEnable, "STATus:OPERation:ENABle", fmBoth, 1, 1, 0},
            {C::QuesEvent, "STATus:QUEStionable[:EVENt]", fmQuery, 0, 0, 0},
            {C::QuesCond, "STATus:QUEStionable:CONDition", fmQuery, 0, 0, 0},
            {C::QuesEnable, "STATus:QUEStionable:ENABle", fmBoth, 1, 1, 0},
            {C::StatPreset, "STATus:PRESet", fmSet, 0, 0, 0},
        };
        std::vector<TPattern> out;
        for (const auto& t : table)
            out.push_back({t.Cmd, Nodes(t.Pattern), t.Forms, t.SetMin, t.SetMax, t.QueryMax});
        return out;
    }();
    return patterns;
}

// "SOUR12" -> "SOUR" and "12"; a word without digits at its end has no suffix.
QString SplitSuffix(const QString& AWord, QString& ASuffix) {
    qsizetype end = AWord.size();
    while (end > 0 && AWord[end - 1].isDigit())
        --end;
    ASuffix = AWord.mid(end);
    return AWord.left(end);
}

bool Matches(const QStringList& AWords, size_t AWord, const std::vector<TNode>& ANodes,
             size_t ANode) {
    if (ANode == ANodes.size()) return AWord == static_cast<size_t>(AWords.size());
    const TNode& n = ANodes[ANode];
    if (AWord < static_cast<size_t>(AWords.size())) {
        QString suffix;
        const QString w = SplitSuffix(AWords[static_cast<qsizetype>(AWord)], suffix);
        if ((w == n.Short || w == n.Long) && (suffix.isEmpty() || n.Channel) &&
            Matches(AWords, AWord + 1, ANodes, ANode + 1))
            return true;
    }
    return n.Optional && Matches(AWords, AWord, ANodes, ANode + 1);
}

const TPattern* Find(const QStringList& AWords) {
    for (const TPattern& p : Patterns())
        if (Matches(AWords, 0, p.Nodes, 0)) return &p;
    return nullptr;
}

// AText split at ASeparator outside quoted strings.
QStringList SplitOutsideQuotes(const QString& AText, QChar ASeparator) {
    QStringList parts;
    QString current;
    QChar quote;
    for (QChar c : AText) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ASeparator) {
            parts << current;
            current.clear();
            continue;
        }
        current += c;
    }
    parts << current;
    return parts;
}

// The parameters of a unit, or an error: an empty one is missing, and "5 1" (blank where a
// comma belongs) has an invalid separator. A blank before a unit suffix ("5 V") is allowed.
int SplitParams(const QString& AArg, QStringList& AParams) {
    if (AArg.isEmpty()) return seNone;
    static const QRegularExpression blankThenNumber(R"(\S\s+[-+.0-9])");
    for (const QString& raw : SplitOutsideQuotes(AArg, ',')) {
        const QString p = raw.trimmed();
        if (p.isEmpty()) return seMissingParam;
        if (blankThenNumber.match(p).hasMatch()) return seInvalidSeparator;
        AParams << p;
    }
    return seNone;
}

TScpiUnit Resolve(const QString& AText, QStringList& APath) {
    TScpiUnit unit;
    const qsizetype space = AText.indexOf(QRegularExpression(R"(\s)"));
    unit.Header = space < 0 ? AText : AText.left(space);
    unit.Arg = space < 0 ? QString() : AText.mid(space + 1).trimmed();

    QString header = unit.Header.toUpper();
    unit.Query = header.endsWith('?');
    if (unit.Query) header.chop(1);
    static const QRegularExpression valid(R"(^(\*[A-Z]+|:?[A-Z0-9]+(:[A-Z0-9]+)*)$)");
    if (!valid.match(header).hasMatch()) {
        // A comma straight after the header stands where the blank belongs.
        unit.Error = header.contains(',') ? seInvalidSeparator : seSyntax;
        return unit;
    }

    const TPattern* found = nullptr;
    if (header.startsWith('*')) {
        found = Find({header});
    } else {
        const bool absolute = header.startsWith(':');
        const QStringList words = header.mid(absolute ? 1 : 0).split(':');
        QStringList used = words;
        if (!absolute && !APath.isEmpty()) {
            used = APath + words;
            found = Find(used);
        }
        if (found == nullptr) {
            used = words;
            found = Find(used);
        }
        if (found != nullptr) APath = used.mid(0, used.size() - 1);
    }
    if (found == nullptr || (found->Forms & (unit.Query ? fmQuery : fmSet)) == 0) {
        unit.Error = seUndefinedHeader;
        return unit;
    }
    unit.Cmd = found->Cmd;
    // Channel 1 is the supply's only one.
    for (const QString& word : header.split(':')) {
        QString suffix;
        SplitSuffix(word, suffix);
        if (!suffix.isEmpty() && suffix.toInt() != 1) {
            unit.Error = seHeaderSuffix;
            return unit;
        }
    }
    unit.Error = SplitParams(unit.Arg, unit.Params);
    if (unit.Error != seNone) return unit;
    const auto count = static_cast<int>(unit.Params.size());
    const int most = unit.Query ? found->QueryMax : found->SetMax;
    if (!unit.Query && count < found->SetMin)
        unit.Error = seMissingParam;
    else if (count > most)
        unit.Error = seParamNotAllowed;
    return unit;
}

}  // namespace

QString ScpiErrorText(int ACode) {
    switch (ACode) {
        case seNone:
            return "No error";
        case seSyntax:
            return "Syntax error";
        case seInvalidSeparator:
            return "Invalid separator";
        case seDataType:
            return "Data type error";
        case seParamNotAllowed:
            return "Parameter not allowed";
        case seMissingParam:
            return "Missing parameter";
        case seUndefinedHeader:
            return "Undefined header";
        case seHeaderSuffix:
            return "Header suffix out of range";
        case seNumericData:
            return "Numeric data error";
        case seInvalidSuffix:
            return "Invalid suffix";
        case seExecution:
            return "Execution error";
        case seCommandProtected:
            return "Command protected";
        case seSettingsConflict:
            return "Settings conflict";
        case seDataOutOfRange:
            return "Data out of range";
        case seDataStale:
            return "Data corrupt or stale";
        case seDevice:
            return "Device-specific error";
        case seQueueOverflow:
            return "Queue overflow";
        case seInputOverrun:
            return "Input buffer overrun";
        case seQueryUnterminated:
            return "Query UNTERMINATED";
        default:
            return "Error";
    }
}

std::vector<TScpiUnit> ParseScpiLine(const QString& ALine) {
    std::vector<TScpiUnit> units;
    QStringList path;
    for (const QString& raw : SplitOutsideQuotes(ALine, ';')) {
        const QString text = raw.trimmed();
        if (text.isEmpty()) continue;
        units.push_back(Resolve(text, path));
    }
    return units;
}

std::optional<TScpiNumber> ParseScpiNumber(const QString& AArg, const QString& AUnit, int& AError) {
    const QString upper = AArg.trimmed().toUpper();
    if (upper == "MIN" || upper == "MINIMUM") return TScpiNumber{TScpiNumber::Min, {}};
    if (upper == "MAX" || upper == "MAXIMUM") return TScpiNumber{TScpiNumber::Max, {}};

    static const QRegularExpression nrf(
        R"(^([+-]?)([0-9]*)(?:\.([0-9]*))?(?:E([+-]?[0-9]{1,6}))?)");
    const auto m = nrf.match(upper);
    const QString intPart = m.captured(2);
    const QString fracPart = m.captured(3);
    if (intPart.isEmpty() && fracPart.isEmpty()) {
        // Text that starts like a number is a malformed one; anything else is no number at all.
        AError = !upper.isEmpty() && QString("+-.0123456789").contains(upper[0]) ? seNumericData
                                                                                 : seDataType;
        return std::nullopt;
    }
    const QString suffix = upper.mid(m.capturedLength()).trimmed();
    static const QRegularExpression letters(R"(^[A-Z]*$)");
    if (!letters.match(suffix).hasMatch()) {
        AError = seNumericData;
        return std::nullopt;
    }
    const QString unit = AUnit.toUpper();
    int exponent = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    if (!suffix.isEmpty() && !unit.isEmpty() && suffix == "M" + unit) {
        exponent -= 3;
    } else if (!suffix.isEmpty() && suffix != unit) {
        AError = seInvalidSuffix;
        return std::nullopt;
    }

    // The digits without leading zeros, and where the decimal point falls among them.
    QString digits = intPart + fracPart;
    qsizetype point = intPart.size() + exponent;
    while (!digits.isEmpty() && digits[0] == '0') {
        digits.remove(0, 1);
        --point;
    }
    const bool zero = digits.isEmpty();
    if (m.captured(1) == "-" && !zero) {
        AError = seDataOutOfRange;
        return std::nullopt;
    }
    TScpiNumber n;
    n.Decimal.Text = AArg.trimmed();
    if (zero || point < -20) {  // far below any unit of the supply
        n.Decimal.Fraction = "0";
        return n;
    }
    if (point > 9) {  // a billion or more
        AError = seDataOutOfRange;
        return std::nullopt;
    }
    if (point <= 0) {
        n.Decimal.Fraction = QString(-point, '0') + digits;
    } else {
        if (digits.size() < point) digits += QString(point - digits.size(), '0');
        n.Decimal.Whole = digits.left(point).toULongLong();
        n.Decimal.Fraction = digits.mid(point);
    }
    return n;
}

std::optional<bool> ParseScpiBool(const QString& AArg) {
    const QString upper = AArg.trimmed().toUpper();
    if (upper == "ON" || upper == "1") return true;
    if (upper == "OFF" || upper == "0") return false;
    return std::nullopt;
}

std::optional<uint32_t> ParseScpiMask(const QString& AArg, uint32_t AMax, int& AError) {
    const auto n = ParseScpiNumber(AArg, {}, AError);
    if (!n) return std::nullopt;
    if (n->Kind != TScpiNumber::Value) {
        AError = seDataType;
        return std::nullopt;
    }
    // NRf is taken and rounded to a whole number, as IEEE 488.2 asks of a device.
    const uint64_t value = ToUnits(n->Decimal, 0);
    if (value > AMax) {
        AError = seDataOutOfRange;
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}
