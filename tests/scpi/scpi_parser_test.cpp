// The SCPI parser: header forms, paths and channel suffixes; numbers exact and range-checked.

#include <gtest/gtest.h>

#include "scpi/scpi_parser.h"
#include "session/typed_values.h"

namespace {

TEST(ScpiParser, HeadersFormsAndPaths) {
    const struct {
        const char* Line;
        size_t Unit;
        TScpiCmd Cmd;
        bool Query;
        int Error;
    } cases[] = {
        {"*idn?", 0, TScpiCmd::Idn, true, seNone},
        {"SOURce:VOLTage:LEVel:IMMediate:AMPLitude 5", 0, TScpiCmd::Voltage, false, seNone},
        {"curr:lev?", 0, TScpiCmd::Current, true, seNone},
        {"MEASure:SCALar:CURRent:DC?", 0, TScpiCmd::MeasCurr, true, seNone},
        {"SYST:ERR:NEXT?", 0, TScpiCmd::Error, true, seNone},
        {"MEAS:VOLT?;POW?", 1, TScpiCmd::MeasPow, true, seNone},
        {"SOUR:VOLT 5;OUTP ON", 1, TScpiCmd::Output, false, seNone},
        {"SYST:LOCK ON;*CLS;ERR?", 2, TScpiCmd::Error, true, seNone},
        {"MEM:RCL 3", 0, TScpiCmd::Recall, false, seNone},
        {"*RST?", 0, TScpiCmd::Idn, true, seUndefinedHeader},
        {"SOUR:MEAS:VOLT?", 0, TScpiCmd::Idn, true, seUndefinedHeader},
        {"VOLT::LEV 5", 0, TScpiCmd::Idn, false, seSyntax},
        {"VOLT,5", 0, TScpiCmd::Idn, false, seInvalidSeparator},
        {"SOUR:VOLT:PROT:TRIP?", 0, TScpiCmd::VoltTrip, true, seNone},
        {"CURR:PROT:LEV 2;:VOLT:PROT?", 1, TScpiCmd::VoltProt, true, seNone},
        {"VOLT? MAX", 0, TScpiCmd::Voltage, true, seNone},
        {"APPL 5,1", 0, TScpiCmd::Apply, false, seNone},
        {"APPL 5,1,2", 0, TScpiCmd::Apply, false, seParamNotAllowed},
        {"APPL 5,", 0, TScpiCmd::Apply, false, seMissingParam},
        {"STAT:QUES?;OPER:EVEN?;:STAT:PRES", 1, TScpiCmd::OperEvent, true, seNone},
        {"OUTP:PROT:CLE", 0, TScpiCmd::ProtClear, false, seNone},
        {"*STB", 0, TScpiCmd::Idn, false, seUndefinedHeader},
        {"OUTP", 0, TScpiCmd::Output, false, seMissingParam},
        {"MEAS:VOLT? 1", 0, TScpiCmd::MeasVolt, true, seParamNotAllowed},
        {"VOLT 1,2", 0, TScpiCmd::Voltage, false, seParamNotAllowed},
        // Channel 1, the only one, where a channel makes sense.
        {"SOUR1:VOLT 5", 0, TScpiCmd::Voltage, false, seNone},
        {"OUTP1 ON;:MEAS1:CURR?", 1, TScpiCmd::MeasCurr, true, seNone},
        {"SOUR1:VOLT:PROT:TRIP?", 0, TScpiCmd::VoltTrip, true, seNone},
        {"OUTP1:PROT:CLE", 0, TScpiCmd::ProtClear, false, seNone},
        {"SOUR2:VOLT 5", 0, TScpiCmd::Voltage, false, seHeaderSuffix},
        {"MEAS0:VOLT?", 0, TScpiCmd::MeasVolt, true, seHeaderSuffix},
        {"SYST1:ERR?", 0, TScpiCmd::Idn, true, seUndefinedHeader},
        {"*SAV 3", 0, TScpiCmd::Save, false, seNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        const auto units = ParseScpiLine(c.Line);
        ASSERT_GT(units.size(), c.Unit);
        const TScpiUnit& u = units[c.Unit];
        EXPECT_EQ(u.Error, c.Error);
        EXPECT_EQ(u.Query, c.Query);
        if (c.Error == seNone || c.Error == seMissingParam || c.Error == seParamNotAllowed) {
            EXPECT_EQ(u.Cmd, c.Cmd);
        }
    }
}

TEST(ScpiParser, NumbersAreExactAndRangeChecked) {
    const struct {
        const char* Text;
        const char* Unit;
        int64_t Centi;  // hundredths, or -1 with Error set
        int Error;
    } cases[] = {
        {"5", "V", 500, seNone},           {"+5.00E+00", "V", 500, seNone},
        {"1234E-2 V", "V", 1234, seNone},  {"800mA", "A", 80, seNone},
        {"0.015", "A", 2, seNone},  // rounded once, half up
        {"1e-30", "V", 0, seNone},         {"-0", "V", 0, seNone},
        {"-1", "V", -1, seDataOutOfRange}, {"1E10", "V", -1, seDataOutOfRange},
        {"5 X", "V", -1, seInvalidSuffix}, {"abc", "V", -1, seDataType},
        {".", "V", -1, seNumericData},     {"5.3.2", "V", -1, seNumericData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        int error = seNone;
        const auto n = ParseScpiNumber(c.Text, c.Unit, error);
        EXPECT_EQ(error, c.Error);
        ASSERT_EQ(n.has_value(), c.Error == seNone);
        if (n) {
            EXPECT_EQ(static_cast<int64_t>(ToUnits(n->Decimal, 2)), c.Centi);
        }
    }
    int error = seNone;
    EXPECT_EQ(ParseScpiNumber("max", "V", error)->Kind, TScpiNumber::Max);
    EXPECT_EQ(ParseScpiMask("3.2E1", 255, error), 32u);
    EXPECT_FALSE(ParseScpiMask("256", 255, error));
    EXPECT_EQ(error, seDataOutOfRange);
}

}  // namespace
