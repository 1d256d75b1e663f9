// Any bytes as the update endpoint's answer: the address is the first line,
// the version the second, and the message holds the rest, nothing more.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzRequire.h"
#include "app/UpdateCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const mirvo::UpdateAnswer answer = mirvo::ParseUpdateAnswer(text);
    Require(text.starts_with(answer.Address));
    Require(answer.Address.find('\n') == std::string::npos &&
            answer.Version.find('\n') == std::string::npos &&
            answer.Message.find('\n') == std::string::npos);
    Require(answer.HasVersion || (answer.Version.empty() && answer.Message.empty()));
    Require(answer.Address.size() + answer.Version.size() + answer.Message.size() <= text.size());
    // Two lines are an address and a version; only a third line says anything.
    const std::size_t first = text.find('\n');
    const std::size_t second = first == std::string_view::npos ? first : text.find('\n', first + 1);
    if (second == std::string_view::npos || second + 1 == text.size()) {
        Require(answer.Message.empty());
    }
    return 0;
}
