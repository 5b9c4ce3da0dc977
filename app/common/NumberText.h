#pragma once
// Numbers as the window and the terminal show them: with thousands separators ("12,345").
#include <cstdint>
#include <string>

namespace kamo {

inline std::string WithSeparators(int64_t value) {
    const bool negative = value < 0;
    std::string digits = std::to_string(negative ? -(value + 1) + uint64_t(1) : uint64_t(value));
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

} // namespace kamo
