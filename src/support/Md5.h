#pragma once
#include <string>
#include <string_view>

namespace mirvo {

// The MD5 digest (RFC 1321) of the text's bytes, two upper-case hex digits per byte.
std::string Md5Hex(std::string_view text);

}  // namespace mirvo
