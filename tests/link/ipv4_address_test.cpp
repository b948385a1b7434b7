#include "link/ipv4_address.h"

#include <gtest/gtest.h>

TEST(IPv4Address, ReadsFourDecimalOctetsWithLeadingZerosAsDecimal) {
    EXPECT_EQ(ParseIPv4("127.0.0.1"), (TIPv4Octets{127, 0, 0, 1}));
    EXPECT_EQ(ParseIPv4("0127.0.0.1"), (TIPv4Octets{127, 0, 0, 1}));  // not octal 87
    EXPECT_EQ(ParseIPv4("192.168.001.010"), (TIPv4Octets{192, 168, 1, 10}));
    EXPECT_EQ(ParseIPv4("255.255.255.255"), (TIPv4Octets{255, 255, 255, 255}));
    EXPECT_EQ(ParseIPv4("000.000.000.000"), (TIPv4Octets{0, 0, 0, 0}));
    EXPECT_EQ(FormatIPv4(*ParseIPv4("192.168.001.010")), "192.168.1.10");
}

TEST(IPv4Address, RefusesEverythingElse) {
    // Octets above 255 were once taken modulo 256 (383 -> 127, 999 -> 231, 256 -> 0).
    for (const char* text : {"383.000.000.001",
                             "999.1.1.1",
                             "127.0.0.256",
                             "1.2.3.99999999999999999999",
                             "",
                             "...",
                             "1.2.3",
                             "1.2.3.4.5",
                             "1..2.3",
                             ".1.2.3",
                             "1.2.3.",
                             "127.1",
                             "0x7f.0.0.1",
                             "+1.2.3.4",
                             "-1.2.3.4",
                             " 1.2.3.4",
                             "1.2.3.4 ",
                             "1.2 .3.4",
                             "1.2.3.4:502",
                             "localhost",
                             "1,2,3,4"})
        EXPECT_FALSE(ParseIPv4(text).has_value()) << '"' << text << '"';
}
