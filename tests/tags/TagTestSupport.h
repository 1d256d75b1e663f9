#pragma once
// Helpers shared by the tag reader tests.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tagtest {

inline std::span<const std::uint8_t> Span(std::string_view bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// A fresh folder under $TMPDIR, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/mirvo-tags-XXXXXX";
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Sizes of heap blocks requested through operator new since the last Reset.
struct AllocationStats {
    std::size_t largest = 0;  // the largest single request
    std::size_t peak = 0;     // the most bytes live at once, above the level at Reset
};
void ResetAllocationStats();
AllocationStats CurrentAllocationStats();

}  // namespace tagtest
