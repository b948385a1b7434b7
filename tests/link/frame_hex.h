#pragma once
// Literal-hex helpers for the frame tests.

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "link/kr_types.h"

// "01 03 00 0A" -> bytes; blanks are ignored.
inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

inline std::vector<uint8_t> Head(const TKRBuffer& buf, size_t len) {
    return {buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(len)};
}
