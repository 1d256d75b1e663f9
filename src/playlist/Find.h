#pragma once
// Find as you type: the entries whose whole text holds the typed text, in
// list order, and what the find dialog's commands do with the chosen one.
// Kept free of widgets so that a million entries are filtered and tested here.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

struct PlaylistContext;
struct PlaylistState;

class FindFilter {
  public:
    // The indices of `entries` holding `query`, ignoring case. A query that
    // extends the last one only looks at the last matches.
    const std::vector<std::int32_t>& Filter(const std::vector<std::string>& entries,
                                            std::string_view query);
    const std::vector<std::int32_t>& Matches() const { return matches_; }
    // The list changed or the dialog closed: the next filter starts afresh.
    void Forget();

  private:
    std::vector<std::int32_t> matches_;
    std::string last_;
    const std::vector<std::string>* from_ = nullptr;
    std::size_t fromSize_ = 0;
    bool valid_ = false;
};

// The row a navigation key moves to: Down, Up, Page Up, Page Down by their
// rules; any other key (-1 for "other") selects row 0. Clamped to the rows.
enum class FindKey { Down, Up, PageUp, PageDown, Other };
int FindKeyRow(FindKey key, int current, int top, int visibleRows, int rowCount);

// The text of a row: 0 the whole entry, 1 its file name, 2 its relative path.
std::string FindRowText(const PlaylistState& pl, std::int32_t index, int viewMode);

// The dialog's commands on playlist index `index`.
void FindPlay(const PlaylistContext& ctx, std::int32_t index);
void FindSelect(const PlaylistContext& ctx, std::int32_t index);
void FindQueue(const PlaylistContext& ctx, std::int32_t index);

}  // namespace mirvo
