#include "ui/RowSelection.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace mirvo {

bool RowSelection::Contains(int row) const {
    auto it = ranges_.upper_bound(row);
    if (it == ranges_.begin()) {
        return false;
    }
    --it;
    return row < it->second;
}

void RowSelection::Add(int first, int last) {
    if (first > last) {
        return;
    }
    int begin = first;
    int end = last + 1;
    auto it = ranges_.upper_bound(begin);
    if (it != ranges_.begin()) {
        auto before = std::prev(it);
        if (before->second >= begin) {
            begin = before->first;
            end = std::max(end, before->second);
            it = ranges_.erase(before);
        }
    }
    while (it != ranges_.end() && it->first <= end) {
        end = std::max(end, it->second);
        it = ranges_.erase(it);
    }
    ranges_.emplace(begin, end);
}

void RowSelection::Remove(int first, int last) {
    if (first > last) {
        return;
    }
    const int end = last + 1;
    auto it = ranges_.upper_bound(first);
    if (it != ranges_.begin()) {
        --it;
    }
    while (it != ranges_.end() && it->first < end) {
        const int rangeBegin = it->first;
        const int rangeEnd = it->second;
        if (rangeEnd <= first) {
            ++it;
            continue;
        }
        it = ranges_.erase(it);
        if (rangeBegin < first) {
            ranges_.emplace(rangeBegin, first);
        }
        if (rangeEnd > end) {
            ranges_.emplace(end, rangeEnd);
            break;
        }
    }
}

void RowSelection::Toggle(int row) {
    if (Contains(row)) {
        Remove(row, row);
    } else {
        Add(row, row);
    }
}

void RowSelection::ClipTo(int count) {
    Remove(std::max(count, 0), std::numeric_limits<int>::max() - 1);
}

std::vector<int> RowSelection::Rows() const {
    std::vector<int> rows;
    for (const auto& [begin, end] : ranges_) {
        for (int row = begin; row < end; ++row) {
            rows.push_back(row);
        }
    }
    return rows;
}

void RowSelection::Assign(const std::vector<int>& ascendingRows) {
    ranges_.clear();
    for (const int row : ascendingRows) {
        if (ranges_.empty()) {
            ranges_.emplace(row, row + 1);
            continue;
        }
        const auto last = std::prev(ranges_.end());
        if (row == last->second) {
            ++last->second;
        } else if (row > last->second) {
            ranges_.emplace_hint(ranges_.end(), row, row + 1);
        } else {
            Add(row, row);  // out of order after all
        }
    }
}

}  // namespace mirvo
