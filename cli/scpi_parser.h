#pragma once
// The SCPI commands the bridge understands, and a parser of one input line into them. Headers are
// case-insensitive, in their short or long form, with the usual optional nodes ([SOURce:]VOLTage
// [:LEVel][:IMMediate][:AMPLitude]); ';' separates commands. A command after ';' that does not
// start with ':' or '*' is first taken relative to the previous command's path
// ("SOUR:VOLT 5;CURR 1"), and from the root when that names nothing ("VOLT 5;OUTP ON").

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "cli/cli_values.h"

enum class TScpiCmd {
    Idn,       // *IDN?
    Rst,       // *RST
    Opc,       // *OPC, *OPC?
    Cls,       // *CLS
    Recall,    // *RCL n, MEMory:RCL n
    Error,     // SYSTem:ERRor[:NEXT]?
    Lock,      // SYSTem:LOCK ON|OFF, SYSTem:LOCK?
    Voltage,   // [SOURce:]VOLTage... v, ...?
    Current,   // [SOURce:]CURRent... a, ...?
    Output,    // OUTPut[:STATe] ON|OFF, OUTPut[:STATe]?
    MeasVolt,  // MEASure[:SCALar]:VOLTage[:DC]?
    MeasCurr,  // MEASure[:SCALar]:CURRent[:DC]?
    MeasPow,   // MEASure[:SCALar]:POWer[:DC]?
    QuesCond,  // STATus:QUEStionable:CONDition?
};

// SCPI error codes the bridge reports.
enum TScpiError : int {
    seNone = 0,
    seCommand = -100,           // "Command error"
    seDataType = -104,          // "Data type error"
    seParamNotAllowed = -108,   // "Parameter not allowed"
    seMissingParam = -109,      // "Missing parameter"
    seUndefinedHeader = -113,   // "Undefined header"
    seExecution = -200,         // "Execution error"
    seSettingsConflict = -221,  // "Settings conflict"
    seDataOutOfRange = -222,    // "Data out of range"
    seDevice = -300,            // "Device-specific error": no session with the supply
    seQueueOverflow = -350,     // "Queue overflow"
};

// The standard text of a code ("Data out of range").
QString ScpiErrorText(int ACode);

// One program message unit: a known command with its argument, or a parse error.
struct TScpiUnit {
    TScpiCmd Cmd = TScpiCmd::Idn;
    bool Query = false;
    QString Arg;         // the parameter as sent, trimmed; empty when none
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
// nullopt with AError set: -104 for text that is no number, -222 for a negative one.
std::optional<TScpiNumber> ParseScpiNumber(const QString& AArg, const QString& AUnit, int& AError);

// ON|OFF|1|0 (case-insensitive).
std::optional<bool> ParseScpiBool(const QString& AArg);
