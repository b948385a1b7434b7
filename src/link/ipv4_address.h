#pragma once
// Strict reading of a dotted IPv4 address, shared by the window and the command-line tool so that
// both accept exactly the same texts and neither ever dials an address the user did not type.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The four octets in the order they are written ("127.0.0.1" gives {127, 0, 0, 1}).
using TIPv4Octets = std::array<uint8_t, 4>;

// Exactly four octets separated by single dots, each one or more decimal digits with a value of
// 0..255; leading zeros are decimal ("0127.0.0.1" is 127.0.0.1, "192.168.001.010" is
// 192.168.1.10). Anything else (signs, spaces, hexadecimal, fewer or more parts, empty parts)
// gives nothing.
std::optional<TIPv4Octets> ParseIPv4(std::string_view AText);

// The canonical dotted form without leading zeros ("192.168.1.10").
std::string FormatIPv4(const TIPv4Octets& AOctets);
