#pragma once
// Checks the fuzz targets make on every result: text is well-formed UTF-8, and
// reading the same bytes again with the same object gives the same fields (so
// nothing of an earlier read survives the reset).
#include <string>
#include <string_view>
#include <vector>

#include "FuzzRequire.h"
#include "tags/TagText.h"

inline void RequireUtf8(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        Require(mirvo::tagtext::Utf8ValidPrefix(text).size() == text.size());
    }
}

// Reads `data` twice with one `reader`; `texts` lists the reader's fields.
template <typename Reader, typename Texts>
std::vector<std::string> ReadTwice(Reader& reader, const std::uint8_t* data, std::size_t size,
                                   Texts texts) {
    reader.ReadFromBuffer({data, size});
    std::vector<std::string> first = texts(reader);
    reader.ReadFromBuffer({data, size});
    std::vector<std::string> second = texts(reader);
    Require(first == second);
    RequireUtf8(first);
    return first;
}
