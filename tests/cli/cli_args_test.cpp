// The command line: what is accepted, what is refused with which reason, and the conversion of
// typed values into the device's fixed-point units.

#include <gtest/gtest.h>

#include <string>

#include "cli/cli_args.h"
#include "session/typed_values.h"
#include "tests/support/case_name.h"

namespace {

struct TRefusedLine {
    const char* Line;
    const char* Reason;  // part of the error text
};

using testsupport::CaseName;

class RefusedLine : public ::testing::TestWithParam<TRefusedLine> {};

TEST_P(RefusedLine, NamesTheReason) {
    const TParseResult r = ParseArguments(QString(GetParam().Line).split(' ', Qt::SkipEmptyParts));
    EXPECT_TRUE(r.Error.contains(GetParam().Reason)) << r.Error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RefusedLine,
    ::testing::Values(TRefusedLine{"", "no command"},
                      TRefusedLine{"--tcp h frob", "unknown command frob"},
                      TRefusedLine{"--tcp h info --frob", "unknown option --frob"},
                      TRefusedLine{"info", "a link is required"},
                      TRefusedLine{"--tcp h --port ttyUSB0 info", "exclude each other"},
                      TRefusedLine{"--tcp :502 info", "host"},
                      TRefusedLine{"--tcp 999.1.1.1 info", "not a valid IPv4 address"},
                      TRefusedLine{"--tcp 127.0.0.256:1502 info", "not a valid IPv4 address"},
                      TRefusedLine{"--tcp 127.1 info", "not a valid IPv4 address"},
                      TRefusedLine{"--tcp 0x7f.0.0.1 info", "not a valid IPv4 address"},
                      TRefusedLine{"--port ttyUSB0 --baud 1200 info", "--baud"},
                      TRefusedLine{"--port ttyUSB0 --addr 128 info", "1 to 127"},
                      TRefusedLine{"--tcp h set", "--voltage"},
                      TRefusedLine{"--tcp h set --voltage -5", "--voltage -5: out of range"},
                      TRefusedLine{"--tcp h set --current -0.0", "out of range"},
                      TRefusedLine{"--tcp h set --current", "a value is required"},
                      TRefusedLine{"--tcp h read --voltage 5", "does not apply to read"},
                      TRefusedLine{"--tcp h set --voltage 5 --ovp 6", "does not apply to set"},
                      TRefusedLine{"--tcp h preset show 5 --voltage 5", "does not apply to preset"},
                      TRefusedLine{"--tcp h watch --interval 0", "--interval"},
                      TRefusedLine{"--tcp h preset", "list, show N"},
                      TRefusedLine{"--tcp h preset show 20", "not a preset"},
                      TRefusedLine{"--tcp h preset select M10", "not a preset"},
                      TRefusedLine{"--tcp h preset save 3 --timer 1:75", "H:MM"},
                      TRefusedLine{"--tcp h serve-scpi --listen 10.1:5025", "not a valid IPv4"},
                      TRefusedLine{"--tcp h serve-scpi --listen :65536", "0 to 65535"},
                      TRefusedLine{"--tcp h off --off-on-exit", "does not apply to off"},
                      TRefusedLine{"--tcp h serve-scpi --idle-timeout 0", "seconds from 1"},
                      TRefusedLine{"--tcp h read --stats", "--stats does not apply to read"},
                      TRefusedLine{"--tcp h stats --seconds 0", "1 to 86400"},
                      TRefusedLine{"--tcp h watch --seconds 5", "does not apply to watch"},
                      TRefusedLine{"--tcp h watch --stats-every 5", "only with --stats"},
                      TRefusedLine{"--tcp h --json watch --stats --stats-every 5", "every row"}),
    [](const auto& AInfo) { return CaseName(AInfo.index, AInfo.param.Line); });

TEST(CliArgs, GlobalOptionsMayFollowTheCommand) {
    const TParseResult r =
        ParseArguments({"read", "--tcp", "bench.local:1502", "--json", "--addr=7", "--keep-lock"});
    ASSERT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
    EXPECT_EQ(r.Request.Command, "read");
    EXPECT_EQ(r.Request.Link.TcpHost, "bench.local");
    EXPECT_EQ(r.Request.Link.TcpPort, 1502);
    EXPECT_EQ(r.Request.Link.Addr, 7);
    EXPECT_TRUE(r.Request.Json);
    EXPECT_TRUE(r.Request.KeepLock);
}

TEST(CliArgs, DottedAddressIsReadStrictlyAsDecimal) {
    // Once read as octal (87.0.0.1); the leading zero is decimal as in the window.
    const TParseResult r = ParseArguments({"--tcp", "0127.000.0.01:1502", "info"});
    ASSERT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
    EXPECT_EQ(r.Request.Link.TcpHost, "127.0.0.1");
}

TEST(CliArgs, SerialDefaultsAndWatchOptions) {
    const TParseResult r = ParseArguments({"--port", "/dev/ttyUSB0", "watch", "--interval", "0.25",
                                           "--count", "5", "--csv", "out.csv"});
    ASSERT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
    EXPECT_EQ(r.Request.Link.Baud, 9600);
    EXPECT_EQ(r.Request.Link.Addr, 1);
    const TWatchOptions& watch = r.Request.Of<TWatchOptions>();
    EXPECT_EQ(watch.IntervalMs, 250);
    ASSERT_TRUE(watch.Count.has_value());
    EXPECT_EQ(*watch.Count, 5);
    EXPECT_EQ(watch.CsvPath, "out.csv");
}

TEST(CliArgs, PresetSaveTakesEveryValue) {
    const TParseResult r =
        ParseArguments({"--tcp", "h", "preset", "save", "C2", "--voltage", "4.2", "--current", "1",
                        "--ovp", "4.3", "--ocp", "1.1", "--opp", "20.5", "--timer", "2:05"});
    ASSERT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
    const TPresetOptions& preset = r.Request.Of<TPresetOptions>();
    EXPECT_EQ(preset.Action, paSave);
    EXPECT_EQ(preset.Num, 12u);
    ASSERT_TRUE(preset.Opp && preset.TimerMinutes);
    EXPECT_EQ(ToUnits(*preset.Opp, 1), 205u);
    EXPECT_EQ(*preset.TimerMinutes, 125u);
}

TEST(CliArgs, HelpWithOrWithoutCommandNeedsNoLink) {
    EXPECT_TRUE(ParseArguments({"--help"}).Request.Help);
    const TParseResult r = ParseArguments({"watch", "--help"});
    EXPECT_TRUE(r.Error.isEmpty());
    EXPECT_TRUE(r.Request.Help);
    EXPECT_EQ(r.Request.Command, "watch");
    EXPECT_EQ(ParseArguments({"help", "set"}).Request.Command, "set");
}

TEST(CliArgs, SlipsOfTheKeysGetTheClosestName) {
    auto error = [](const QString& ALine) {
        return ParseArguments(ALine.split(' ')).Error.toStdString();
    };
    EXPECT_EQ(error("--tcp h raed"), "unknown command raed\ndid you mean \"read\"?");
    EXPECT_EQ(error("--tcp h calibrate"),
              "unknown command calibrate\ndid you mean \"calibration\"?");
    EXPECT_EQ(error("--tcp h set --volage 5"),
              "unknown option --volage\ndid you mean \"--voltage\"?");
    EXPECT_EQ(error("--tcp h --keeplock on"),
              "unknown option --keeplock\ndid you mean \"--keep-lock\"?");
    EXPECT_EQ(error("--tcp h preset lsit"), "preset: unknown action lsit\ndid you mean \"list\"?");
    EXPECT_EQ(error("--tcp h sequence rnu"), "sequence: unknown action rnu\ndid you mean \"run\"?");
    // Nothing close: no guess.
    EXPECT_EQ(error("--tcp h frob"), "unknown command frob");
    EXPECT_EQ(error("--tcp h info --xyzzy"), "unknown option --xyzzy");
}

struct TUnitCase {
    const char* Text;
    int Decimals;
    uint64_t Units;
};

class DecimalUnits : public ::testing::TestWithParam<TUnitCase> {};

TEST_P(DecimalUnits, RoundToTheResolution) {
    const auto value = ParseDecimal(GetParam().Text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(ToUnits(*value, GetParam().Decimals), GetParam().Units);
}

INSTANTIATE_TEST_SUITE_P(Cli, DecimalUnits,
                         ::testing::Values(TUnitCase{"12", 2, 1200}, TUnitCase{"12.345", 2, 1235},
                                           TUnitCase{"12.344", 2, 1234}, TUnitCase{".5", 3, 500},
                                           TUnitCase{"0.0004", 3, 0}, TUnitCase{"0.0005", 3, 1},
                                           TUnitCase{"1.9999999", 2, 200},
                                           // Rounded once from the exact digits, not twice.
                                           TUnitCase{"5.0049999", 2, 500},
                                           TUnitCase{"51.0049999", 2, 5100},
                                           TUnitCase{"51.005", 2, 5101},
                                           TUnitCase{"0.00049999999999", 3, 0},
                                           TUnitCase{"51.00", 2, 5100}, TUnitCase{"99.95", 1, 1000},
                                           TUnitCase{"999999999", 2, 99999999900}),
                         [](const auto& AInfo) { return CaseName(AInfo.index, AInfo.param.Text); });

TEST(CliValues, RefusedNumbers) {
    for (const char* text : {"", ".", "-1", "+1", "1,5", "1.2.3", "1e2", "0x10", "1234567890"})
        EXPECT_FALSE(ParseDecimal(text).has_value()) << text;
}

TEST(CliValues, HoursMinutesAndPresetNames) {
    EXPECT_EQ(ParseHoursMinutes("99:59"), 5999u);
    EXPECT_EQ(ParseHoursMinutes("0:05"), 5u);
    EXPECT_EQ(ParseHoursMinutes("90"), 90u);
    EXPECT_FALSE(ParseHoursMinutes("1:5").has_value());
    EXPECT_FALSE(ParseHoursMinutes("1:60").has_value());
    EXPECT_FALSE(ParseHoursMinutes(":30").has_value());
    EXPECT_EQ(ParsePresetNumber("m3"), 3u);
    EXPECT_EQ(ParsePresetNumber("C0"), 10u);
    EXPECT_EQ(ParsePresetNumber("19"), 19u);
    EXPECT_FALSE(ParsePresetNumber("M").has_value());
    EXPECT_FALSE(ParsePresetNumber("X3").has_value());
}

}  // namespace
