#include "tags/ID3v2.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

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

// A raw value starts with its text encoding byte: 0 ISO-8859-1, 1 UTF-16 with
// a byte-order mark, 2 UTF-16 big-endian, 3 UTF-8.
std::string Decode(std::string_view raw) {
    if (raw.empty()) {
        return "";
    }
    if (IsUtf16(raw[0])) {
        auto order = raw[0] == 1 ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
        return std::string(TrimControls(Utf16ToUtf8(raw.substr(1), order)));
    }
    if (raw[0] == 3) {
        return std::string(TrimControls(Utf8ValidPrefix(TrimControls(raw))));
    }
    return Latin1ToUtf8(TrimControls(raw));
}

// What follows the description of a COMM or WXXX value, whose first `skip`
// bytes are the encoding byte and, for comments, the language.
std::string_view AfterDescription(std::string_view raw, std::size_t skip) {
    std::string_view rest = raw.substr(std::min(skip, raw.size()));
    if (!IsUtf16(raw[0])) {
        std::size_t end = rest.find('\0');
        return end == std::string_view::npos ? "" : rest.substr(end + 1);
    }
    // UTF-16 terminators sit on unit boundaries; a match across two units
    // would shift the text by one byte.
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
        if (rest[i] == 0 && rest[i + 1] == 0) {
            return rest.substr(i + 2);
        }
    }
    return "";
}

std::string DecodeComment(std::string_view raw) {
    if (raw.empty()) {
        return "";
    }
    return Decode(std::string(1, raw[0]).append(AfterDescription(raw, 4)));
}

// The address of a WXXX frame is ISO-8859-1 whatever the description's encoding.
std::string DecodeLink(std::string_view raw) {
    if (raw.empty()) {
        return "";
    }
    return Latin1ToUtf8(TrimControls(AfterDescription(raw, 1)));
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

    std::int64_t pos = 10;
    // An extended header would otherwise end the walk before the first frame.
    std::uint8_t extended[4];
    if (versionID_ >= 3 && (header[5] & 0x40) && file.ReadExact(pos, extended, 4)) {
        pos += versionID_ == 3 ? 4 + static_cast<std::int64_t>(BigEndian(extended, 4))
                               : SyncSafe(extended);
    }

    const bool v2 = versionID_ == 2;
    const std::size_t headerSize = v2 ? 6 : 10;
    const std::size_t idLength = v2 ? 3 : 4;
    // Compressed or encrypted frame data is no text.
    const std::uint8_t skipFlags = versionID_ == 3 ? 0xC0 : 0x8C;
    std::array<std::string, kSlotCount> slots;
    std::string raw(kFrameCap, '\0');
    while (pos < size_ && pos < file.Size()) {
        std::uint8_t frame[10];
        if (!file.ReadExact(pos, frame, headerSize) || frame[0] < 'A' || frame[0] > 'Z') {
            break;
        }
        std::string_view id(reinterpret_cast<const char*>(frame), idLength);
        std::int64_t dataSize = v2                ? BigEndian(frame + 3, 3)
                                : versionID_ == 3 ? BigEndian(frame + 4, 4)
                                                  : SyncSafe(frame + 4);
        std::int64_t dataStart = pos + static_cast<std::int64_t>(headerSize);
        if (dataStart + dataSize > size_) {
            break;  // a frame that does not fit in the tag is damaged
        }
        std::fill(raw.begin(), raw.end(), '\0');
        auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(dataSize, kFrameCap));
        if (file.ReadAt(dataStart, raw.data(), wanted) != wanted) {
            break;
        }
        if (v2 || (frame[9] & skipFlags) == 0) {
            for (std::size_t slot = 0; slot < kSlotIds.size(); ++slot) {
                if (kSlotIds[slot][v2 ? 1 : 0] == id) {
                    slots[slot] = raw;
                }
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
    genre_ = Decode(slots[kGenre]);
    if (std::size_t close = genre_.rfind(')'); close != std::string::npos) {
        genre_.erase(0, close + 1);
    }
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
