#include "cli/scpi_parser.h"

#include <QRegularExpression>

namespace {

struct TNode {
    QString Short;  // upper case
    QString Long;   // upper case
    bool Optional = false;
};

enum TForms { fmSet = 1, fmQuery = 2, fmBoth = 3 };

struct TPattern {
    TScpiCmd Cmd;
    std::vector<TNode> Nodes;
    int Forms;
    bool SetTakesArg;  // the set form needs one parameter
};

// "[SOURce]:VOLTage[:LEVel]" -> nodes; the capitals of a keyword are its short form.
std::vector<TNode> Nodes(const QString& APattern) {
    std::vector<TNode> nodes;
    static const QRegularExpression node(R"(\[?:?([A-Za-z*]+)\]?)");
    auto it = node.globalMatch(APattern);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString word = m.captured(1);
        QString shortForm;
        for (QChar c : word)
            if (c.isUpper() || c == '*') shortForm += c;
        nodes.push_back({shortForm, word.toUpper(), m.captured(0).startsWith('[')});
    }
    return nodes;
}

const std::vector<TPattern>& Patterns() {
    static const std::vector<TPattern> patterns = [] {
        const struct {
            TScpiCmd Cmd;
            const char* Pattern;
            int Forms;
            bool SetTakesArg;
        } table[] = {
            {TScpiCmd::Idn, "*IDN", fmQuery, false},
            {TScpiCmd::Rst, "*RST", fmSet, false},
            {TScpiCmd::Opc, "*OPC", fmBoth, false},
            {TScpiCmd::Cls, "*CLS", fmSet, false},
            {TScpiCmd::Recall, "*RCL", fmSet, true},
            {TScpiCmd::Recall, "MEMory:RCL", fmSet, true},
            {TScpiCmd::Error, "SYSTem:ERRor[:NEXT]", fmQuery, false},
            {TScpiCmd::Lock, "SYSTem:LOCK", fmBoth, true},
            {TScpiCmd::Voltage, "[SOURce]:VOLTage[:LEVel][:IMMediate][:AMPLitude]", fmBoth, true},
            {TScpiCmd::Current, "[SOURce]:CURRent[:LEVel][:IMMediate][:AMPLitude]", fmBoth, true},
            {TScpiCmd::Output, "OUTPut[:STATe]", fmBoth, true},
            {TScpiCmd::MeasVolt, "MEASure[:SCALar]:VOLTage[:DC]", fmQuery, false},
            {TScpiCmd::MeasCurr, "MEASure[:SCALar]:CURRent[:DC]", fmQuery, false},
            {TScpiCmd::MeasPow, "MEASure[:SCALar]:POWer[:DC]", fmQuery, false},
            {TScpiCmd::QuesCond, "STATus:QUEStionable:CONDition", fmQuery, false},
        };
        std::vector<TPattern> out;
        for (const auto& t : table)
            out.push_back({t.Cmd, Nodes(t.Pattern), t.Forms, t.SetTakesArg});
        return out;
    }();
    return patterns;
}

bool Matches(const QStringList& AWords, size_t AWord, const std::vector<TNode>& ANodes,
             size_t ANode) {
    if (ANode == ANodes.size()) return AWord == static_cast<size_t>(AWords.size());
    const TNode& n = ANodes[ANode];
    if (AWord < static_cast<size_t>(AWords.size())) {
        const QString& w = AWords[static_cast<qsizetype>(AWord)];
        if ((w == n.Short || w == n.Long) && Matches(AWords, AWord + 1, ANodes, ANode + 1))
            return true;
    }
    return n.Optional && Matches(AWords, AWord, ANodes, ANode + 1);
}

const TPattern* Find(const QStringList& AWords) {
    for (const TPattern& p : Patterns())
        if (Matches(AWords, 0, p.Nodes, 0)) return &p;
    return nullptr;
}

// The units of a line, split at ';' outside quoted strings.
QStringList SplitUnits(const QString& ALine) {
    QStringList units;
    QString current;
    QChar quote;
    for (QChar c : ALine) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            units << current;
            current.clear();
            continue;
        }
        current += c;
    }
    units << current;
    return units;
}

TScpiUnit Resolve(const QString& AText, QStringList& APath) {
    TScpiUnit unit;
    const qsizetype space = AText.indexOf(QRegularExpression(R"(\s)"));
    unit.Header = space < 0 ? AText : AText.left(space);
    unit.Arg = space < 0 ? QString() : AText.mid(space + 1).trimmed();

    QString header = unit.Header.toUpper();
    unit.Query = header.endsWith('?');
    if (unit.Query) header.chop(1);
    static const QRegularExpression valid(R"(^(\*[A-Z]+|:?[A-Z]+(:[A-Z]+)*)$)");
    if (!valid.match(header).hasMatch()) {
        unit.Error = seCommand;
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
    const bool takesArg = !unit.Query && found->SetTakesArg;
    if (takesArg && unit.Arg.isEmpty())
        unit.Error = seMissingParam;
    else if ((!takesArg && !unit.Arg.isEmpty()) || unit.Arg.contains(','))
        unit.Error = seParamNotAllowed;
    return unit;
}

}  // namespace

QString ScpiErrorText(int ACode) {
    switch (ACode) {
        case seNone:
            return "No error";
        case seCommand:
            return "Command error";
        case seDataType:
            return "Data type error";
        case seParamNotAllowed:
            return "Parameter not allowed";
        case seMissingParam:
            return "Missing parameter";
        case seUndefinedHeader:
            return "Undefined header";
        case seExecution:
            return "Execution error";
        case seSettingsConflict:
            return "Settings conflict";
        case seDataOutOfRange:
            return "Data out of range";
        case seDevice:
            return "Device-specific error";
        case seQueueOverflow:
            return "Queue overflow";
        default:
            return "Error";
    }
}

std::vector<TScpiUnit> ParseScpiLine(const QString& ALine) {
    std::vector<TScpiUnit> units;
    QStringList path;
    for (const QString& raw : SplitUnits(ALine)) {
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
        R"(^([+-]?)([0-9]*)(?:\.([0-9]*))?(?:E([+-]?[0-9]{1,6}))?\s*([A-Z]*)$)");
    const auto m = nrf.match(upper);
    const QString intPart = m.captured(2);
    const QString fracPart = m.captured(3);
    if (!m.hasMatch() || (intPart.isEmpty() && fracPart.isEmpty())) {
        AError = seDataType;
        return std::nullopt;
    }
    const QString suffix = m.captured(5);
    const QString unit = AUnit.toUpper();
    int exponent = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    if (suffix == "M" + unit)
        exponent -= 3;
    else if (!suffix.isEmpty() && suffix != unit) {
        AError = seDataType;
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
