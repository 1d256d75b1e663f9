#include "playlist/PlaylistFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <functional>
#include <optional>
#include <utility>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/Scanning.h"
#include "support/Files.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::size_t kMaxValueLength = 1000;
constexpr std::size_t kMaxExtinfTitleLength = 10000;
constexpr std::size_t kReadChunk = 1 << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class ReadResult { Missing, Read, Failed };

// Turns UTF-16 text fed in pieces into UTF-8; a byte or a surrogate split
// between pieces waits for the next one, and a lone surrogate becomes U+FFFD.
class Utf16Decoder {
  public:
    explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}

    void Decode(std::string_view bytes, std::string& out) {
        for (const char byte : bytes) {
            if (!haveByte_) {
                firstByte_ = static_cast<unsigned char>(byte);
                haveByte_ = true;
                continue;
            }
            haveByte_ = false;
            const unsigned char second = static_cast<unsigned char>(byte);
            const unsigned unit = bigEndian_ ? (firstByte_ << 8 | second)
                                             : (static_cast<unsigned>(second) << 8 | firstByte_);
            Unit(unit, out);
        }
    }

    void Finish(std::string& out) {
        if (high_ != 0) {
            Append(kReplacement, out);
            high_ = 0;
        }
    }

  private:
    static constexpr unsigned kReplacement = 0xFFFD;

    void Unit(unsigned unit, std::string& out) {
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (high_ != 0) {
                Append(kReplacement, out);
            }
            high_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            Append(high_ != 0 ? 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00) : kReplacement,
                   out);
            high_ = 0;
            return;
        }
        if (high_ != 0) {
            Append(kReplacement, out);
            high_ = 0;
        }
        Append(unit, out);
    }

    static void Append(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool bigEndian_;
    bool haveByte_ = false;
    unsigned firstByte_ = 0;
    unsigned high_ = 0;
};

// Hands out complete lines of text fed in pieces. Lines end in LF, CR LF or
// a lone CR; text that starts with a UTF-16 byte order mark is read as UTF-16.
class LineSplitter {
  public:
    LineSplitter(std::size_t maxLines, std::function<void(std::string_view)> line)
        : maxLines_(maxLines), line_(std::move(line)) {}

    bool Full() const { return count_ >= maxLines_; }

    void Feed(std::string_view chunk) {
        if (!first_) {
            Process(chunk);
            return;
        }
        // A byte order mark is at most 3 bytes: wait until that much is here.
        if (head_.empty() && chunk.size() >= kByteOrderMark.size()) {
            Start(chunk);
            return;
        }
        head_.append(chunk);
        if (head_.size() >= kByteOrderMark.size()) {
            Start(std::exchange(head_, {}));
        }
    }

    void Finish() {
        if (first_) {
            Start(std::exchange(head_, {}));
        }
        if (utf16_) {
            decoded_.clear();
            utf16_->Finish(decoded_);
            Split(decoded_);
        }
        if (!carry_.empty() && !Full()) {
            Emit(carry_);
        }
        carry_.clear();
    }

  private:
    void Start(std::string_view text) {
        first_ = false;
        if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
            utf16_.emplace(text[0] == '\xFE');
            text.remove_prefix(2);
        } else if (text.starts_with(kByteOrderMark)) {
            text.remove_prefix(kByteOrderMark.size());
        }
        Process(text);
    }

    void Process(std::string_view chunk) {
        if (!utf16_) {
            Split(chunk);
            return;
        }
        decoded_.clear();
        utf16_->Decode(chunk, decoded_);
        Split(decoded_);
    }

    void Split(std::string_view chunk) {
        // Each kind of line end is searched for once per piece, so a file
        // with only the other kind costs no rescans.
        constexpr auto npos = std::string_view::npos;
        std::size_t pos = 0;
        std::size_t nextLf = chunk.find('\n');
        std::size_t nextCr = chunk.find('\r');
        while (pos < chunk.size() && !Full()) {
            if (afterCr_) {
                afterCr_ = false;
                if (chunk[pos] == '\n') {
                    ++pos;
                    continue;
                }
            }
            if (nextLf != npos && nextLf < pos) {
                nextLf = chunk.find('\n', pos);
            }
            if (nextCr != npos && nextCr < pos) {
                nextCr = chunk.find('\r', pos);
            }
            const std::size_t end = std::min(nextLf, nextCr);
            if (end == npos) {
                carry_.append(chunk.substr(pos));
                return;
            }
            const std::string_view piece = chunk.substr(pos, end - pos);
            if (carry_.empty()) {
                Emit(piece);
            } else {
                carry_.append(piece);
                Emit(carry_);
                carry_.clear();
            }
            afterCr_ = chunk[end] == '\r';
            pos = end + 1;
        }
    }

    void Emit(std::string_view line) {
        ++count_;
        line_(line);
    }

    std::size_t maxLines_;
    std::function<void(std::string_view)> line_;
    std::string carry_;
    std::size_t count_ = 0;
    bool first_ = true;
    bool afterCr_ = false;
    std::string head_;
    std::optional<Utf16Decoder> utf16_;
    std::string decoded_;
};

// Feeds the file's lines to `line`. Missing: no such file (or not a file at
// all, such as a folder); Failed: it exists but could not be read to the end.
ReadResult ForEachFileLine(const std::string& path, std::size_t maxLines,
                           std::function<void(std::string_view)> line) {
    // Non-blocking, so a named pipe given as a playlist cannot hang us.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadResult::Missing;
    }
    LineSplitter splitter(maxLines, std::move(line));
    std::string buffer(kReadChunk, '\0');
    ReadResult result = ReadResult::Read;
    while (!splitter.Full()) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            result = ReadResult::Failed;
            break;
        }
        if (got == 0) {
            break;
        }
        splitter.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
    splitter.Finish();
    ::close(fd);
    return result;
}

std::size_t FindNoCase(std::string_view text, std::string_view lowerNeedle, std::size_t from = 0) {
    const std::string lower = LowerAscii(text);
    return lower.find(lowerNeedle, from);
}

// The text after the first "=", or the whole line when it has none.
std::string_view ValueAfterEquals(std::string_view line, std::size_t limit) {
    const auto eq = line.find('=');
    const std::string_view value = eq == std::string_view::npos ? line : line.substr(eq + 1);
    return value.substr(0, std::min(value.size(), limit));
}

std::string StreamEntry(std::string_view address, std::string_view title) {
    std::string entry(address);
    entry += '|';
    entry += title;
    return entry;
}

bool IsDriveText(std::string_view line) {
    const unsigned char c = line.size() >= 2 ? static_cast<unsigned char>(line[0]) : 0;
    return line.size() >= 2 && line[1] == ':' && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

std::string FolderWithSlash(std::string_view folder) {
    std::string base(folder);
    if (!base.empty() && base.back() != '/') {
        base += '/';
    }
    return base;
}

void AppendEntries(const PlaylistContext& ctx, std::vector<std::string>&& entries) {
    auto& list = ctx.playlist.PlaylistEntries;
    list.insert(list.end(), std::make_move_iterator(entries.begin()),
                std::make_move_iterator(entries.end()));
}

}  // namespace

std::string AutoPlaylistFile(const PlaylistContext& ctx) {
    return JoinPath(ctx.programFolder, "Playlist.txt");
}

std::vector<std::string> SplitLines(std::string_view text, std::size_t maxLines) {
    std::vector<std::string> lines;
    LineSplitter splitter(maxLines, [&](std::string_view line) { lines.emplace_back(line); });
    splitter.Feed(text);
    splitter.Finish();
    return lines;
}

std::vector<std::string> ReadPlaylistLines(const std::string& fileName) {
    std::vector<std::string> lines;
    ForEachFileLine(fileName, kMaxPlaylistLines,
                    [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::string ResolvePlaylistLine(std::string_view line, std::string_view folder) {
    if (line.starts_with('/') || line.starts_with("\\\\") || IsDriveText(line) ||
        IsStreamAddress(EntryAddress(line))) {
        return std::string(line);
    }
    if (line.size() > 1 && line[0] == '\\') {
        line.remove_prefix(1);
    }
    std::string entry = FolderWithSlash(folder);
    const std::size_t start = entry.size();
    entry += line;
    // Windows texts separate with "\"; a text that already uses "/" is ours.
    if (line.find('/') == std::string_view::npos) {
        for (std::size_t i = start; i < entry.size(); ++i) {
            if (entry[i] == '\\') {
                entry[i] = '/';
            }
        }
    }
    return entry;
}

void ParseM3uPlaylist(const std::vector<std::string>& lines, std::string_view folder,
                      std::vector<std::string>& out) {
    if (lines.empty()) {
        return;
    }
    if (!ContainsNoCase(lines.front(), "#extm3u")) {
        for (const std::string& line : lines) {
            out.push_back(ResolvePlaylistLine(line, folder));
        }
        return;
    }
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!ContainsNoCase(lines[i], "#extinf:")) {
            continue;
        }
        const std::string& next = lines[i + 1];
        if (EntryKind(next) == kKindStream) {
            const auto comma = lines[i].find(',');
            const std::string_view info = lines[i];
            const std::string_view title =
                comma == std::string::npos ? info : info.substr(comma + 1);
            out.push_back(StreamEntry(next, title.substr(0, kMaxExtinfTitleLength)));
        } else {
            out.push_back(ResolvePlaylistLine(next, folder));
        }
    }
}

void ParsePlsPlaylist(const std::vector<std::string>& lines, std::string_view folder,
                      std::vector<std::string>& out) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!ContainsNoCase(lines[i], "file")) {
            continue;
        }
        // Paths are not cut; only the title keeps its limit.
        const std::string_view value = ValueAfterEquals(lines[i], std::string_view::npos);
        std::string_view title = value.substr(0, std::min(value.size(), kMaxValueLength));
        if (i + 1 < lines.size() && ContainsNoCase(lines[i + 1], "title")) {
            title = ValueAfterEquals(lines[i + 1], kMaxValueLength);
        }
        if (EntryKind(value) == kKindStream) {
            out.push_back(StreamEntry(value, title));
        } else {
            out.push_back(ResolvePlaylistLine(value, folder));
        }
    }
}

void ParseAsxPlaylist(const std::vector<std::string>& lines, std::vector<std::string>& out) {
    std::string listTitle;
    bool haveTitle = false;
    for (const std::string& line : lines) {
        const std::string lower = LowerAscii(line);
        const auto open = lower.find("<title>");
        if (open == std::string::npos) {
            continue;
        }
        const std::size_t textStart = open + 7;
        const auto close = lower.find("</title>");
        if (close != std::string::npos && close > textStart) {
            listTitle = line.substr(textStart, close - textStart);
            haveTitle = true;
        }
    }
    for (const std::string& line : lines) {
        std::string_view address;
        if (ContainsNoCase(line, "<ref")) {
            const auto first = line.find('"');
            const auto last = line.rfind('"');
            if (first == std::string::npos || last == first) {
                continue;
            }
            address = std::string_view(line).substr(first + 1, last - first - 1);
        } else if (line.size() >= 3 && LowerAscii(line.substr(0, 3)) == "ref") {
            if (line.find('=') == std::string::npos) {
                continue;
            }
            address = ValueAfterEquals(line, std::string_view::npos);
        }
        if (address.empty()) {
            continue;
        }
        if (EntryKind(address) == kKindStream) {
            out.push_back(StreamEntry(address, haveTitle ? std::string_view(listTitle) : address));
        } else {
            out.emplace_back(address);
        }
    }
}

void ParseB4sPlaylist(const std::vector<std::string>& lines, std::vector<std::string>& out) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!ContainsNoCase(line, "playstring")) {
            continue;
        }
        const auto first = line.find('"');
        const auto second = first == std::string::npos ? first : line.find('"', first + 1);
        if (second == std::string::npos || second == first + 1) {
            continue;
        }
        const std::string_view address =
            std::string_view(line).substr(first + 1, second - first - 1);
        std::string_view title = address;
        if (i + 1 < lines.size()) {
            const std::string_view next = lines[i + 1];
            const auto open = FindNoCase(next, "<name>");
            if (open != std::string::npos) {
                const std::size_t start = open + 6;
                const auto close = FindNoCase(next, "</name>", start);
                title = next.substr(
                    start, close == std::string::npos ? std::string_view::npos : close - start);
            }
        }
        if (EntryKind(address) == kKindStream) {
            out.push_back(StreamEntry(address, title));
        } else {
            out.emplace_back(address);
        }
    }
}

void ReadTextPlaylist(const PlaylistContext& ctx, const std::string& fileName) {
    PlaylistState& pl = ctx.playlist;
    const std::string folder = FolderOf(fileName);
    const ReadResult result =
        ForEachFileLine(fileName, std::string::npos, [&](std::string_view line) {
            pl.PlaylistEntries.push_back(ResolvePlaylistLine(line, folder));
        });
    if (result == ReadResult::Missing) {
        return;
    }
    if (result == ReadResult::Failed) {
        if (fileName == AutoPlaylistFile(ctx)) {
            pl.AutoPlaylistUnread = true;
        }
        ctx.dialogs.ShowNotice(NoticeKind::Error, "Error 12\r\rPlease report this error.");
    }
    RefreshListView(ctx, false, false);
    pl.CurrentFolder.clear();
    if (pl.PlayingIndex >= 0 &&
        static_cast<std::size_t>(pl.PlayingIndex) < pl.PlaylistEntries.size()) {
        SelectOnly(ctx.view, pl.PlayingIndex);
        ShowPlayingEntry(ctx);
    }
}

void ReadM3uPlaylist(const PlaylistContext& ctx, const std::string& fileName) {
    std::vector<std::string> entries;
    ParseM3uPlaylist(ReadPlaylistLines(fileName), FolderOf(fileName), entries);
    AppendEntries(ctx, std::move(entries));
}

void ReadPlsPlaylist(const PlaylistContext& ctx, const std::string& fileName) {
    std::vector<std::string> entries;
    ParsePlsPlaylist(ReadPlaylistLines(fileName), FolderOf(fileName), entries);
    AppendEntries(ctx, std::move(entries));
}

void ReadAsxPlaylist(const PlaylistContext& ctx, const std::string& fileName) {
    std::vector<std::string> entries;
    ParseAsxPlaylist(ReadPlaylistLines(fileName), entries);
    AppendEntries(ctx, std::move(entries));
}

void ReadB4sPlaylist(const PlaylistContext& ctx, const std::string& fileName) {
    std::vector<std::string> entries;
    ParseB4sPlaylist(ReadPlaylistLines(fileName), entries);
    AppendEntries(ctx, std::move(entries));
}

std::string FormatPlaylist(const std::vector<std::string>& entries, std::string_view folder,
                           int form) {
    const std::string prefix = FolderWithSlash(folder);
    std::string text;
    // One allocation for a long list, not a copy at every doubling.
    std::size_t size = 0;
    for (const std::string& entry : entries) {
        size += entry.size() + 2;
    }
    text.reserve(size);
    if (form == kFormPls) {
        text +=
            "[playlist]\r\nVersion=2\r\nNumberOfEntries=" + std::to_string(entries.size()) + "\r\n";
    }
    std::size_t number = 0;
    for (const std::string& entry : entries) {
        ++number;
        std::string_view item = form == kFormText ? std::string_view(entry) : EntryAddress(entry);
        const std::string_view full = item;
        // Only a leading folder goes, and only when the rest reads back as the
        // same entry: elsewhere in a path it is part of a different folder.
        if (!prefix.empty() && item.size() > prefix.size() && item.starts_with(prefix) &&
            ResolvePlaylistLine(item.substr(prefix.size()), folder) == full) {
            item.remove_prefix(prefix.size());
        }
        if (form == kFormPls) {
            text += "File" + std::to_string(number) + "=";
        }
        const std::size_t start = text.size();
        text += item;
        // A line break inside an entry would make two entries of it.
        for (std::size_t i = start; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                text[i] = ' ';
            }
        }
        text += "\r\n";
    }
    // Readers drop a byte order mark at the start, and read the text as UTF-16
    // after a UTF-16 one; a first entry that starts like one needs a UTF-8 mark
    // in front of it.
    if (text.starts_with(kByteOrderMark) || text.starts_with("\xFF\xFE") ||
        text.starts_with("\xFE\xFF")) {
        text.insert(0, kByteOrderMark);
    }
    return text;
}

bool WritePlaylist(const PlaylistContext& ctx, const std::string& fileName, int form) {
    if (form < kFormText || form > kFormM3u || IsReadOnlyFile(fileName)) {
        return false;
    }
    return WriteFileAtomically(
        fileName, FormatPlaylist(ctx.playlist.PlaylistEntries, FolderOf(fileName), form));
}

void LoadPlaylistPath(const PlaylistContext& ctx, const std::string& path, int mode) {
    PlaylistState& pl = ctx.playlist;
    const int kind = EntryKind(path);
    if (kind == kKindUnknown) {
        return;
    }
    const bool fromShell = mode == kLoadShellAtStart || mode == kLoadShellWhileRunning;
    const int enqueue = fromShell ? ctx.settings.ReadEnqueueOption() : 2;
    if (mode == kLoadShellAtStart && enqueue == 1) {
        ReadTextPlaylist(ctx, AutoPlaylistFile(ctx));
    }
    if (mode == kLoadReplace || (fromShell && (enqueue == 0 || enqueue == 2))) {
        pl.PlaylistEntries.clear();
        RefreshListView(ctx, false, false);
    }
    if (kind <= kKindFlac) {
        if (!fromShell) {
            pl.PlaylistEntries.push_back(path);
            RefreshListView(ctx, true, true);
            return;
        }
        const bool addOnly = mode == kLoadShellWhileRunning && enqueue == 1;
        // A stream has no folder to open.
        if (enqueue == 2 && kind != kKindStream) {
            if (mode == kLoadShellWhileRunning && ctx.playback != nullptr) {
                ctx.playback->StopPlayback(false);
            }
            const std::string folder = FolderOf(path);
            ScanFolder(ctx, folder, true, false, false);
            pl.CurrentFolder = FolderWithSlash(folder);
            RefreshListView(ctx, false, false);
        }
        const int found = FindEntry(pl, path);
        if (found < 0) {
            pl.PlaylistEntries.push_back(path);
            if (!addOnly) {
                pl.PlayingIndex = static_cast<int>(pl.PlaylistEntries.size()) - 1;
            }
            RefreshListView(ctx, true, false);
        } else if (!addOnly) {
            pl.PlayingIndex = found;
        }
        if (mode == kLoadShellWhileRunning) {
            if (!addOnly && ctx.playback != nullptr) {
                ctx.playback->PlayEntry(pl.PlayingIndex);
            }
            RefreshListView(ctx, true, false);
            SelectOnly(ctx.view, pl.PlayingIndex);
            ShowPlayingEntry(ctx);
        }
        return;
    }
    if (fromShell) {
        pl.PlayingIndex = static_cast<int>(pl.PlaylistEntries.size());
    }
    switch (kind) {
        case kKindTextPlaylist:
            ReadTextPlaylist(ctx, path);
            break;
        case kKindM3u:
            ReadM3uPlaylist(ctx, path);
            break;
        case kKindPls:
            ReadPlsPlaylist(ctx, path);
            break;
        case kKindAsx:
            ReadAsxPlaylist(ctx, path);
            break;
        default:
            ReadB4sPlaylist(ctx, path);
            break;
    }
    const bool playable = pl.PlayingIndex >= 0 &&
                          static_cast<std::size_t>(pl.PlayingIndex) < pl.PlaylistEntries.size();
    if (playable && mode == kLoadShellWhileRunning && ctx.playback != nullptr) {
        ctx.playback->PlayEntry(pl.PlayingIndex);
    }
    // The row count must follow the entries even when nothing is to be played.
    RefreshListView(ctx, true, true);
}

void LoadPlayListAc(const PlaylistContext& ctx) {
    const std::string folder = ctx.settings.ReadString("General", "PlaylistFolder", "");
    const auto file = ctx.dialogs.PickOpenFile(
        "Open playlist", folder,
        "Playlist (*.txt, *.m3u, *.pls)|*.txt;*.m3u;*.pls;|All files (*.*)|*.*");
    if (!file) {
        return;
    }
    ctx.playlist.PlayingIndex = -1;
    LoadPlaylistPath(ctx, *file, kLoadReplace);
    const std::string chosenFolder = FolderOf(*file);
    if (!chosenFolder.empty()) {
        ctx.settings.WriteString("General", "PlaylistFolder", chosenFolder);
    }
}

void SavePlaylistAc(const PlaylistContext& ctx) {
    const std::string& current = ctx.playlist.CurrentFolder;
    const std::string folder =
        !current.empty() ? current : ctx.settings.ReadString("General", "PlaylistFolder", "");
    auto file = ctx.dialogs.PickSaveFile(
        "Save playlist", folder,
        "Mirvo playlist (*.txt)|*.txt|M3U playlist (*.m3u)|*.m3u|PLS playlist (*.pls)|*.pls|"
        "All files (*.*)|*.*");
    if (!file || file->empty()) {
        return;
    }
    // The dialog's default extension: a name without one is a text playlist.
    if (ExtensionOf(*file).empty() && file->back() != '/') {
        *file += ".txt";
    }
    // Saving leaves what plays, and what plays next, alone.
    const std::string ext = LowerAscii(ExtensionOf(*file));
    const int form = ext == ".txt"   ? kFormText
                     : ext == ".pls" ? kFormPls
                     : ext == ".m3u" ? kFormM3u
                                     : -1;
    if (form < 0) {
        ctx.dialogs.ShowNotice(
            NoticeKind::Warning,
            "Playlists are saved as .txt (Mirvo), .m3u or .pls files. Nothing was saved.\r\r" +
                *file);
        return;
    }
    if (!WritePlaylist(ctx, *file, form)) {
        ctx.dialogs.ShowNotice(NoticeKind::Error, "The playlist could not be saved.\r\r" + *file);
    }
}

}  // namespace mirvo
