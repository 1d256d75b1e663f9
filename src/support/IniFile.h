#pragma once
// An INI file held in memory with Windows profile semantics: section and key
// names match ignoring case, the first of duplicate sections or keys wins,
// values are kept as written, and every line this class does not write
// (comments, junk, foreign keys and sections) stays where it was.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

class IniFile {
  public:
    IniFile() = default;
    // Parses text with LF or CR LF line ends.
    explicit IniFile(std::string_view text);

    // Loads `path`; a missing or unreadable file gives an empty document.
    static IniFile Load(const std::string& path);
    // For a read-modify-write: an empty document when the file is missing,
    // nothing when it is there but could not be read (saving what little was
    // read would lose the rest).
    static std::optional<IniFile> LoadForUpdate(const std::string& path);

    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& fallback) const;
    // Decimal (or 0x/$ hexadecimal) 32-bit integers; anything else gives `fallback`.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    // Any integer other than 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // A value with a control character (a line break would start new keys and
    // sections) is never written: false, and the file keeps what it had.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    // True when `text` can stand in a line of the file as it is.
    static bool CanHold(std::string_view text);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void EraseSection(std::string_view section);
    void EraseKey(std::string_view section, std::string_view key);
    bool HasSection(std::string_view section) const;

    std::string Text() const;
    // Atomically replaces `path` with Text(); a new file is created owner-only.
    bool Save(const std::string& path) const;

  private:
    struct Line {
        std::string text;
        // For key lines: where the key and value lie in `text`.
        std::string key;
        std::size_t valueStart = 0;
        bool isSection = false;
        bool isKey = false;
        std::string section;  // section name for header lines
    };
    std::optional<std::size_t> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKey(std::size_t sectionLine, std::string_view key) const;
    std::size_t SectionEnd(std::size_t sectionLine) const;

    std::vector<Line> lines_;
    bool crlf_ = false;
};

// Parses a whole 32-bit integer as the settings file writes it.
std::optional<int> ParseInteger(std::string_view text);

}  // namespace mirvo
