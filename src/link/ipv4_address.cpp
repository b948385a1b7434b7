#include "link/ipv4_address.h"

std::optional<TIPv4Octets> ParseIPv4(std::string_view AText) {
    TIPv4Octets octets{};
    size_t pos = 0;
    for (size_t k = 0; k < octets.size(); ++k) {
        if (k > 0) {
            if (pos >= AText.size() || AText[pos] != '.') return std::nullopt;
            ++pos;
        }
        const size_t start = pos;
        unsigned value = 0;
        while (pos < AText.size() && AText[pos] >= '0' && AText[pos] <= '9') {
            value = value * 10 + static_cast<unsigned>(AText[pos] - '0');
            if (value > 255) return std::nullopt;  // also keeps long digit runs from overflowing
            ++pos;
        }
        if (pos == start) return std::nullopt;
        octets[k] = static_cast<uint8_t>(value);
    }
    if (pos != AText.size()) return std::nullopt;
    return octets;
}

std::string FormatIPv4(const TIPv4Octets& AOctets) {
    std::string text;
    for (size_t k = 0; k < AOctets.size(); ++k) {
        if (k > 0) text += '.';
        text += std::to_string(AOctets[k]);
    }
    return text;
}
