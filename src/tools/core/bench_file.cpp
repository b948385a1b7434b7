#include "tools/core/bench_file.h"

#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <set>

#include "link/ipv4_address.h"
#include "session/session_core.h"
#include "session/typed_values.h"
#include "tools/core/save_file.h"

namespace {

enum TSection { secNone, secBench, secSupply, secTrack };

QString At(int ALine, const QString& AText) {
    return "line " + QString::number(ALine) + ": " + AText;
}

std::optional<bool> ParseYesNo(const QString& AText) {
    const QString t = AText.toLower();
    if (t == "yes" || t == "on" || t == "true" || t == "1") return true;
    if (t == "no" || t == "off" || t == "false" || t == "0") return false;
    return std::nullopt;
}

// Seconds with up to three decimals, as milliseconds within [0, AMaxMs].
std::optional<uint32_t> ParseSeconds(const QString& AText, uint32_t AMaxMs) {
    const auto value = ParseDecimal(AText);
    if (!value || value->Fraction.size() > 3 || value->Whole > AMaxMs / 1000) return std::nullopt;
    const uint64_t ms = ToUnits(*value, 3);
    if (ms > AMaxMs) return std::nullopt;
    return static_cast<uint32_t>(ms);
}

// A host name, or a dotted address read strictly; a numeric-looking host that is no address is
// refused rather than dialled as something else.
QString ParseHostPort(const QString& AValue, TBenchLink& ALink) {
    QString host = AValue;
    const qsizetype colon = AValue.lastIndexOf(':');
    if (colon >= 0) {
        host = AValue.left(colon);
        const auto port = ParseWhole(AValue.mid(colon + 1), 1, 65535);
        if (!port) return "the TCP port must be a number from 1 to 65535";
        ALink.TcpPort = static_cast<uint16_t>(*port);
    }
    static const QRegularExpression hostName(R"(^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$)");
    static const QRegularExpression digitsAndDots(R"(^[0-9.]+$)");
    if (host.isEmpty()) return "a host is required (tcp = HOST[:PORT])";
    if (const auto octets = ParseIPv4(host.toStdString())) {
        ALink.TcpHost = QString::fromStdString(FormatIPv4(*octets));
        return {};
    }
    if (digitsAndDots.match(host).hasMatch() || !hostName.match(host).hasMatch())
        return host + " is not a host name or an IPv4 address";
    ALink.TcpHost = host;
    return {};
}

QString NameProblem(const QString& AName) {
    if (AName.isEmpty()) return "a name is required";
    if (AName.size() > 40) return "a name has at most 40 characters";
    if (AName.trimmed() != AName) return "a name may not begin or end with a blank";
    for (const QChar c : AName)
        if (c.isNull() || c.category() == QChar::Other_Control || c == ',' || c == '"')
            return "a name may not hold commas, quotes or control characters";
    return {};
}

struct TReader {
    TBenchFile Bench;
    TSection Section = secNone;
    std::set<QString> Keys;  // keys seen in the current section
    int SectionLine = 0;
    std::vector<bool> OrderGiven;
    bool LinkGiven = false;
    bool PortGiven = false;
    bool BaudGiven = false;
    bool BenchSeen = false;

    QString Heading(const QString& AName, int ALine) {
        QString error = EndSection();
        if (!error.isEmpty()) return error;
        Keys.clear();
        SectionLine = ALine;
        LinkGiven = PortGiven = BaudGiven = false;
        if (AName == "bench") {
            if (BenchSeen) return At(ALine, "a second [bench] section");
            BenchSeen = true;
            Section = secBench;
        } else if (AName == "supply") {
            if (static_cast<int>(Bench.Supplies.size()) >= kMaxBenchSupplies)
                return At(ALine, "a bench has at most " + QString::number(kMaxBenchSupplies) +
                                     " supplies");
            Section = secSupply;
            Bench.Supplies.push_back({});
            Bench.Supplies.back().Line = ALine;
            Bench.Supplies.back().Order = static_cast<int>(Bench.Supplies.size());
            OrderGiven.push_back(false);
        } else if (AName == "track") {
            Section = secTrack;
            Bench.Tracks.push_back({});
            Bench.Tracks.back().Line = ALine;
        } else {
            return At(ALine, "unknown section [" + AName + "] (bench, supply or track)");
        }
        return {};
    }

    // What a section needs once all its lines are read.
    QString EndSection() {
        if (Section == secSupply) {
            const TBenchSupply& s = Bench.Supplies.back();
            if (!Keys.count("name")) return At(SectionLine, "this supply has no name");
            if (!LinkGiven)
                return At(SectionLine, s.Name + " has no link (tcp = HOST[:PORT] or port = NAME)");
            if (BaudGiven && !PortGiven)
                return At(SectionLine, s.Name + ": baud applies to a serial port only");
        } else if (Section == secTrack) {
            if (!Keys.count("follower") || !Keys.count("leader"))
                return At(SectionLine, "a tracking pair needs a follower and a leader");
        }
        return {};
    }

    QString Value(const QString& AKey, const QString& AValue, int ALine) {
        if (Section == secNone) return At(ALine, AKey + " stands before any section");
        if (!Keys.insert(AKey).second) return At(ALine, AKey + " is given twice");
        const QString error = SectionValue(AKey, AValue);
        return error.isEmpty() ? QString() : At(ALine, error);
    }

    QString SectionValue(const QString& AKey, const QString& AValue) {
        if (Section == secBench) return BenchValue(AKey, AValue);
        if (Section == secSupply) return SupplyValue(AKey, AValue);
        return TrackValue(AKey, AValue);
    }

    QString BenchValue(const QString& AKey, const QString& AValue) {
        TBenchOptions& o = Bench.Options;
        if (AKey == "off-on-loss" || AKey == "off-on-failed-step") {
            const auto flag = ParseYesNo(AValue);
            if (!flag) return AKey + ": yes or no";
            (AKey == "off-on-loss" ? o.OffOnLoss : o.OffOnFailedStep) = *flag;
            return {};
        }
        if (AKey == "confirm") {
            const auto ms = ParseSeconds(AValue, 600000);
            if (!ms || *ms < 100) return "confirm: seconds from 0.1 to 600";
            o.ConfirmMs = *ms;
            return {};
        }
        return "unknown key " + AKey + " in [bench] (off-on-loss, off-on-failed-step, confirm)";
    }

    QString SupplyValue(const QString& AKey, const QString& AValue) {
        TBenchSupply& s = Bench.Supplies.back();
        if (AKey == "name") {
            const QString problem = NameProblem(AValue);
            if (!problem.isEmpty()) return problem;
            for (size_t i = 0; i + 1 < Bench.Supplies.size(); ++i) {
                if (Bench.Supplies[i].Name == AValue) return "a second supply named " + AValue;
                if (BenchColumnPrefix(Bench.Supplies[i].Name) == BenchColumnPrefix(AValue))
                    return AValue + " and " + Bench.Supplies[i].Name +
                           " differ only in blanks (their log columns would be the same)";
            }
            s.Name = AValue;
            return {};
        }
        if (AKey == "tcp" || AKey == "port") {
            if (LinkGiven) return "a supply has one link: tcp or port";
            LinkGiven = true;
            if (AKey == "port") {
                PortGiven = true;
                s.Link.Port = AValue;
                return {};
            }
            return ParseHostPort(AValue, s.Link);
        }
        if (AKey == "baud") {
            const auto baud = ParseWhole(AValue, 1, 10000000);
            const bool listed = baud && std::find(std::begin(kBaudRates), std::end(kBaudRates),
                                                  *baud) != std::end(kBaudRates);
            if (!listed) return "baud: one of 2400, 4800, 9600, 19200, 38400, 57600, 115200";
            BaudGiven = true;
            s.Link.Baud = static_cast<int32_t>(*baud);
            return {};
        }
        if (AKey == "addr") {
            const auto addr = ParseWhole(AValue, 1, 127);
            if (!addr) return "addr: an address from 1 to 127";
            s.Link.Addr = static_cast<uint8_t>(*addr);
            return {};
        }
        if (AKey == "order") {
            const auto order = ParseWhole(AValue, 1, kMaxBenchSupplies);
            if (!order) return "order: a place from 1 to " + QString::number(kMaxBenchSupplies);
            s.Order = static_cast<int>(*order);
            OrderGiven.back() = true;
            return {};
        }
        if (AKey == "delay") {
            const auto ms = ParseSeconds(AValue, 3600000);
            if (!ms) return "delay: seconds from 0 to 3600, at most three decimals";
            s.DelayMs = *ms;
            return {};
        }
        return "unknown key " + AKey + " in [supply] (name, tcp, port, baud, addr, order, delay)";
    }

    QString TrackValue(const QString& AKey, const QString& AValue) {
        TBenchTrack& t = Bench.Tracks.back();
        if (AKey == "follower" || AKey == "leader") {
            (AKey == "follower" ? t.Follower : t.Leader) = AValue;
            return {};
        }
        if (AKey == "factor") {
            const auto factor = ParseDecimal(AValue);
            if (!factor || factor->Fraction.size() > 6 || factor->Whole > 100 ||
                ToUnits(*factor, 6) == 0 || ToUnits(*factor, 6) > 100000000)
                return "factor: a number above 0 and up to 100, at most six decimals";
            t.FactorMicros = ToUnits(*factor, 6);
            return {};
        }
        if (AKey == "current") {
            const auto flag = ParseYesNo(AValue);
            if (!flag) return "current: yes or no";
            t.Current = *flag;
            return {};
        }
        return "unknown key " + AKey + " in [track] (follower, leader, factor, current)";
    }

    // What only the whole file can tell: the switching places and the pairs' supplies.
    QString Finish() {
        QString error = EndSection();
        if (!error.isEmpty()) return error;
        if (Bench.Supplies.empty()) return "line 1: a bench needs at least one [supply]";
        std::map<int, const TBenchSupply*> places;
        for (const TBenchSupply& s : Bench.Supplies) {
            const auto [it, fresh] = places.emplace(s.Order, &s);
            if (!fresh)
                return At(s.Line, s.Name + " has the same order as " + it->second->Name + " (" +
                                      QString::number(s.Order) + ")");
        }
        std::set<QString> followers;
        for (const TBenchTrack& t : Bench.Tracks) {
            for (const QString& name : {t.Follower, t.Leader})
                if (Bench.IndexOf(name) < 0) return At(t.Line, "no supply is named " + name);
            if (t.Follower == t.Leader) return At(t.Line, t.Follower + " cannot follow itself");
            if (!followers.insert(t.Follower).second)
                return At(t.Line, t.Follower + " follows a second leader");
        }
        for (const TBenchTrack& t : Bench.Tracks)
            if (followers.count(t.Leader))
                return At(t.Line, t.Leader + " follows another supply and cannot lead");
        return {};
    }
};

QString YesNo(bool AValue) {
    return AValue ? "yes" : "no";
}

}  // namespace

int TBenchFile::IndexOf(const QString& AName) const {
    for (size_t i = 0; i < Supplies.size(); ++i)
        if (Supplies[i].Name == AName) return static_cast<int>(i);
    return -1;
}

std::vector<int> TBenchFile::SwitchingOrder() const {
    std::vector<int> order(Supplies.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [this](int A, int B) { return Supplies[A].Order < Supplies[B].Order; });
    return order;
}

QString BenchColumnPrefix(const QString& AName) {
    QString prefix;
    for (const QChar c : AName)
        if (!c.isSpace()) prefix += c;
    return prefix;
}

QString TrimmedUnits(uint64_t AValue, int ADecimals) {
    QString text = FormatUnits(AValue, ADecimals);
    if (!text.contains('.')) return text;
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.')) text.chop(1);
    return text;
}

TBenchParse ParseBenchFile(const QByteArray& AText) {
    TReader reader;
    TBenchParse result;
    const QList<QByteArray> lines = AText.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';')) continue;
        QString error;
        if (line.startsWith('[')) {
            if (!line.endsWith(']'))
                error = At(number, "a section heading ends with ]");
            else
                error = reader.Heading(line.mid(1, line.size() - 2).trimmed().toLower(), number);
        } else {
            const qsizetype eq = line.indexOf('=');
            if (eq <= 0)
                error = At(number, "KEY = VALUE expected");
            else
                error = reader.Value(line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed(),
                                     number);
        }
        if (!error.isEmpty()) {
            result.Error = error;
            return result;
        }
    }
    result.Error = reader.Finish();
    if (result.Error.isEmpty()) result.Bench = std::move(reader.Bench);
    return result;
}

QByteArray BenchFileText(const TBenchFile& ABench) {
    const TBenchOptions& o = ABench.Options;
    QString text =
        "# Benchlord bench: [supply] sections in the order they are shown, switched on by\n"
        "# their order and off in reverse; [track] pairs keep a follower's set voltage at its\n"
        "# leader's times the factor.\n"
        "[bench]\n";
    text += "off-on-loss = " + YesNo(o.OffOnLoss) + "\n";
    text += "off-on-failed-step = " + YesNo(o.OffOnFailedStep) + "\n";
    text += "confirm = " + TrimmedUnits(o.ConfirmMs, 3) + "\n";
    for (const TBenchSupply& s : ABench.Supplies) {
        text += "\n[supply]\nname = " + s.Name + "\n";
        if (s.Link.Tcp()) {
            text += "tcp = " + s.Link.TcpHost + ":" + QString::number(s.Link.TcpPort) + "\n";
        } else {
            text += "port = " + s.Link.Port + "\n";
            text += "baud = " + QString::number(s.Link.Baud) + "\n";
        }
        text += "addr = " + QString::number(s.Link.Addr) + "\n";
        text += "order = " + QString::number(s.Order) + "\n";
        text += "delay = " + TrimmedUnits(s.DelayMs, 3) + "\n";
    }
    for (const TBenchTrack& t : ABench.Tracks) {
        text += "\n[track]\nfollower = " + t.Follower + "\nleader = " + t.Leader + "\n";
        text += "factor = " + TrimmedUnits(t.FactorMicros, 6) + "\n";
        text += "current = " + YesNo(t.Current) + "\n";
    }
    return text.toUtf8();
}

QString SaveBenchFile(const QString& APath, const TBenchFile& ABench) {
    return SaveFile(APath, BenchFileText(ABench));
}
