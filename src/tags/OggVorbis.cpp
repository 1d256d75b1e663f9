#include "tags/OggVorbis.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "tags/ID3v2.h"
#include "tags/TagFile.h"
#include "tags/TagNumbers.h"
#include "tags/TagText.h"

namespace mirvo {

using namespace tagtext;
using namespace tagnumbers;

namespace {

constexpr std::size_t kPageHeaderSize = 27;
constexpr std::size_t kIdentificationSize = 30;
constexpr std::size_t kItemCap = 250;  // bytes kept of each comment
// The last page is looked for in the final 50 steps of 241 bytes.
constexpr std::int64_t kSearchSpan = 50 * 241 + 10;
// Pages of other streams passed over on the way to the next of ours.
constexpr int kOtherPagesAtMost = 256;
// How far from the end a stream beside a video may have its last page.
constexpr std::int64_t kMuxedSearchSpan = 16 << 20;

std::uint32_t Serial(const std::uint8_t* page) {
    return LittleEndian32(page + 14);
}

// The page's granule position; 0 for -1, which marks a page on which no packet ends.
std::int64_t Granule(const std::uint8_t* page) {
    std::uint64_t granule = 0;
    for (int i = 7; i >= 0; --i) {
        granule = granule << 8 | page[6 + i];
    }
    return std::max<std::int64_t>(static_cast<std::int64_t>(granule), 0);
}

// Where the page at `at` ends, or -1 when no page is there.
std::int64_t PageEnd(TagFile& file, std::int64_t at, std::uint8_t* header) {
    std::uint8_t segments[255];
    if (!file.ReadExact(at, header, kPageHeaderSize) || std::memcmp(header, "OggS", 4) != 0 ||
        !file.ReadExact(at + static_cast<std::int64_t>(kPageHeaderSize), segments, header[26])) {
        return -1;
    }
    std::int64_t end = at + static_cast<std::int64_t>(kPageHeaderSize) + header[26];
    for (int i = 0; i < header[26]; ++i) {
        end += segments[i];
    }
    return end;
}

// The bytes of one packet, followed through its segments and onto the pages
// that continue it; ends where the packet does, or at the first bad page.
// Pages of other logical streams (a video's) in between are passed over.
class PacketReader {
  public:
    PacketReader(TagFile& file, std::int64_t pageStart, std::uint32_t serial)
        : file_(file), serial_(serial) {
        ended_ = !LoadPage(pageStart, false);
    }

    // Copies up to `count` bytes; fewer when the packet ends.
    std::size_t Read(std::uint8_t* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count && Available()) {
            auto n = static_cast<std::size_t>(std::min<std::int64_t>(count - done, left_));
            if (!file_.ReadExact(pos_, out + done, n)) {
                ended_ = true;
                break;
            }
            done += n;
            pos_ += static_cast<std::int64_t>(n);
            left_ -= static_cast<std::int64_t>(n);
        }
        return done;
    }

    bool Skip(std::int64_t count) {
        while (count > 0 && Available()) {
            std::int64_t n = std::min(count, left_);
            pos_ += n;
            left_ -= n;
            count -= n;
        }
        return count == 0;
    }

  private:
    bool LoadPage(std::int64_t at, bool continuation) {
        std::uint8_t header[kPageHeaderSize];
        for (int other = 0;; ++other) {
            if (!file_.ReadExact(at, header, sizeof header) ||
                std::memcmp(header, "OggS", 4) != 0) {
                return false;
            }
            if (Serial(header) == serial_) {
                break;
            }
            at = PageEnd(file_, at, header);
            if (at < 0 || other == kOtherPagesAtMost) {
                return false;
            }
        }
        if (continuation && !(header[5] & 1)) {
            return false;
        }
        segmentCount_ = header[26];
        if (!file_.ReadExact(at + static_cast<std::int64_t>(kPageHeaderSize), segments_.data(),
                             segmentCount_)) {
            return false;
        }
        pos_ = at + static_cast<std::int64_t>(kPageHeaderSize + segmentCount_);
        segment_ = 0;
        left_ = segmentCount_ > 0 ? segments_[0] : 0;
        return true;
    }

    // True while the current segment has bytes left, moving on to the next
    // segment or page when it has none.
    bool Available() {
        while (!ended_ && left_ == 0) {
            if (segment_ < segmentCount_ && segments_[segment_] < 255) {
                ended_ = true;  // a segment shorter than 255 bytes closes the packet
            } else if (segment_ + 1 < segmentCount_) {
                left_ = segments_[++segment_];
            } else if (!LoadPage(pos_, true)) {
                ended_ = true;
            }
        }
        return !ended_;
    }

    TagFile& file_;
    std::uint32_t serial_;
    std::array<std::uint8_t, 255> segments_{};
    std::size_t segmentCount_ = 0;
    std::size_t segment_ = 0;
    std::int64_t left_ = 0;
    std::int64_t pos_ = 0;
    bool ended_ = false;
};

enum Name : std::size_t {
    kTitle,
    kArtist,
    kAlbum,
    kTrackNumber,
    kDate,
    kGenre,
    kComment,
    kComposer,
    kDescription,
    kMusicBrainzTrackID,
    kNameCount
};

constexpr std::array<std::string_view, kNameCount> kNames = {
    "TITLE", "ARTIST",  "ALBUM",    "TRACKNUMBER", "DATE",
    "GENRE", "COMMENT", "COMPOSER", "DESCRIPTION", "MUSICBRAINZ_TRACKID"};

struct EncoderLabel {
    std::string_view vendor;
    std::string_view label;
};

constexpr std::array<EncoderLabel, 21> kEncoderLabels = {{
    {"Xiphophorus libVorbis I 20000508", "1.0 beta 1 or beta 2"},
    {"Xiphophorus libVorbis I 20001031", "1.0 beta 3"},
    {"Xiphophorus libVorbis I 20010225", "1.0 beta 4"},
    {"Xiphophorus libVorbis I 20010615", "1.0 rc1"},
    {"Xiphophorus libVorbis I 20010813", "1.0 rc2"},
    {"Xiphophorus libVorbis I 20010816 (gtune 1)", "1.0 RC2 GT1"},
    {"Xiphophorus libVorbis I 20011014 (GTune 2)", "1.0 RC2 GT2"},
    {"Xiphophorus libVorbis I 20011217", "1.0 rc3"},
    {"Xiphophorus libVorbis I 20011231", "1.0 rc3"},
    {"Xiph.Org libVorbis I 20020717", "1.0"},
    {"Xiph.Org/Sjeng.Org libVorbis I 20020717 (GTune 3, beta 1)", "1.0 GT3b1"},
    {"Xiph.Org libVorbis I 20030308", "Post 1.0 CVS"},
    {"Xiph.Org libVorbis I 20030909 (1.0.1)", "1.0.1"},
    {"Xiph.Org libVorbis I 20030909", "1.0.1"},
    {"Xiph.Org/Sjeng.Org libVorbis I 20030909 (GTune 3, beta 2) EXPERIMENTAL",
     "Experimental GT3b2"},
    {"Xiph.Org libVorbis I 20031230 (1.0.1)", "Post 1.0.1 CVS"},
    {"Xiph.Org/Sjeng.Org libVorbis I 20031230 (GTune 3, beta 2)", "GT3b2"},
    {"AO; aoTuV b2 [20040420]  (based on Xiph.Org's 1.0.1)", "1.0.1 aoTuV beta 2"},
    {"Xiph.Org libVorbis I 20040629", "1.1"},
    {"Xiph.Org libVorbis I 20040920", "1.1 with impulse_trigger_profile"},
    {"AO; aoTuV b3 [20041120] (based on Xiph.Org's libVorbis)", "1.1 aoTuV beta 3"},
}};

}  // namespace

void TOggVorbis::ResetData() {
    fileSize_ = 0;
    channelModeID_ = 0;
    sampleRate_ = 0;
    bitRateNominal_ = 0;
    samples_ = 0;
    id3v2Size_ = 0;
    for (std::string* text : {&title_, &artist_, &album_, &composer_, &trackString_, &date_,
                              &genre_, &comment_, &vendor_, &musicBrainzTrackID_}) {
        text->clear();
    }
}

double TOggVorbis::Duration() const {
    if (samples_ > 0 && sampleRate_ > 0) {
        return static_cast<double>(samples_) / sampleRate_;
    }
    if (bitRateNominal_ > 0 && channelModeID_ > 0) {
        return static_cast<double>(fileSize_ - id3v2Size_) / bitRateNominal_ / channelModeID_ /
               125 * 2;
    }
    return 0.0;
}

std::int32_t TOggVorbis::BitRate() const {
    double seconds = Duration();
    if (seconds <= 0) {
        return 0;
    }
    return RoundKbps(static_cast<double>(fileSize_ - id3v2Size_) / seconds / 125);
}

bool TOggVorbis::IsValid() const {
    return (channelModeID_ == 1 || channelModeID_ == 2 || channelModeID_ == 6) &&
           sampleRate_ >= 1 && Duration() > 0.1 && BitRate() != 0;
}

std::string TOggVorbis::EncoderVersion() const {
    for (const EncoderLabel& row : kEncoderLabels) {
        if (row.vendor == vendor_) {
            return std::string(row.label);
        }
    }
    return vendor_;
}

bool TOggVorbis::ReadFromFile(const std::string& fileName) {
    TagFile file;
    if (!file.Open(fileName)) {
        ResetData();
        return false;
    }
    return Read(file);
}

bool TOggVorbis::ReadFromBuffer(std::span<const std::uint8_t> data) {
    TagFile file(data);
    return Read(file);
}

bool TOggVorbis::Read(TagFile& file) {
    ResetData();
    if (!ReadHeaders(file)) {
        ResetData();
        return false;
    }
    return true;
}

bool TOggVorbis::ReadHeaders(TagFile& file) {
    fileSize_ = file.Size();
    std::uint8_t id3[10];
    if (file.ReadExact(0, id3, sizeof id3)) {
        id3v2Size_ = TID3v2::TagSize(id3, fileSize_);
    }
    // A file of several streams (a video and its sound) begins with the first
    // page of each: the Vorbis one is looked for among them.
    std::uint8_t page[kPageHeaderSize];
    std::uint8_t id[kIdentificationSize];
    std::int64_t at = id3v2Size_;
    int streams = 0;
    for (;;) {
        const std::int64_t next = PageEnd(file, at, page);
        if (next < 0 || (streams > 0 && !(page[5] & 2))) {
            return false;
        }
        ++streams;
        const std::int64_t packetStart = at + static_cast<std::int64_t>(kPageHeaderSize) + page[26];
        if (file.ReadExact(packetStart, id, sizeof id) && id[0] == 1 &&
            std::memcmp(id + 1, "vorbis", 6) == 0) {
            break;
        }
        if (!(page[5] & 2) || streams > kOtherPagesAtMost) {
            return false;
        }
        at = next;
    }
    const std::uint32_t serial = Serial(page);
    channelModeID_ = id[11];
    sampleRate_ = LittleEndian32(id + 12);
    auto nominal = static_cast<std::int32_t>(LittleEndian32(id + 20));
    bitRateNominal_ = static_cast<std::uint16_t>(std::clamp(nominal / 1000, 0, 0xFFFF));
    // The identification header fills its page alone; the comment header
    // starts the stream's next page.
    const std::int64_t after = PageEnd(file, at, page);
    ReadComments(file, after, serial);
    // Beside other streams the last page may be another's.
    if (streams > 1 || (PageEnd(file, after, page) > 0 && (page[5] & 2))) {
        FindLastPageOf(file, serial);
    } else {
        FindLastPage(file);
    }
    return true;
}

void TOggVorbis::ReadComments(TagFile& file, std::int64_t pageStart, std::uint32_t serial) {
    PacketReader packet(file, pageStart, serial);
    std::uint8_t kind[7];
    if (packet.Read(kind, sizeof kind) != sizeof kind || kind[0] != 3 ||
        std::memcmp(kind + 1, "vorbis", 6) != 0) {
        return;
    }
    std::array<std::string, kNameCount> slots;
    auto readLength = [&](std::uint32_t& value) {
        std::uint8_t bytes[4];
        if (packet.Read(bytes, 4) != 4) {
            return false;
        }
        value = LittleEndian32(bytes);
        return true;
    };
    // One item: its length, up to kItemCap bytes of it, the rest passed over.
    auto readItem = [&](std::string& text) {
        std::uint32_t length;
        if (!readLength(length)) {
            return false;
        }
        std::uint8_t bytes[kItemCap];
        std::size_t kept = std::min<std::size_t>(length, kItemCap);
        if (packet.Read(bytes, kept) != kept) {
            return false;
        }
        text.assign(TrimControls({reinterpret_cast<const char*>(bytes), kept}));
        return packet.Skip(length - static_cast<std::int64_t>(kept));
    };
    auto take = [&](const std::string& text) {
        std::size_t equals = text.find('=');
        if (equals == std::string::npos) {
            if (vendor_.empty()) {
                vendor_ = Utf8ValidPrefix(text);
            }
            return;
        }
        std::string name = AsciiUpper(std::string_view(text).substr(0, equals));
        auto known = std::find(kNames.begin(), kNames.end(), name);
        if (known != kNames.end()) {
            slots[known - kNames.begin()] =
                Utf8ValidPrefix(TrimControls(std::string_view(text).substr(equals + 1)));
        }
    };

    std::string text;
    bool more = readItem(text);
    take(text);
    std::uint32_t count = 0;
    if (more && readLength(count)) {
        // Each comment takes at least its 4 length bytes, so the packet's end
        // stops even the largest count.
        for (std::uint32_t i = 0; i < count; ++i) {
            text.clear();
            more = readItem(text);
            take(text);
            if (!more) {
                break;
            }
        }
    }
    title_ = slots[kTitle];
    artist_ = slots[kArtist].empty() ? slots[kComposer] : slots[kArtist];
    album_ = slots[kAlbum];
    trackString_ = slots[kTrackNumber];
    date_ = slots[kDate];
    genre_ = slots[kGenre];
    comment_ = slots[kComment].empty() ? slots[kDescription] : slots[kComment];
    composer_ = slots[kComposer];
    musicBrainzTrackID_ = slots[kMusicBrainzTrackID];
}

void TOggVorbis::FindLastPageOf(TagFile& file, std::uint32_t serial) {
    // Backwards a block at a time; each block overlaps the one after it by a
    // page header, so that none is cut.
    constexpr std::int64_t kBlock = 64 << 10;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(kBlock));
    const std::int64_t stop = std::max(id3v2Size_, fileSize_ - kMuxedSearchSpan);
    for (std::int64_t end = fileSize_; end > stop;) {
        const std::int64_t from = std::max(stop, end - kBlock);
        const std::size_t got =
            file.ReadAt(from, block.data(), static_cast<std::size_t>(end - from));
        for (std::int64_t at =
                 static_cast<std::int64_t>(got) - static_cast<std::int64_t>(kPageHeaderSize);
             at >= 0; --at) {
            const std::uint8_t* page = block.data() + at;
            if (std::memcmp(page, "OggS", 4) == 0 && page[4] == 0 && Serial(page) == serial) {
                samples_ = Granule(page);
                return;
            }
        }
        end = from + static_cast<std::int64_t>(kPageHeaderSize) - 1;
        if (from == stop) {
            break;
        }
    }
}

void TOggVorbis::FindLastPage(TagFile& file) {
    std::int64_t from = std::max<std::int64_t>(0, fileSize_ - kSearchSpan);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(fileSize_ - from));
    tail.resize(file.ReadAt(from, tail.data(), tail.size()));
    // Scanning backwards finds the last page first; a hit needs its whole header.
    for (std::int64_t at =
             static_cast<std::int64_t>(tail.size()) - static_cast<std::int64_t>(kPageHeaderSize);
         at >= 0; --at) {
        const std::uint8_t* page = tail.data() + at;
        if (std::memcmp(page, "OggS", 4) == 0) {
            samples_ = Granule(page);
            return;
        }
    }
}

}  // namespace mirvo
