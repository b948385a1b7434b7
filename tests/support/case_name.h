#pragma once
// Names of parameterised test cases made from a text: "3_tcp_h_info_frob" is case 3 with its text
// in letters and digits (the number keeps names unique and never only digits, which CTest would
// not show).

#include <cctype>
#include <cstddef>
#include <string>

namespace testsupport {

inline std::string CaseName(size_t AIndex, const char* AText, size_t AMaxLength = 40) {
    std::string name = std::to_string(AIndex) + "_";
    for (const char* c = AText; *c != 0 && name.size() < AMaxLength; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)) != 0)
            name += *c;
        else if (name.back() != '_')
            name += '_';
    }
    return *AText == 0 ? name + "Empty" : name;
}

}  // namespace testsupport
