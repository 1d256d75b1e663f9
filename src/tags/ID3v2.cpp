#include "tags/ID3v2.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "tags/ID3v1.h"
#include "tags/TagFile.h"
#include "tags/TagNumbers.h"
#include "tags/TagText.h"

namespace mirvo {

using namespace tagtext;
using namespace tagnumbers;

namespace {

constexpr std::size_t kFrameCap = 500;  // bytes kept per frame; the rest is skipped
constexpr std::size_t kSlotCount = 22;
constexpr std::size_t kFirstGainSlot = 18;

// Frame ids per slot: versions 3 and 4, then version 2. Slots 18 to 21 take
// only the replay gain values found in TXXX frames.
constexpr std::array<std::array<std::string_view, 2>, kFirstGainSlot> kSlotIds = {{
    {"TIT2", "TT2"},
    {"TPE1", "TP1"},
    {"TALB", "TAL"},
    {"TRCK", "TRK"},
    {"TYER", "TYE"},
    {"TCON", "TCO"},
    {"COMM", "COM"},
    {"TCOM", "TCM"},
    {"TENC", "TEN"},
    {"TCOP", "TCR"},
    {"TLAN", "TLA"},
    {"WXXX", "WXX"},
    {"TDRC", "TOR"},
    {"TOPE", "TOA"},
    {"TIT1", "TT1"},
    {"TOAL", "TOT"},
    {"TSIZ", "TSI"},
    {"UFID", "UFI"},
}};

constexpr std::array<std::string_view, 4> kGainKeys = {
    "replaygain_album_gain", "replaygain_album_peak", "replaygain_track_gain",
    "replaygain_track_peak"};

enum Slot : std::size_t {
    kTitle,
    kArtist,
    kAlbum,
    kTrack,
    kYear,
    kGenre,
    kComment,
    kComposer,
    kEncoder,
    kCopyright,
    kLanguage,
    kLink,
    kRecordingTime,
    kOriginalArtist,
    kContentGroup,
    kOriginalAlbum,
    kSize,
    kUfid,
    kAlbumGain,
    kAlbumPeak,
    kTrackGain,
    kTrackPeak
};

bool IsUtf16(char encoding) {
    return encoding == 1 || encoding == 2;
}

// Calls `each` with every value of a raw text value, which starts with its
// encoding byte: 0 ISO-8859-1, 1 UTF-16 with a byte-order mark, 2 UTF-16
// big-endian, 3 UTF-8. Version 2.4 separates several values with the
// encoding's terminator; each comes trimmed, empty ones not at all.
template <typename Each>
void ForEachValue(std::string_view raw, Each each) {
    const auto offer = [&](std::string text) {
        if (!text.empty()) {
            each(std::move(text));
        }
    };
    if (raw.empty()) {
        return;
    }
    // The frame's data comes padded with zeros up to the kept length.
    if (IsUtf16(raw[0])) {
        auto order = raw[0] == 1 ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
        std::string_view units = raw.substr(1, (raw.size() - 1) & ~std::size_t{1});
        while (units.size() >= 2 && units[units.size() - 1] == 0 && units[units.size() - 2] == 0) {
            units.remove_suffix(2);
        }
        std::size_t start = 0;
        for (std::size_t i = 0; i <= units.size(); i += 2) {
            const bool end = i == units.size();
            if (!end && (units[i] != 0 || units[i + 1] != 0)) {
                continue;
            }
            const std::string_view value = units.substr(start, i - start);
            // A value without a byte-order mark follows the one before it.
            if (value.starts_with("\xFF\xFE")) {
                order = ByteOrder::LittleEndian;
            } else if (value.starts_with("\xFE\xFF")) {
                order = ByteOrder::BigEndian;
            }
            offer(std::string(TrimControls(Utf16ToUtf8(value, order))));
            start = i + 2;
        }
        return;
    }
    const bool utf8 = raw[0] == 3;
    std::string_view rest = raw[0] == 0 || utf8 ? raw.substr(1) : raw;
    rest = rest.substr(0, rest.find_last_not_of('\0') + 1);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        const std::string_view value = TrimControls(rest.substr(0, end));
        offer(utf8 ? std::string(Utf8ValidPrefix(value)) : Latin1ToUtf8(value));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
}

// The values joined with " / ", as other players show them.
template <typename Map>
std::string JoinValues(std::string_view raw, Map map) {
    std::string joined;
    ForEachValue(raw, [&](std::string value) {
        value = map(std::move(value));
        if (!value.empty()) {
            joined += joined.empty() ? "" : " / ";
            joined += value;
        }
    });
    return joined;
}

std::string Decode(std::string_view raw) {
    return JoinValues(raw, [](std::string value) { return value; });
}

// "(17)", "17", "(17)Rock", "(RX)" and "((text" as stored by taggers: the text
// after the numbers if any, else the names of the numbers.
std::string GenreText(std::string value) {
    const auto name = [](std::string_view code) -> std::string {
        if (code == "RX") {
            return "Remix";
        }
        if (code == "CR") {
            return "Cover";
        }
        const auto number = ParseDecimal(code, 255);
        if (!number) {
            return "";
        }
        return *number < GenreNames.size() ? std::string(GenreNames[*number]) : std::string(code);
    };
    if (value.starts_with("((")) {
        return value.substr(1);
    }
    std::string names;
    std::size_t at = 0;
    while (at < value.size() && value[at] == '(') {
        const std::size_t close = value.find(')', at);
        const std::string code = close == std::string::npos
                                     ? ""
                                     : name(std::string_view(value).substr(at + 1, close - at - 1));
        if (code.empty()) {
            break;
        }
        names += names.empty() ? "" : " / ";
        names += code;
        at = close + 1;
    }
    if (at > 0) {
        return at < value.size() ? value.substr(at) : names;
    }
    const std::string plain = name(value);
    return plain.empty() ? value : plain;
}

// What follows the description of a COMM or WXXX value, whose first `skip`
// bytes are the encoding byte and, for comments, the language; the
// description itself goes to `description` when asked for.
std::string_view AfterDescription(std::string_view raw, std::size_t skip,
                                  std::string_view* description = nullptr) {
    std::string_view rest = raw.substr(std::min(skip, raw.size()));
    std::size_t end = std::string_view::npos;
    std::size_t terminator = 1;
    if (!IsUtf16(raw[0])) {
        end = rest.find('\0');
    } else {
        // UTF-16 terminators sit on unit boundaries; a match across two units
        // would shift the text by one byte.
        terminator = 2;
        for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
            if (rest[i] == 0 && rest[i + 1] == 0) {
                end = i;
                break;
            }
        }
    }
    if (end == std::string_view::npos) {
        return "";
    }
    if (description != nullptr) {
        *description = rest.substr(0, end);
    }
    return rest.substr(end + terminator);
}

std::string DecodeComment(std::string_view raw) {
    if (raw.empty()) {
        return "";
    }
    return Decode(std::string(1, raw[0]).append(AfterDescription(raw, 4)));
}

// How much a COMM frame is the comment people wrote: one without a
// description most; a player's machine data ("iTunNORM", "iTunSMPB", ...) not
// at all (-1).
int CommentRank(std::string_view raw) {
    std::string_view description;
    AfterDescription(raw, 4, &description);
    const std::string text = Decode(std::string(1, raw[0]).append(description));
    return text.empty() ? 1 : text.starts_with("iTun") ? -1 : 0;
}

// The address of a WXXX frame is ISO-8859-1 whatever the description's encoding.
std::string DecodeLink(std::string_view raw) {
    if (raw.empty()) {
        return "";
    }
    return Latin1ToUtf8(TrimControls(AfterDescription(raw, 1)));
}

// Undoes unsynchronisation: FF 00 back to FF.
void Resynchronise(std::string& data) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < data.size(); ++in) {
        if (!(in > 0 && data[in] == 0 && data[in - 1] == '\xFF')) {
            data[out++] = data[in];
        }
    }
    data.resize(out);
}

// The tag's bytes after its header as the frames see them. Versions 2.2 and
// 2.3 unsynchronise the whole tag when the header says so: every FF 00 then
// stands for FF, and frame sizes count the bytes without the added zeros.
// Such a tag is read forward, so reads must not go back.
class TagBytes {
  public:
    TagBytes(TagFile& file, std::int64_t end, bool unsynchronised)
        : file_(file), end_(end), unsynchronised_(unsynchronised) {}

    // Up to `count` bytes from `offset`; fewer at the end of the tag.
    std::size_t Read(std::int64_t offset, std::uint8_t* out, std::size_t count) {
        if (!unsynchronised_) {
            const auto left = std::max<std::int64_t>(0, end_ - offset);
            return file_.ReadAt(offset, out,
                                static_cast<std::size_t>(std::min<std::int64_t>(left, count)));
        }
        if (offset < position_) {
            return 0;
        }
        std::size_t done = 0;
        while (done < count && Next()) {
            if (position_ > offset) {
                out[done++] = byte_;
            }
        }
        return done;
    }

  private:
    // Moves to the next byte as the frames see it.
    bool Next() {
        for (;;) {
            if (chunkAt_ == chunkLength_) {
                raw_ += static_cast<std::int64_t>(chunkLength_);
                const auto left = std::max<std::int64_t>(0, end_ - raw_);
                chunkLength_ = file_.ReadAt(
                    raw_, chunk_.data(),
                    static_cast<std::size_t>(std::min<std::int64_t>(left, chunk_.size())));
                chunkAt_ = 0;
                if (chunkLength_ == 0) {
                    return false;
                }
            }
            const std::uint8_t byte = chunk_[chunkAt_++];
            const bool stuffed = afterFF_ && byte == 0;
            afterFF_ = byte == 0xFF;
            if (!stuffed) {
                byte_ = byte;
                ++position_;
                return true;
            }
        }
    }

    TagFile& file_;
    std::int64_t end_;
    bool unsynchronised_;
    std::array<std::uint8_t, 4096> chunk_{};
    std::size_t chunkAt_ = 0;
    std::size_t chunkLength_ = 0;
    std::int64_t raw_ = 10;       // where the chunk starts in the file
    std::int64_t position_ = 10;  // of the byte after byte_
    std::uint8_t byte_ = 0;
    bool afterFF_ = false;
};

// Four characters A-Z and 0-9, the first a letter.
bool IsFrameId(const std::uint8_t* id) {
    return id[0] >= 'A' && id[0] <= 'Z' && std::all_of(id, id + 4, [](std::uint8_t c) {
               return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

// Whether a version 2.4 frame, the padding or the tag's end comes at `offset`:
// a frame has a valid id, flags and a size, read either way, that fits.
bool FrameMayFollowAt(TagBytes& bytes, std::int64_t offset, std::int64_t end) {
    if (offset >= end) {
        return offset == end;
    }
    // Padding runs to the end; a short run of zeros may be anything's data.
    std::uint8_t next[32];
    const auto got = bytes.Read(offset, next,
                                static_cast<std::size_t>(std::min<std::int64_t>(32, end - offset)));
    if (got > 0 && std::all_of(next, next + got, [](std::uint8_t b) { return b == 0; })) {
        return true;
    }
    if (got < 10 || !IsFrameId(next) || (next[8] & 0x8F) != 0 || (next[9] & 0xB0) != 0) {
        return false;
    }
    const std::int64_t room = end - offset - 10;
    return SyncSafe(next + 4) <= room || BigEndian(next + 4, 4) <= room;
}

}  // namespace

std::int64_t TID3v2::TagSize(const std::uint8_t* header, std::int64_t fileSize) {
    if (std::memcmp(header, "ID3", 3) != 0) {
        return 0;
    }
    std::int64_t size = SyncSafe(header + 6) + ((header[5] & 0x10) ? 20 : 10);
    return size > fileSize ? 0 : size;
}

void TID3v2::ResetData() {
    exists_ = false;
    versionID_ = 0;
    size_ = 0;
    track_ = 0;
    for (std::string* text : {&title_, &artist_, &album_, &trackString_, &year_, &genre_, &comment_,
                              &composer_, &encoder_, &copyright_, &language_, &link_, &sizeText_,
                              &ufid_, &albumGain_, &albumPeak_, &trackGain_, &trackPeak_}) {
        text->clear();
    }
}

bool TID3v2::ReadFromFile(const std::string& fileName) {
    TagFile file;
    if (!file.Open(fileName)) {
        ResetData();
        return false;
    }
    return Read(file);
}

bool TID3v2::ReadFromBuffer(std::span<const std::uint8_t> data) {
    TagFile file(data);
    return Read(file);
}

bool TID3v2::Read(TagFile& file) {
    ResetData();
    std::uint8_t header[10];
    if (!file.ReadExact(0, header, sizeof header)) {
        return false;
    }
    if (std::memcmp(header, "ID3", 3) != 0) {
        return true;
    }
    exists_ = true;
    versionID_ = header[3];
    size_ = TagSize(header, file.Size());
    if (versionID_ < 2 || versionID_ > 4 || size_ == 0) {
        return true;
    }

    const bool v2 = versionID_ == 2;
    const bool v4 = versionID_ == 4;
    const bool footer = (header[5] & 0x10) != 0;
    const std::int64_t framesEnd = size_ - (footer ? 10 : 0);
    TagBytes bytes(file, framesEnd, !v4 && (header[5] & 0x80));
    std::int64_t pos = 10;
    // An extended header would otherwise end the walk before the first frame;
    // some taggers set its flag without writing one.
    std::uint8_t extended[4];
    if (!v2 && (header[5] & 0x40) && bytes.Read(pos, extended, 4) == 4 && !IsFrameId(extended)) {
        pos += v4 ? SyncSafe(extended) : 4 + static_cast<std::int64_t>(BigEndian(extended, 4));
    }

    const std::size_t headerSize = v2 ? 6 : 10;
    const std::size_t idLength = v2 ? 3 : 4;
    // Compressed or encrypted frame data is no text.
    const std::uint8_t skipFlags = v4 ? 0x8C : 0xC0;
    std::array<std::string, kSlotCount> slots;
    int commentRank = -1;
    std::string raw(kFrameCap, '\0');
    std::string data;
    while (pos < framesEnd) {
        std::uint8_t frame[10];
        if (bytes.Read(pos, frame, headerSize) != headerSize || frame[0] < 'A' || frame[0] > 'Z') {
            break;
        }
        std::string_view id(reinterpret_cast<const char*>(frame), idLength);
        std::int64_t dataSize = v2 ? BigEndian(frame + 3, 3) : BigEndian(frame + 4, 4);
        std::int64_t dataStart = pos + static_cast<std::int64_t>(headerSize);
        if (v4) {
            // A widespread old tagger wrote plain sizes into version 2.4 tags:
            // taken when only they lead to the next frame.
            const std::int64_t syncSafe = SyncSafe(frame + 4);
            if (syncSafe == dataSize || FrameMayFollowAt(bytes, dataStart + syncSafe, framesEnd) ||
                !FrameMayFollowAt(bytes, dataStart + dataSize, framesEnd)) {
                dataSize = syncSafe;
            }
        }
        if (dataStart + dataSize > framesEnd) {
            break;  // a frame that does not fit in the tag is damaged
        }
        const std::uint8_t flags = v2 ? 0 : frame[9];
        // A group byte and the data length come before the data itself.
        std::int64_t skip = ((v4 && (flags & 0x40)) || (!v4 && (flags & 0x20))) ? 1 : 0;
        skip += v4 && (flags & 0x01) ? 4 : 0;
        const bool unsynchronised = v4 && ((flags & 0x02) || (header[5] & 0x80));
        // Undone unsynchronisation leaves at least half of the bytes.
        const auto wanted = static_cast<std::size_t>(std::clamp<std::int64_t>(
            dataSize - skip, 0, unsynchronised ? 2 * kFrameCap : kFrameCap));
        data.resize(wanted);
        if (bytes.Read(dataStart + skip, reinterpret_cast<std::uint8_t*>(data.data()), wanted) !=
            wanted) {
            break;
        }
        if (unsynchronised) {
            Resynchronise(data);
        }
        std::fill(raw.begin(), raw.end(), '\0');
        std::copy_n(data.begin(), std::min(data.size(), kFrameCap), raw.begin());
        if ((flags & skipFlags) == 0) {
            for (std::size_t slot = 0; slot < kSlotIds.size(); ++slot) {
                if (kSlotIds[slot][v2 ? 1 : 0] != id) {
                    continue;
                }
                if (slot == kComment) {
                    const int rank = CommentRank(raw);
                    if (rank < 0 || rank < commentRank) {
                        continue;
                    }
                    commentRank = rank;
                }
                slots[slot] = raw;
            }
            if (id == "TXXX" && raw.find("replaygain") != std::string::npos) {
                for (std::size_t k = 0; k < kGainKeys.size(); ++k) {
                    std::size_t at = raw.find(kGainKeys[k]);
                    if (at != std::string::npos) {
                        // The key, one separator byte, then the value.
                        std::size_t valueAt = std::min(at + kGainKeys[k].size() + 1, raw.size());
                        slots[kFirstGainSlot + k] = raw.substr(valueAt, 20);
                        break;
                    }
                }
            }
        }
        pos = dataStart + dataSize;
    }

    auto either = [&](Slot first, Slot second) {
        std::string text = Decode(slots[first]);
        return text.empty() ? Decode(slots[second]) : text;
    };
    auto plain = [&](Slot slot) { return Latin1ToUtf8(TrimControls(slots[slot])); };
    title_ = either(kTitle, kContentGroup);
    artist_ = either(kArtist, kOriginalArtist);
    album_ = either(kAlbum, kOriginalAlbum);
    trackString_ = Decode(slots[kTrack]);
    std::string_view number = trackString_;
    track_ = static_cast<std::uint16_t>(
        ParseDecimal(number.substr(0, number.find('/')), 0xFFFF).value_or(0));
    year_ = Decode(slots[kYear]);
    if (year_.empty()) {
        year_ = FirstCharacters(Decode(slots[kRecordingTime]), 4);
    }
    genre_ = JoinValues(slots[kGenre], GenreText);
    comment_ = DecodeComment(slots[kComment]);
    composer_ = Decode(slots[kComposer]);
    encoder_ = Decode(slots[kEncoder]);
    copyright_ = Decode(slots[kCopyright]);
    language_ = Decode(slots[kLanguage]);
    link_ = DecodeLink(slots[kLink]);
    sizeText_ = Decode(slots[kSize]);
    ufid_ = plain(kUfid);
    albumGain_ = plain(kAlbumGain);
    albumPeak_ = plain(kAlbumPeak);
    trackGain_ = plain(kTrackGain);
    trackPeak_ = plain(kTrackPeak);
    return true;
}

}  // namespace mirvo
