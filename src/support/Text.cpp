#include "support/Text.h"

namespace mirvo {

std::string GroupThousands(std::uint64_t value, std::string_view separator) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += separator;
        }
        out += digits[i];
    }
    return out;
}

std::string FormatMegabytes(std::uint64_t bytes, std::string_view separator) {
    return GroupThousands(static_cast<std::uint64_t>(static_cast<double>(bytes) / 1048576.0 + 0.5),
                          separator);
}

}  // namespace mirvo
