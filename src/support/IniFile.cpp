#include "support/IniFile.h"

#include <charconv>
#include <limits>

#include "support/Files.h"
#include "support/Text.h"

namespace mirvo {
namespace {

// What a key, a value or a section name is trimmed of.
constexpr std::string_view kBlanks = " \t\r\v\f";

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<int> ParseInteger(std::string_view text) {
    text = Trim(text, kBlanks);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 1 && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    long long value = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (err != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (negative) {
        value = -value;
    }
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

IniFile::IniFile(std::string_view text) {
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool hasEnd = end != std::string_view::npos;
        if (!hasEnd) {
            end = text.size();
        }
        std::string_view raw = text.substr(pos, end - pos);
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
            if (first) {
                crlf_ = true;
            }
        }
        first = false;
        Line line;
        line.text = std::string(raw);
        const std::string_view trimmed = Trim(raw, kBlanks);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const auto close = trimmed.find(']');
            if (close != std::string_view::npos) {
                line.isSection = true;
                line.section = std::string(Trim(trimmed.substr(1, close - 1), kBlanks));
            }
        } else if (!trimmed.empty() && trimmed.front() != ';') {
            const auto eq = raw.find('=');
            if (eq != std::string_view::npos) {
                const std::string_view key = Trim(raw.substr(0, eq), kBlanks);
                if (!key.empty()) {
                    line.isKey = true;
                    line.key = std::string(key);
                    line.valueStart = eq + 1;
                }
            }
        }
        lines_.push_back(std::move(line));
        pos = hasEnd ? end + 1 : end;
    }
}

IniFile IniFile::Load(const std::string& path) {
    return LoadForUpdate(path).value_or(IniFile());
}

std::optional<IniFile> IniFile::LoadForUpdate(const std::string& path) {
    const FileRead read = ReadFileText(path);
    switch (read.status) {
        case FileRead::Read:
            return IniFile(read.text);
        case FileRead::Missing:
            return IniFile();
        case FileRead::Failed:
            break;
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isSection && SameName(lines_[i].section, section)) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t IniFile::SectionEnd(std::size_t sectionLine) const {
    std::size_t i = sectionLine + 1;
    while (i < lines_.size() && !lines_[i].isSection) {
        ++i;
    }
    return i;
}

std::optional<std::size_t> IniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
    const std::size_t end = SectionEnd(sectionLine);
    for (std::size_t i = sectionLine + 1; i < end; ++i) {
        if (lines_[i].isKey && SameName(lines_[i].key, key)) {
            return i;
        }
    }
    return std::nullopt;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(section).has_value();
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    const auto s = FindSection(section);
    if (!s) {
        return std::nullopt;
    }
    const auto k = FindKey(*s, key);
    if (!k) {
        return std::nullopt;
    }
    const Line& line = lines_[*k];
    return std::string(Trim(std::string_view(line.text).substr(line.valueStart), kBlanks));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& fallback) const {
    auto value = Get(section, key);
    return value ? std::move(*value) : fallback;
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
    const auto value = Get(section, key);
    if (!value) {
        return fallback;
    }
    return ParseInteger(*value).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool IniFile::CanHold(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!CanHold(section) || !CanHold(key) || !CanHold(value)) {
        return false;
    }
    Line line;
    line.isKey = true;
    line.key = std::string(key);
    line.text = line.key + "=" + std::string(value);
    line.valueStart = line.key.size() + 1;

    auto s = FindSection(section);
    if (!s) {
        if (!lines_.empty() && !Trim(lines_.back().text, kBlanks).empty()) {
            lines_.push_back(Line{});
        }
        Line header;
        header.isSection = true;
        header.section = std::string(section);
        header.text = "[" + header.section + "]";
        lines_.push_back(std::move(header));
        lines_.push_back(std::move(line));
        return true;
    }
    if (const auto k = FindKey(*s, key)) {
        // Keep the key's spelling as the file had it.
        line.key = lines_[*k].key;
        line.text = line.key + "=" + std::string(value);
        line.valueStart = line.key.size() + 1;
        lines_[*k] = std::move(line);
        return true;
    }
    // New keys go after the section's last non-blank line.
    std::size_t insert = SectionEnd(*s);
    while (insert > *s + 1 && Trim(lines_[insert - 1].text, kBlanks).empty()) {
        --insert;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), std::move(line));
    return true;
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::EraseSection(std::string_view section) {
    while (const auto s = FindSection(section)) {
        const std::size_t end = SectionEnd(*s);
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*s),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

void IniFile::EraseKey(std::string_view section, std::string_view key) {
    if (const auto s = FindSection(section)) {
        if (const auto k = FindKey(*s, key)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*k));
        }
    }
}

std::string IniFile::Text() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += eol;
    }
    return out;
}

bool IniFile::Save(const std::string& path) const {
    return WriteFileAtomically(path, Text(), 0600);
}

}  // namespace mirvo
