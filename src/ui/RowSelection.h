#pragma once
// The selected rows of a virtual list as ranges, so selecting a million rows
// costs one range, not a million marks.
#include <map>
#include <vector>

namespace mirvo {

class RowSelection {
  public:
    void Clear() { ranges_.clear(); }
    bool Contains(int row) const;
    // Rows first..last, both included.
    void Add(int first, int last);
    void Remove(int first, int last);
    void Toggle(int row);
    // Drops rows at or past `count`.
    void ClipTo(int count);
    // Ascending.
    std::vector<int> Rows() const;
    void Assign(const std::vector<int>& ascendingRows);

  private:
    std::map<int, int> ranges_;  // first row -> one past the last row
};

}  // namespace mirvo
