#pragma once
// A bench: several supplies used together, each with the name the user gave it, its link, its
// place in the switching order and the delay before it is switched; the bench's options; and
// the tracking pairs. Kept in a small INI-style text file that a person can write by hand:
//
//     # Benchlord bench
//     [bench]
//     # every supply off when one is lost or trips
//     off-on-loss = yes
//     # a failed "all on" also switches off what it had switched on
//     off-on-failed-step = yes
//     # seconds a supply has to confirm its output switch
//     confirm = 2
//
//     [supply]
//     name = +12 V
//     # or: port = ttyUSB0 (and baud = 9600)
//     tcp = 127.0.0.1:5020
//     addr = 1
//     # place in the switching order (all off runs backwards), seconds waited before switching
//     order = 1
//     delay = 0.5
//
//     [track]
//     # the follower's set voltage is the leader's times the factor; current: the set current too
//     follower = -12 V
//     leader = +12 V
//     factor = 1
//     current = no
//
// Lines are "key = value" under a section heading; blank lines and lines whose first character
// is '#' or ';' are comments (a '#' after a value is part of the value: "Heater #2"). Every key of
// a section is optional except a supply's name and link and a pair's follower and leader; what is
// left out takes the default shown above (addr 1, baud 9600, the supply's place in the file as its
// order, no delay, factor 1). A file is read whole or refused with the first fault and its line
// number; writing a bench and reading it back gives the same bench. INI rather than JSON: a
// person edits it with comments, one setting a line, no quoting, and a fault has a line to name.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

inline constexpr int kMaxBenchSupplies = 32;

struct TBenchLink {
    QString Port;  // serial: a port name (ttyUSB0) or device path
    int32_t Baud = 9600;
    QString TcpHost;  // TCP: a host name or dotted address
    uint16_t TcpPort = 502;
    uint8_t Addr = 1;  // Modbus address, 1..127
    bool Tcp() const { return !TcpHost.isEmpty(); }
    bool operator==(const TBenchLink&) const = default;
};

struct TBenchSupply {
    QString Name;  // "+12 V", "heater": unique, no commas, quotes or control characters
    TBenchLink Link;
    int Order = 0;         // place in the switching order, 1 first; unique
    uint32_t DelayMs = 0;  // waited before this supply is switched (on, and off backwards)
    int Line = 0;          // line of its heading in the file read (0: made in code)
    bool operator==(const TBenchSupply& A) const {
        return Name == A.Name && Link == A.Link && Order == A.Order && DelayMs == A.DelayMs;
    }
};

// The follower's set voltage (and with Current its set current) is the leader's times Factor.
struct TBenchTrack {
    QString Follower;
    QString Leader;
    uint64_t FactorMicros = 1000000;  // the factor in millionths
    bool Current = false;
    int Line = 0;
    bool operator==(const TBenchTrack& A) const {
        return Follower == A.Follower && Leader == A.Leader && FactorMicros == A.FactorMicros &&
               Current == A.Current;
    }
};

struct TBenchOptions {
    bool OffOnLoss = true;
    // A step of "all on" that fails always switches its own supply off (it may have come on
    // late); with this option also the supplies switched on before it.
    bool OffOnFailedStep = true;
    uint32_t ConfirmMs = 2000;
    bool operator==(const TBenchOptions&) const = default;
};

struct TBenchFile {
    TBenchOptions Options;
    std::vector<TBenchSupply> Supplies;  // in the file's order (the order they are shown)
    std::vector<TBenchTrack> Tracks;
    bool operator==(const TBenchFile&) const = default;

    // The supply named AName, or -1.
    int IndexOf(const QString& AName) const;
    // Supply indexes in the switching order.
    std::vector<int> SwitchingOrder() const;
};

// The prefix of a supply's log columns: its name without blanks ("+12 V" gives "+12V").
QString BenchColumnPrefix(const QString& AName);

struct TBenchParse {
    TBenchFile Bench;
    QString Error;  // "line N: WHAT", empty when the file was read
};
TBenchParse ParseBenchFile(const QByteArray& AText);

// The file's text: every option and key written out, in the order above.
QByteArray BenchFileText(const TBenchFile& ABench);
// Saves it as every whole file is saved (save_file.h). A reason, empty on success.
QString SaveBenchFile(const QString& APath, const TBenchFile& ABench);

// "1", "0.5", "2.125" (a factor in millionths, or seconds in milliseconds with ADecimals 3).
QString TrimmedUnits(uint64_t AValue, int ADecimals);
