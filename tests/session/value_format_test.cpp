#include "session/value_format.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/support/case_name.h"

namespace {

struct FixedCase {
    uint32_t value;
    uint32_t point;
    const char* text;
};

class FormatFixedPointTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixedPointTest, Formats) {
    const FixedCase& c = GetParam();
    EXPECT_EQ(FormatFixedPoint(c.value, c.point).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatFixedPointTest,
    ::testing::Values(FixedCase{1234, 3, "12.34"}, FixedCase{5, 3, "0.05"}, FixedCase{0, 1, "0"},
                      FixedCase{5000, 4, "5.000"}, FixedCase{10, 3, "0.10"},
                      FixedCase{100, 2, "10.0"}, FixedCase{999999, 3, "9999.99"},
                      // The top group takes whatever is left above 100000.
                      FixedCase{1234567, 3, "12345.67"}, FixedCase{1000000, 1, "1000000"},
                      FixedCase{4294967295u, 3, "42949672.95"}, FixedCase{7, 6, "0.00007"},
                      // Point position 0 is read as an integer, never an empty text.
                      FixedCase{0, 0, "0"}, FixedCase{42, 0, "42"}),
    [](const auto& AInfo) {
        return std::to_string(AInfo.param.value) + "_Point" + std::to_string(AInfo.param.point);
    });

struct MinutesCase {
    uint32_t minutes;
    const char* text;
};

class FormatHoursMinutesTest : public ::testing::TestWithParam<MinutesCase> {};

TEST_P(FormatHoursMinutesTest, Formats) {
    EXPECT_EQ(FormatHoursMinutes(GetParam().minutes).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatHoursMinutesTest,
                         ::testing::Values(MinutesCase{0, "0:00"}, MinutesCase{90, "1:30"},
                                           MinutesCase{5999, "99:59"}, MinutesCase{59, "0:59"},
                                           MinutesCase{600, "10:00"},
                                           MinutesCase{60000, "1000:00"}),
                         [](const auto& AInfo) {
                             return std::to_string(AInfo.param.minutes) + "min";
                         });

struct ScanCase {
    const char* text;
    const char* format;
    int expected;
    std::array<int32_t, 4> values;
};

class ScanFormattedTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanFormattedTest, Scans) {
    const ScanCase& c = GetParam();
    int32_t targets[4] = {-7, -7, -7, -7};
    EXPECT_EQ(ScanFormatted(std::string_view(c.text), std::string_view(c.format), targets, 4),
              c.expected);
    for (int i = 0; i < c.expected; ++i)
        EXPECT_EQ(targets[i], c.values[i]) << "target " << i;
    for (int i = c.expected; i < 4; ++i)
        EXPECT_EQ(targets[i], -7) << "untouched " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanFormattedTest,
    ::testing::Values(
        ScanCase{"192.168.1.10", "%d.%d.%d.%d", 4, {192, 168, 1, 10}},
        // Zero-padded fields as the settings keep them.
        ScanCase{"192.168.001.001", "%d.%d.%d.%d", 4, {192, 168, 1, 1}},
        ScanCase{"  10 . 0. 0.  7", "%d.%d.%d.%d", 4, {10, 0, 0, 7}},
        // The literal is searched forward, skipping what stands before it.
        ScanCase{"10x.20yy.30.40", "%d.%d.%d.%d", 4, {10, 20, 30, 40}},
        ScanCase{"10.20.30", "%d.%d.%d.%d", 3, {10, 20, 30}},
        // A separator with nothing after it ends the scan.
        ScanCase{"10.20.30.", "%d.%d.%d.%d", 3, {10, 20, 30}},
        ScanCase{"10.20..40", "%d.%d.%d.%d", 2, {10, 20}}, ScanCase{"abc", "%d.%d.%d.%d", 0, {}},
        ScanCase{"", "%d.%d.%d.%d", 0, {}}, ScanCase{"-1.+2.3.4", "%d.%d.%d.%d", 4, {-1, 2, 3, 4}},
        // Malformed or out-of-range runs stop the scan instead of producing garbage.
        ScanCase{"1-2.3.4.5", "%d.%d.%d.%d", 0, {}},
        ScanCase{"1.99999999999.3.4", "%d.%d.%d.%d", 1, {1}},
        ScanCase{"1.2147483647.3.4", "%d.%d.%d.%d", 4, {1, 2147483647, 3, 4}},
        // Spaces in the format are skipped; the format's last character is never a literal.
        ScanCase{"5 6", "%d %d", 2, {5, 6}}, ScanCase{"5", "%d.", 1, {5}},
        ScanCase{"5.6", "%d.%d.", 2, {5, 6}}),
    [](const auto& AInfo) { return testsupport::CaseName(AInfo.index, AInfo.param.text, 1000); });

TEST(ScanFormattedTest, StopsAtTheTargetCount) {
    int32_t targets[2] = {0, 0};
    EXPECT_EQ(
        ScanFormatted(std::string_view("1.2.3.4"), std::string_view("%d.%d.%d.%d"), targets, 2), 2);
    EXPECT_EQ(targets[1], 2);
}

TEST(ScanFormattedTest, AcceptsQStrings) {
    int32_t targets[4] = {};
    EXPECT_EQ(ScanFormatted(QString("127.0.0.1"), QString("%d.%d.%d.%d"), targets, 4), 4);
    EXPECT_EQ(targets[0], 127);
    EXPECT_EQ(targets[3], 1);
}

}  // namespace
