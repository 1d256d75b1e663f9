#include "tags/FLACfile.h"

#include <algorithm>
#include <cstring>

#include "tags/TagFile.h"
#include "tags/TagNumbers.h"
#include "tags/TagText.h"

namespace mirvo {

using namespace tagtext;
using namespace tagnumbers;

const std::array<std::string_view, 33> TFLACfile::FieldNames = {"TRACKNUMBER",
                                                                "TITLE",
                                                                "ARTIST",
                                                                "ALBUM",
                                                                "DATE",
                                                                "GENRE",
                                                                "COMMENT",
                                                                "TONES",
                                                                "STYLES",
                                                                "MOOD",
                                                                "SITUATION",
                                                                "RATING",
                                                                "QUALITY",
                                                                "TEMPO",
                                                                "TYPE",
                                                                "COMPOSER",
                                                                "LANGUAGE",
                                                                "COPYRIGHT",
                                                                "URL",
                                                                "ENCODER",
                                                                "LYRICS",
                                                                "PERFORMER",
                                                                "LICENSE",
                                                                "ORGANIZATION",
                                                                "DESCRIPTION",
                                                                "LOCATION",
                                                                "CONTACT",
                                                                "ISRC",
                                                                "MUSICBRAINZ_TRACKID",
                                                                "REPLAYGAIN_ALBUM_GAIN",
                                                                "REPLAYGAIN_ALBUM_PEAK",
                                                                "REPLAYGAIN_TRACK_GAIN",
                                                                "REPLAYGAIN_TRACK_PEAK"};

namespace {

constexpr std::size_t kHeadSize = 42;  // "fLaC", block header, STREAMINFO
constexpr int kPadding = 1;
constexpr int kVorbisComment = 4;
constexpr int kLastKnownType = 6;  // PICTURE
// A comment longer than this keeps only its start (cover art stored as text
// can run to megabytes), and the extra fields stop growing past a budget.
constexpr std::size_t kCommentCap = 256 * 1024;
constexpr std::size_t kExtraBudget = 8 * 1024 * 1024;
constexpr std::size_t kPerEntryCost = 64;

}  // namespace

void TFLACfile::ResetData() {
    fileName_.clear();
    fileLength_ = 0;
    marker_ = false;
    channels_ = 0;
    sampleRate_ = 0;
    bitsPerSample_ = 0;
    samples_ = 0;
    audioOffset_ = 0;
    bitrate_ = 0;
    vorbisIndex_ = 0;
    vorbisOffset_ = 0;
    paddingIndex_ = 0;
    paddingSize_ = 0;
    paddingLast_ = false;
    paddingFragments_ = false;
    vendor_.clear();
    tagSize_ = 0;
    exists_ = false;
    for (std::string& field : fields_) {
        field.clear();
    }
    extraFields_.clear();
    extraBytes_ = 0;
}

bool TFLACfile::IsValid() const {
    return marker_ && channels_ > 0 && sampleRate_ > 0 && bitsPerSample_ > 0 && samples_ > 0;
}

double TFLACfile::Duration() const {
    return IsValid() ? static_cast<double>(samples_) / sampleRate_ : 0.0;
}

const std::string& TFLACfile::Field(std::string_view name) const {
    static const std::string kNone;
    auto it = std::find(FieldNames.begin(), FieldNames.end(), name);
    return it == FieldNames.end() ? kNone : fields_[it - FieldNames.begin()];
}

bool TFLACfile::ReadFromFile(const std::string& fileName) {
    TagFile file;
    if (!file.Open(fileName)) {
        ResetData();
        return false;
    }
    bool valid = Read(file);
    fileName_ = fileName;
    return valid;
}

bool TFLACfile::ReadFromBuffer(std::span<const std::uint8_t> data) {
    TagFile file(data);
    return Read(file);
}

bool TFLACfile::Read(TagFile& file) {
    ResetData();
    id3v2_.Read(file);
    fileLength_ = file.Size();
    std::int64_t pos = id3v2_.Exists() ? id3v2_.Size() : 0;

    std::uint8_t head[kHeadSize];
    if (file.ReadExact(pos, head, sizeof head) && std::memcmp(head, "fLaC", 4) == 0) {
        marker_ = true;
        pos += kHeadSize;
        const std::uint8_t* info = head + 8;
        sampleRate_ = static_cast<std::int32_t>(info[10] << 12 | info[11] << 4 | info[12] >> 4);
        channels_ = static_cast<std::uint8_t>(((info[12] >> 1) & 7) + 1);
        bitsPerSample_ = static_cast<std::uint8_t>(((info[12] & 1) << 4 | info[13] >> 4) + 1);
        samples_ = static_cast<std::int64_t>(info[13] & 0x0F) << 32 | BigEndian(info + 14, 4);

        bool last = (head[4] & 0x80) != 0;
        for (std::int32_t index = 1; !last; ++index) {
            std::uint8_t block[4];
            if (!file.ReadExact(pos, block, sizeof block)) {
                break;
            }
            pos += 4;
            int type = block[0] & 0x7F;
            last = (block[0] & 0x80) != 0;
            auto length = static_cast<std::int32_t>(BigEndian(block + 1, 3));
            if (length == 0) {
                break;
            }
            if (type == kVorbisComment) {
                vorbisOffset_ = pos;
                tagSize_ = length;
                vorbisIndex_ = index;
                ReadComments(file, pos, length);
            } else if (type == kPadding && paddingIndex_ == 0) {
                paddingSize_ = length;
                paddingLast_ = last;
                paddingIndex_ = index;
            } else if (type > kLastKnownType) {
                samples_ = 0;
                break;
            } else if (type == kPadding) {
                paddingFragments_ = true;
            }
            pos += length;
        }
    }

    if (IsValid()) {
        audioOffset_ = std::min(pos, fileLength_);
        double kbits = static_cast<double>(fileLength_ - audioOffset_) / 1000 * 8;
        bitrate_ = RoundKbps(kbits / Duration());
    }
    return IsValid();
}

void TFLACfile::ReadComments(TagFile& file, std::int64_t start, std::int64_t length) {
    std::int64_t pos = start;
    const std::int64_t end = start + length;
    std::string item;
    // The next length-prefixed item, at most kCommentCap bytes of it; false
    // when it would run past the block or the file.
    auto next = [&]() {
        std::uint8_t size[4];
        if (end - pos < 4 || !file.ReadExact(pos, size, 4)) {
            return false;
        }
        std::int64_t itemLength = LittleEndian32(size);
        if (itemLength > end - pos - 4) {
            return false;
        }
        item.resize(std::min<std::size_t>(itemLength, kCommentCap));
        if (!file.ReadExact(pos + 4, item.data(), item.size())) {
            return false;
        }
        pos += 4 + itemLength;
        return true;
    };
    auto count = [&]() -> std::uint32_t {
        std::uint8_t value[4];
        if (end - pos < 4 || !file.ReadExact(pos, value, 4)) {
            return 0;
        }
        pos += 4;
        return LittleEndian32(value);
    };

    if (!next()) {
        return;
    }
    vendor_ = Utf8ValidPrefix(item);
    std::uint32_t comments = count();
    exists_ = comments > 0;
    // Every comment takes at least its 4 length bytes, so the block's end stops
    // even the largest count.
    for (std::uint32_t i = 0; i < comments && next(); ++i) {
        std::size_t equals = item.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        // Names should be ASCII; whatever they hold, they leave here as UTF-8.
        std::string name = AsciiUpper(Utf8ValidPrefix(std::string_view(item).substr(0, equals)));
        std::string_view value = Utf8ValidPrefix(std::string_view(item).substr(equals + 1));
        auto known = std::find(FieldNames.begin(), FieldNames.end(), name);
        if (known != FieldNames.end()) {
            std::string& field = fields_[known - FieldNames.begin()];
            if (field.empty()) {
                field = value;
            }
        } else if (extraBytes_ + name.size() + value.size() + kPerEntryCost <= kExtraBudget) {
            extraBytes_ += name.size() + value.size() + kPerEntryCost;
            extraFields_.emplace_back(std::move(name), std::string(value));
        }
    }
}

}  // namespace mirvo
