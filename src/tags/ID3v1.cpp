#include "tags/ID3v1.h"

#include <cstring>
#include <vector>

#include "tags/TagFile.h"
#include "tags/TagText.h"

namespace mirvo {

using namespace tagtext;

const std::array<std::string_view, 148> GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // Winamp's extensions.
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "JPop", "Synthpop"};

namespace {

constexpr std::int64_t kTagSize = 128;
constexpr std::int64_t kFooterSize = 15;
constexpr std::size_t kBeginSize = 11;  // "LYRICSBEGIN"
constexpr std::size_t kFieldHeaderSize = 8;

std::string_view Bytes(const std::uint8_t* data, std::size_t length) {
    return {reinterpret_cast<const char*>(data), length};
}

std::string TrailingTrimmed(const std::uint8_t* data, std::size_t length) {
    return Latin1ToUtf8(TrimTrailingControls(Bytes(data, length)));
}

// Lone carriage returns and carriage return plus line feed both become "\r\n";
// lone line feeds are kept.
std::string NormaliseLineEnds(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, "\r", "\r\n"), "\r\n\n", "\r\n");
}

}  // namespace

void TID3v1::ResetData() {
    exists_ = false;
    versionID_ = 1;
    title_.clear();
    artist_.clear();
    album_.clear();
    year_.clear();
    comment_.clear();
    track_ = 0;
    genreID_ = 255;
    lyricsExists_ = false;
    lyricsSize_ = 0;
    imageLink_.clear();
    author_.clear();
    lyrics_.clear();
}

std::string TID3v1::TrackText() const {
    return track_ != 0 ? std::to_string(track_) : "";
}

std::string TID3v1::Genre() const {
    return genreID_ < GenreNames.size() ? std::string(GenreNames[genreID_]) : "";
}

bool TID3v1::ReadFromFile(const std::string& fileName) {
    TagFile file;
    if (!file.Open(fileName)) {
        ResetData();
        return false;
    }
    return Read(file);
}

bool TID3v1::ReadFromBuffer(std::span<const std::uint8_t> data) {
    TagFile file(data);
    return Read(file);
}

bool TID3v1::Read(TagFile& file) {
    ResetData();
    std::int64_t footerDistance = kFooterSize;
    if (file.Size() >= kTagSize) {
        std::uint8_t tag[kTagSize];
        if (!file.ReadExact(file.Size() - kTagSize, tag, sizeof tag)) {
            return false;
        }
        if (std::memcmp(tag, "TAG", 3) == 0) {
            ReadTag(tag);
            footerDistance += kTagSize;
        }
    }
    ReadLyrics3(file, footerDistance);
    return true;
}

void TID3v1::ReadTag(const std::uint8_t* tag) {
    exists_ = true;
    bool v11 = (tag[125] == 0 && tag[126] != 0) || (tag[125] == ' ' && tag[126] != ' ');
    versionID_ = v11 ? 2 : 1;
    title_ = TrailingTrimmed(tag + 3, 30);
    artist_ = TrailingTrimmed(tag + 33, 30);
    album_ = TrailingTrimmed(tag + 63, 30);
    year_ = TrailingTrimmed(tag + 93, 4);
    comment_ = TrailingTrimmed(tag + 97, v11 ? 28 : 30);
    if (v11) {
        track_ = tag[126];
    }
    genreID_ = tag[127];
}

void TID3v1::ReadLyrics3(TagFile& file, std::int64_t footerDistance) {
    std::int64_t footerStart = file.Size() - footerDistance;
    std::uint8_t footer[kFooterSize];
    if (footerStart < 0 || !file.ReadExact(footerStart, footer, sizeof footer) ||
        Bytes(footer + 6, 9) != "LYRICS200") {
        return;
    }
    lyricsSize_ = static_cast<std::int32_t>(ParseDecimal(Bytes(footer, 6), 999999).value_or(0));
    if (lyricsSize_ <= 0) {
        lyricsSize_ = 0;
        return;
    }
    // The size counts from "LYRICSBEGIN" up to the footer.
    std::int64_t at = footerStart - lyricsSize_;
    std::uint8_t begin[kBeginSize];
    if (at < 0 || !file.ReadExact(at, begin, sizeof begin) ||
        Bytes(begin, kBeginSize) != "LYRICSBEGIN") {
        lyricsSize_ = 0;
        return;
    }
    lyricsExists_ = true;
    at += kBeginSize;
    std::vector<std::uint8_t> data;
    // Fields never run into the footer, so a bad length cannot pull in the
    // footer or the ID3v1 tag as text.
    while (at + static_cast<std::int64_t>(kFieldHeaderSize) <= footerStart) {
        std::uint8_t header[kFieldHeaderSize];
        if (!file.ReadExact(at, header, sizeof header)) {
            return;
        }
        auto length = ParseDecimal(Bytes(header + 3, 5), 99999);
        at += kFieldHeaderSize;
        if (!length || at + *length > footerStart) {
            return;
        }
        data.resize(*length);
        if (!file.ReadExact(at, data.data(), data.size())) {
            return;
        }
        at += *length;
        std::string_view id = Bytes(header, 3);
        std::string_view text = Bytes(data.data(), data.size());
        if (id == "IND") {
            continue;
        } else if (id == "LYR") {
            lyrics_ = NormaliseLineEnds(Latin1ToUtf8(TrimControls(text)));
        } else if (id == "INF") {
            comment_ = Latin1ToUtf8(TrimControls(text));
        } else if (id == "AUT") {
            author_ = Latin1ToUtf8(TrimControls(text));
        } else if (id == "EAL") {
            album_ = Latin1ToUtf8(TrimControls(text));
        } else if (id == "EAR") {
            artist_ = Latin1ToUtf8(TrimControls(text));
        } else if (id == "ETT") {
            title_ = Latin1ToUtf8(TrimControls(text));
        } else if (id == "IMG") {
            imageLink_ = Latin1ToUtf8(text);
        } else {
            return;
        }
    }
}

}  // namespace mirvo
