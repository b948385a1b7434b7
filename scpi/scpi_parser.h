#pragma once
// The SCPI commands the bridge understands, and a parser of one input line into them. Headers are
// case-insensitive, in their short or long form, with the usual optional nodes ([SOURce:]VOLTage
// [:LEVel][:IMMediate][:AMPLitude]); ';' separates commands, ',' the parameters of one. A command
// after ';' that does not start with ':' or '*' is first taken relative to the previous command's
// path ("SOUR:VOLT 5;CURR 1"), and from the root when that names nothing ("VOLT 5;OUTP ON").
// SOURce, OUTPut and MEASure take the channel suffix 1 ("SOUR1:VOLT 5", "MEAS1:VOLT?").

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "session/typed_values.h"

enum class TScpiCmd {
    Cls,         // *CLS
    Ese,         // *ESE n, *ESE?
    Esr,         // *ESR?
    Idn,         // *IDN?
    Opc,         // *OPC, *OPC?
    Rst,         // *RST
    Sre,         // *SRE n, *SRE?
    Stb,         // *STB?
    Tst,         // *TST?
    Wai,         // *WAI
    Recall,      // *RCL n, MEMory:RCL n
    Save,        // *SAV n, MEMory:SAV n
    Error,       // SYSTem:ERRor[:NEXT]?
    Version,     // SYSTem:VERSion?
    Lock,        // SYSTem:LOCK ON|OFF, SYSTem:LOCK?
    Remote,      // SYSTem:REMote (SYST:LOCK ON)
    Local,       // SYSTem:LOCal (SYST:LOCK OFF)
    Voltage,     // [SOURce:]VOLTage... v|MIN|MAX, ...? [MIN|MAX]
    Current,     // [SOURce:]CURRent... a|MIN|MAX, ...? [MIN|MAX]
    VoltProt,    // [SOURce:]VOLTage:PROTection[:LEVel] v|MIN|MAX, ...? [MIN|MAX]
    CurrProt,    // [SOURce:]CURRent:PROTection[:LEVel] a|MIN|MAX, ...? [MIN|MAX]
    VoltTrip,    // [SOURce:]VOLTage:PROTection:TRIPped?
    CurrTrip,    // [SOURce:]CURRent:PROTection:TRIPped?
    ProtClear,   // OUTPut:PROTection:CLEar
    Output,      // OUTPut[:STATe] ON|OFF, OUTPut[:STATe]?
    Apply,       // APPLy v[,a], APPLy?
    MeasVolt,    // MEASure[:SCALar]:VOLTage[:DC]?
    MeasCurr,    // MEASure[:SCALar]:CURRent[:DC]?
    MeasPow,     // MEASure[:SCALar]:POWer[:DC]?
    MeasAll,     // MEASure[:SCALar]:ALL[:DC]?
    OperEvent,   // STATus:OPERation[:EVENt]?
    OperCond,    // STATus:OPERation:CONDition?
    OperEnable,  // STATus:OPERation:ENABle n, ...?
    QuesEvent,   // STATus:QUEStionable[:EVENt]?
    QuesCond,    // STATus:QUEStionable:CONDition?
    QuesEnable,  // STATus:QUEStionable:ENABle n, ...?
    StatPreset,  // STATus:PRESet
};

// The standard SCPI error numbers the bridge reports.
enum TScpiError : int {
    seNone = 0,
    seSyntax = -102,             // "Syntax error"
    seInvalidSeparator = -103,   // "Invalid separator"
    seDataType = -104,           // "Data type error"
    seParamNotAllowed = -108,    // "Parameter not allowed"
    seMissingParam = -109,       // "Missing parameter"
    seUndefinedHeader = -113,    // "Undefined header"
    seHeaderSuffix = -114,       // "Header suffix out of range": a channel other than 1
    seNumericData = -120,        // "Numeric data error"
    seInvalidSuffix = -131,      // "Invalid suffix"
    seExecution = -200,          // "Execution error"
    seCommandProtected = -203,   // "Command protected": the keys were released at the supply
    seSettingsConflict = -221,   // "Settings conflict"
    seDataOutOfRange = -222,     // "Data out of range"
    seDataStale = -230,          // "Data corrupt or stale": no reading in time
    seDevice = -300,             // "Device-specific error": no session with the supply
    seQueueOverflow = -350,      // "Queue overflow"
    seInputOverrun = -363,       // "Input buffer overrun": a line longer than the bridge takes
    seQueryUnterminated = -420,  // "Query UNTERMINATED"
};

// The standard text of a code ("Data out of range").
QString ScpiErrorText(int ACode);

// One program message unit: a known command with its parameters, or a parse error.
struct TScpiUnit {
    TScpiCmd Cmd = TScpiCmd::Idn;
    bool Query = false;
    QString Arg;         // the parameters as sent, trimmed; empty when none
    QStringList Params;  // Arg split at ',' and trimmed
    int Error = seNone;  // set when the unit could not be understood
    QString Header;      // as sent, for error messages
};

// Splits and resolves one line (without its terminator).
std::vector<TScpiUnit> ParseScpiLine(const QString& ALine);

// A numeric parameter: NRf ("5", "5.0", "+5.00E+00", "500E-2") with an optional unit suffix
// (AUnit, or m + AUnit for a thousandth, e.g. "500mV"), or MIN / MAX.
struct TScpiNumber {
    enum { Value, Min, Max } Kind = Value;
    TDecimal Decimal;  // for Value
};
// nullopt with AError set: -104 for text that is no number, -120 for a malformed number, -131
// for a wrong unit, -222 for a negative one.
std::optional<TScpiNumber> ParseScpiNumber(const QString& AArg, const QString& AUnit, int& AError);

// ON|OFF|1|0 (case-insensitive).
std::optional<bool> ParseScpiBool(const QString& AArg);

// A register mask 0..65535 given as NRf ("32", "3.2E1"); nullopt with AError set (-104, -120,
// -222).
std::optional<uint32_t> ParseScpiMask(const QString& AArg, uint32_t AMax, int& AError);
