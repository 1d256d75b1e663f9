#include "playlist/Entries.h"

#include <algorithm>
#include <array>

#include "player/PlaylistContext.h"
#include "support/FastStrings.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::size_t kMaxTitleLength = 1000;

// Cuts at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

std::string ReplaceNoCase(std::string_view text, std::string_view find, std::string_view by) {
    if (find.empty()) {
        return std::string(text);
    }
    int counter = 0;
    return FastStrings::ReplaceAllText(text, find, by, counter, false);
}

std::string ReplaceExact(std::string_view text, std::string_view find, std::string_view by) {
    int counter = 0;
    return FastStrings::ReplaceAllText(text, find, by, counter, true);
}

}  // namespace

std::string_view EntryAddress(std::string_view entry) {
    const auto bar = entry.find('|');
    return bar == std::string_view::npos ? entry : entry.substr(0, bar);
}

std::string_view EntryTitle(std::string_view entry) {
    const auto bar = entry.find('|');
    return bar == std::string_view::npos ? entry : CutUtf8(entry.substr(bar + 1), kMaxTitleLength);
}

bool IsStreamAddress(std::string_view address) {
    return address.size() > 6 && address.find("://") != std::string_view::npos;
}

std::string_view FileNamePart(std::string_view path) {
    const bool native = !path.empty() && path.front() == '/';
    const auto cut = path.find_last_of(native ? std::string_view("/") : std::string_view("/\\:"));
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view ExtensionOf(std::string_view path) {
    const std::string_view name = FileNamePart(path);
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

int EntryKind(std::string_view text) {
    const std::string_view address = EntryAddress(text);
    if (IsStreamAddress(address)) {
        return kKindStream;
    }
    const std::string_view ext = ExtensionOf(address);
    if (ext.size() < 3 || ext.size() > 5) {
        return kKindUnknown;
    }
    static constexpr std::array<std::pair<std::string_view, int>, 22> kKinds{{
        {".mp3", kKindAudio},  {".opus", kKindAudio}, {".m4a", kKindAudio},
        {".mp4", kKindAudio},  {".wv", kKindAudio},   {".ape", kKindAudio},
        {".wav", kKindAudio},  {".ogg", kKindAudio},  {".mp2", kKindAudio},
        {".mp1", kKindAudio},  {".xm", kKindModule},  {".mod", kKindModule},
        {".s3m", kKindModule}, {".it", kKindModule},  {".mtm", kKindModule},
        {".mo3", kKindModule}, {".flac", kKindFlac},  {".txt", kKindTextPlaylist},
        {".m3u", kKindM3u},    {".pls", kKindPls},    {".asx", kKindAsx},
        {".b4s", kKindB4s},
    }};
    char lower[5];
    for (std::size_t i = 0; i < ext.size(); ++i) {
        lower[i] = static_cast<char>(LowerAscii(static_cast<unsigned char>(ext[i])));
    }
    const std::string_view key(lower, ext.size());
    for (const auto& [extension, kind] : kKinds) {
        if (extension == key) {
            return kind;
        }
    }
    return kKindUnknown;
}

int AudioFileType(std::string_view fileName) {
    // The extension is the text from the last "." of the whole name.
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return -1;
    }
    const std::string ext = LowerAscii(fileName.substr(dot));
    if (ext == ".mp3") {
        return 0;
    }
    if (ext == ".wav") {
        return 1;
    }
    if (ext == ".ogg") {
        return 2;
    }
    if (ext == ".flac") {
        return 3;
    }
    if (ext == ".opus") {
        return 4;
    }
    if (ext == ".m4a" || ext == ".mp4") {
        return 5;
    }
    if (ext == ".wv") {
        return 6;
    }
    if (ext == ".ape") {
        return 7;
    }
    return -1;
}

std::string DisplayText(const PlaylistState& playlist, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= playlist.PlaylistEntries.size()) {
        return {};
    }
    const std::string& entry = playlist.PlaylistEntries[static_cast<std::size_t>(index)];
    if (EntryKind(entry) == kKindStream) {
        return std::string(EntryTitle(entry));
    }
    switch (playlist.ViewFormat) {
        case 1:
            return entry;
        case 2:
            return RelativeText(playlist, entry);
        default:
            return std::string(FileNamePart(entry));
    }
}

std::string RelativeText(const PlaylistState& playlist, std::string_view path) {
    std::string text(path);
    for (const std::string& folder : playlist.MusicFolders) {
        text = ReplaceNoCase(text, folder, "");
    }
    if (text.size() < 4) {
        return text;
    }
    if (text[1] == ':') {
        text.erase(0, 3);
    } else if (text.front() == '/') {
        // The root plays the part of the drive.
        text.erase(0, 1);
    }
    text = ReplaceExact(text, "\\\\", "");
    text = ReplaceExact(text, "//", "");
    text = ReplaceExact(text, "\\", "/");
    text = ReplaceExact(text, "/", playlist.RelativeDelimiter);
    const std::string ext(ExtensionOf(text));
    return ReplaceNoCase(text, ext, "");
}

std::string CleanTitle(std::string_view text) {
    return ReplaceExact(ReplaceNoCase(text, "%20", " "), "[1]", "");
}

void SetCaptionTitle(const PlaylistContext& ctx, std::string_view name,
                     std::string_view description) {
    std::string title = CleanTitle(name);
    std::replace(title.begin(), title.end(), '_', ' ');
    const std::string caption = title + " - Mirvo";
    MainView& view = ctx.view;
    if (view.Caption() != caption) {
        view.SetCaption(caption);
        if (ctx.playback != nullptr) {
            view.SetStatusText(3, ctx.playback->FormatDescription(std::string(description)));
        }
    }
    if (ctx.shell != nullptr) {
        ctx.shell->SetTrayHint(std::string(description));
    }
}

}  // namespace mirvo
