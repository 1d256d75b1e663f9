#include "tools/FileProperties.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "audio/Audio.h"
#include "playback/Engine.h"
#include "playback/Format.h"
#include "playback/TimeText.h"
#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "support/FastStrings.h"
#include "support/Files.h"
#include "support/Text.h"
#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tags/TagLibFile.h"
#include "tools/FilenameRenamer.h"

namespace mirvo {
namespace {

bool IsStationEntry(std::string_view entry) {
    return EntryKind(entry) == kKindStream;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view by) {
    int count = 0;
    return FastStrings::ReplaceAllText(text, find, by, count, true);
}

// One line of a tag block.
std::string Line(std::string_view label, std::string_view value) {
    std::string line(label);
    line += value;
    return line + "\r\n";
}

// The six lines every tag block starts with.
std::string OpeningLines(std::string_view title, std::string_view artist, std::string_view album,
                         std::string_view yearLabel, std::string_view year, std::string_view track,
                         std::string_view genre) {
    return Line("Title: \t\t", title) + Line("Artist: \t\t", artist) + Line("Album: \t\t", album) +
           Line(yearLabel, year) + Line("Track: \t\t", track) + Line("Genre: \t\t", genre);
}

std::string Mp3Tags(const std::string& fileName) {
    std::string r;
    TID3v2 v2;
    v2.ReadFromFile(fileName);
    if (v2.Exists()) {
        r += "ID3v2." + std::to_string(v2.VersionID()) + " Tags:\r\n" +
             OpeningLines(v2.Title(), v2.Artist(), v2.Album(), "Year: \t\t", v2.Year(),
                          v2.TrackString(), v2.Genre()) +
             Line("Composer: \t", v2.Composer()) + Line("Encoder: \t\t", v2.Encoder()) +
             Line("UFID: \t\t", v2.UFID()) + Line("Comment: \t", v2.Comment());
    }
    TID3v1 v1;
    v1.ReadFromFile(fileName);
    if (v1.Exists()) {
        // VersionID counts 1 for ID3v1.0 and 2 for ID3v1.1.
        r += "\r\nID3v1." + std::to_string(v1.VersionID() - 1) + " Tags:\r\n" +
             OpeningLines(v1.Title(), v1.Artist(), v1.Album(), "Year: \t\t", v1.Year(),
                          v1.TrackText(), v1.Genre()) +
             Line("Comment:\t", v1.Comment()) + "Lyrics:\t" + v1.Lyrics();
    }
    // The UFID owner and identifier are kept apart by a zero byte.
    return ReplaceAll(r, std::string_view("\0", 1), " ");
}

std::string FlacTags(const std::string& fileName) {
    TFLACfile flac;
    flac.ReadFromFile(fileName);
    if (!flac.Exists()) {
        return {};
    }
    return OpeningLines(flac.Title(), flac.Artist(), flac.Album(), "Year: \t\t", flac.Year(),
                        flac.TrackString(), flac.Genre()) +
           Line("Composer: \t", flac.Composer()) + Line("Encoder: \t\t", flac.Encoder()) +
           Line("MBID: \t\t", flac.MusicBrainzTrackID()) + Line("Comments: \t", flac.Comment()) +
           "Lyrics: \t\t" + flac.Lyrics();
}

std::string OggTags(const std::string& fileName) {
    TOggVorbis ogg;
    ogg.ReadFromFile(fileName);
    if (!ogg.IsValid()) {
        return {};
    }
    return OpeningLines(ogg.Title(), ogg.Artist(), ogg.Album(), "Date: \t\t", ogg.Date(),
                        ogg.TrackString(), ogg.Genre()) +
           Line("Encoder: \t\t", ogg.EncoderVersion()) +
           Line("MBID: \t\t", ogg.MusicBrainzTrackID()) + Line("Vendor: \t\t", ogg.Vendor()) +
           Line("Comments: \t", ogg.Comment());
}

// MP4 atoms, Opus comments, APEv2.
std::string TagLibTags(const std::string& fileName) {
    TTagLibFile tags;
    if (!tags.ReadFromFile(fileName) || !tags.Exists()) {
        return {};
    }
    const bool opus = TTagLibFile::ContainerOf(fileName) == TTagLibFile::Container::Opus;
    return OpeningLines(tags.Title(), tags.Artist(), tags.Album(),
                        opus ? "Date: \t\t" : "Year: \t\t", tags.Year(), tags.TrackString(),
                        tags.Genre()) +
           Line("Comment: \t", tags.Comment());
}

// Format line and length line; the decode stream needs no device.
std::string FormatAndLength(const std::string& fileName) {
    const audio::Handle stream =
        AudioFileType(fileName) == 3
            ? audio::FlacStreamCreateFile(false, fileName.c_str(), 0, 0, audio::kStreamDecode)
            : audio::StreamCreateFile(false, fileName.c_str(), 0, 0, audio::kStreamDecode);
    std::string r = "\r\nFormat: \t\t" + FormatDescription(fileName, stream);
    std::string length = "?";  // what the library cannot decode has no length
    if (stream != 0) {
        const std::uint64_t bytes = audio::StreamGetLength(stream);
        if (bytes != audio::kPositionError) {
            const double seconds = audio::ChannelBytes2Seconds(stream, bytes);
            length = FormatMsMillis(static_cast<std::int64_t>(std::llround(seconds * 1000)));
        }
        audio::StreamFree(stream);
    }
    return r + "\r\nLength: \t\t" + length;
}

bool IsPlayingRow(const PlaylistState& pl, int index) {
    return index == pl.PlayingIndex &&
           pl.PlayingEntry == pl.PlaylistEntries[static_cast<std::size_t>(index)];
}

}  // namespace

PropertiesTarget ChoosePropertiesTarget(const PlaylistContext& ctx) {
    const PlaylistState& pl = ctx.playlist;
    if (pl.PlaylistEntries.empty()) {
        return PropertiesTarget::Nothing;
    }
    const int count = static_cast<int>(pl.PlaylistEntries.size());
    std::vector<int> rows = ctx.view.ListSelectedRows();
    std::erase_if(rows, [count](int row) { return row < 0 || row >= count; });
    if (rows.size() >= 2) {
        for (const int row : rows) {
            if (IsStationEntry(pl.PlaylistEntries[static_cast<std::size_t>(row)])) {
                ctx.dialogs.ShowNotice(NoticeKind::Information,
                                       "Your properties request is invalid.\rPlease select "
                                       "only music items or a single url item.");
                return PropertiesTarget::Nothing;
            }
        }
        return PropertiesTarget::Renamer;
    }
    const int row = ctx.view.ListFocusedRow();
    if (row < 0 || row >= count) {
        return PropertiesTarget::Nothing;
    }
    const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(row)];
    if (IsStationEntry(entry)) {
        return PropertiesTarget::Station;
    }
    if (IsFile(entry)) {
        return PropertiesTarget::File;
    }
    ctx.dialogs.ShowNotice(NoticeKind::Warning, "File not found.\r\r" + entry);
    return PropertiesTarget::Nothing;
}

std::string TagReport(const std::string& fileName) {
    switch (AudioFileType(fileName)) {
        case 0:
            return Mp3Tags(fileName);
        case 2:
            return OggTags(fileName);
        case 3:
            return FlacTags(fileName);
        case 4:
        case 5:
        case 6:
        case 7:
            return TagLibTags(fileName);
        default:
            return {};
    }
}

FileReport BuildFileReport(const std::string& fileName, std::string_view thousandsSeparator) {
    FileReport report;
    report.Text = FolderPart(fileName);
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        report.Error = "Cannot open file \"" + fileName + "\".\r" + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return report;
    }
    ::close(fd);
    report.Text += "\r\n\r\nSize: \t\t" +
                   GroupThousands(static_cast<std::uint64_t>(st.st_size), thousandsSeparator) +
                   " bytes";
    report.Text += FormatAndLength(fileName);
    report.Text += "\r\n\r\n" + TagReport(fileName);
    return report;
}

std::string CleanUpFileName(std::string_view name) {
    std::string text = ReplaceAll(ReplaceAll(name, "_", " "), "%20", " ");
    for (int pass = 0; pass < 3; ++pass) {
        text = ReplaceAll(text, "  ", " ");
    }
    return text;
}

RenameOutcome RenameEntryFile(const PlaylistContext& ctx, Engine& engine, int index,
                              const std::string& newName) {
    PlaylistState& pl = ctx.playlist;
    if (index < 0 || index >= static_cast<int>(pl.PlaylistEntries.size())) {
        return RenameOutcome::Unchanged;
    }
    const std::string oldPath = pl.PlaylistEntries[static_cast<std::size_t>(index)];
    const std::string newPath = FolderPart(oldPath) + newName;
    if (newPath == oldPath) {
        return RenameOutcome::Unchanged;
    }
    if (!newName.empty() && !IsPlainFileName(newName)) {
        ctx.dialogs.ShowNotice(NoticeKind::Warning,
                               ImpossibleNameText(FileNamePart(oldPath), newName));
        return RenameOutcome::ImpossibleName;
    }
    // Asked before playback stops, so a name without extension leaves it playing.
    if (ExtensionOf(newPath).empty()) {
        ctx.dialogs.ShowNotice(NoticeKind::Information,
                               "Please end your new filename with an extention (ie "
                               "\".mp3\" or \".wav\")");
        return RenameOutcome::NoExtension;
    }
    const bool playing = IsPlayingRow(pl, index);
    const bool audible = playing && engine.OutputState() != audio::kActiveStopped;
    const bool paused = audible && engine.IsPaused();
    const std::int64_t positionMs = audible ? engine.BytesToMs(engine.CurrentPositionBytes()) : 0;
    if (audible) {
        engine.StopPlayback(false);
    }
    const bool renamed = RenameNoReplace(oldPath, newPath);
    if (renamed) {
        pl.PlaylistEntries[static_cast<std::size_t>(index)] = newPath;
        if (playing) {
            pl.PlayingEntry = newPath;
        }
    } else {
        ctx.dialogs.ShowNotice(NoticeKind::Information, "Can't rename file.");
    }
    if (audible) {
        engine.PlayEntry(index);
        engine.SeekToMs(positionMs, false);
        if (paused) {
            engine.Pause();
        }
    }
    RefreshListView(ctx, true, false);
    return renamed ? RenameOutcome::Renamed : RenameOutcome::Failed;
}

}  // namespace mirvo
