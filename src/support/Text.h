#pragma once
// Small text helpers shared by every layer.
#include <cstdint>
#include <string>
#include <string_view>

namespace mirvo {

// `value` with `separator` between each group of three digits from the right.
std::string GroupThousands(std::uint64_t value, std::string_view separator);
// Whole megabytes (1048576 bytes, rounded) grouped with `separator`.
std::string FormatMegabytes(std::uint64_t bytes, std::string_view separator);

}  // namespace mirvo
