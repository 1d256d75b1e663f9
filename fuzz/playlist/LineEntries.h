#pragma once
// The check of the readers that take at most one entry from a line: entries
// come in line order, each with an address that is text of its own line.
#include <string>
#include <string_view>
#include <vector>

#include "FuzzRequire.h"
#include "playlist/Entries.h"

inline void RequireEntriesFromLines(const std::vector<std::string>& lines,
                                    const std::vector<std::string>& out) {
    using namespace mirvo;
    Require(out.size() <= lines.size());
    std::size_t line = 0;
    for (const std::string& entry : out) {
        const std::string_view address =
            EntryKind(entry) == kKindStream ? EntryAddress(entry) : std::string_view(entry);
        Require(!address.empty());
        while (line < lines.size() && lines[line].find(address) == std::string::npos) {
            ++line;
        }
        Require(line < lines.size());
        ++line;
    }
}
