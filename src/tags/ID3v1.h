#pragma once
// The 128-byte ID3v1 tag at the end of an MP3 file and the Lyrics3 v2 block
// that may stand in front of it.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mirvo {

class TagFile;

// ID3v1 genres 0 to 79 with Winamp's extensions 80 to 147.
extern const std::array<std::string_view, 148> GenreNames;

class TID3v1 {
  public:
    TID3v1() { ResetData(); }

    // False when the file could not be opened or read; true says nothing about
    // whether a tag exists (see Exists).
    bool ReadFromFile(const std::string& fileName);
    bool ReadFromBuffer(std::span<const std::uint8_t> data);
    // Resets, then reads from `file`; what the two above call.
    bool Read(TagFile& file);
    void ResetData();

    bool Exists() const { return exists_; }
    std::uint8_t VersionID() const { return versionID_; }
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    const std::string& Year() const { return year_; }
    const std::string& Comment() const { return comment_; }
    std::uint8_t Track() const { return track_; }
    // The track number as text; empty when there is none.
    std::string TrackText() const;
    std::uint8_t GenreID() const { return genreID_; }
    // The genre's name; empty for an index outside GenreNames.
    std::string Genre() const;
    bool LyricsExists() const { return lyricsExists_; }
    std::int32_t LyricsSize() const { return lyricsSize_; }
    const std::string& ImageLink() const { return imageLink_; }
    const std::string& Author() const { return author_; }
    const std::string& Lyrics() const { return lyrics_; }

  private:
    void ReadTag(const std::uint8_t* tag);
    void ReadLyrics3(TagFile& file, std::int64_t footerDistance);

    bool exists_;
    std::uint8_t versionID_;
    std::string title_;
    std::string artist_;
    std::string album_;
    std::string year_;
    std::string comment_;
    std::uint8_t track_;
    std::uint8_t genreID_;
    bool lyricsExists_;
    std::int32_t lyricsSize_;
    std::string imageLink_;
    std::string author_;
    std::string lyrics_;
};

}  // namespace mirvo
