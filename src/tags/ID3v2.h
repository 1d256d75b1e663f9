#pragma once
// ID3v2.2, 2.3 and 2.4 tags at the start of a file.
#include <cstdint>
#include <span>
#include <string>

namespace mirvo {

class TagFile;

class TID3v2 {
  public:
    TID3v2() { ResetData(); }

    // False only when the first 10 bytes cannot be read; callers test Exists.
    bool ReadFromFile(const std::string& fileName);
    bool ReadFromBuffer(std::span<const std::uint8_t> data);
    // Resets, then reads from `file`; what the two above call.
    bool Read(TagFile& file);
    void ResetData();

    // The whole tag's size from its 10-byte header (footer included), or 0 when
    // the header is not "ID3" or the tag would not fit in `fileSize` bytes.
    static std::int64_t TagSize(const std::uint8_t* header, std::int64_t fileSize);

    bool Exists() const { return exists_; }
    std::uint8_t VersionID() const { return versionID_; }
    std::int64_t Size() const { return size_; }
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    std::uint16_t Track() const { return track_; }
    const std::string& TrackString() const { return trackString_; }
    const std::string& Year() const { return year_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Composer() const { return composer_; }
    const std::string& Encoder() const { return encoder_; }
    const std::string& Copyright() const { return copyright_; }
    const std::string& Language() const { return language_; }
    const std::string& Link() const { return link_; }
    const std::string& SizeText() const { return sizeText_; }
    // Owner identifier, a zero byte, then the identifier.
    const std::string& UFID() const { return ufid_; }
    const std::string& AlbumGain() const { return albumGain_; }
    const std::string& AlbumPeak() const { return albumPeak_; }
    const std::string& TrackGain() const { return trackGain_; }
    const std::string& TrackPeak() const { return trackPeak_; }

  private:
    bool exists_;
    std::uint8_t versionID_;
    std::int64_t size_;
    std::string title_;
    std::string artist_;
    std::string album_;
    std::uint16_t track_;
    std::string trackString_;
    std::string year_;
    std::string genre_;
    std::string comment_;
    std::string composer_;
    std::string encoder_;
    std::string copyright_;
    std::string language_;
    std::string link_;
    std::string sizeText_;
    std::string ufid_;
    std::string albumGain_;
    std::string albumPeak_;
    std::string trackGain_;
    std::string trackPeak_;
};

}  // namespace mirvo
