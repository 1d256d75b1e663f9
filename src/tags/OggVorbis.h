#pragma once
// Identification and comment headers of an Ogg Vorbis file and the length
// taken from its last page.
#include <cstdint>
#include <span>
#include <string>

namespace mirvo {

class TagFile;

class TOggVorbis {
  public:
    TOggVorbis() { ResetData(); }

    // True when an "OggS" page with a Vorbis identification header was found;
    // otherwise false with every field reset.
    bool ReadFromFile(const std::string& fileName);
    bool ReadFromBuffer(std::span<const std::uint8_t> data);
    bool Read(TagFile& file);
    void ResetData();

    // Seconds: from the last page's sample count, else estimated from the
    // nominal bit rate, else 0.
    double Duration() const;
    // Average kbit/s over the file without its ID3v2 tag; 0 without a duration.
    std::int32_t BitRate() const;
    bool IsValid() const;
    // The libVorbis release that wrote the vendor string, or the string itself.
    std::string EncoderVersion() const;

    std::int64_t FileSize() const { return fileSize_; }
    std::uint8_t ChannelModeID() const { return channelModeID_; }
    std::uint32_t SampleRate() const { return sampleRate_; }
    std::uint16_t BitRateNominal() const { return bitRateNominal_; }
    std::int64_t Samples() const { return samples_; }
    std::int64_t ID3v2Size() const { return id3v2Size_; }
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    const std::string& Composer() const { return composer_; }
    const std::string& TrackString() const { return trackString_; }
    const std::string& Date() const { return date_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Vendor() const { return vendor_; }
    const std::string& MusicBrainzTrackID() const { return musicBrainzTrackID_; }

  private:
    bool ReadHeaders(TagFile& file);
    void ReadComments(TagFile& file, std::int64_t pageStart, std::uint32_t serial);
    void FindLastPage(TagFile& file);
    void FindLastPageOf(TagFile& file, std::uint32_t serial);

    std::int64_t fileSize_;
    std::uint8_t channelModeID_;
    std::uint32_t sampleRate_;
    std::uint16_t bitRateNominal_;
    std::int64_t samples_;
    std::int64_t id3v2Size_;
    std::string title_;
    std::string artist_;
    std::string album_;
    std::string composer_;
    std::string trackString_;
    std::string date_;
    std::string genre_;
    std::string comment_;
    std::string vendor_;
    std::string musicBrainzTrackID_;
};

}  // namespace mirvo
