#pragma once
// Tags of the containers TagLib reads for the program: MP4 atoms, the Vorbis
// comments in Opus headers, and APEv2 (WavPack and Monkey's Audio files).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace TagLib {
class IOStream;
}

namespace mirvo {

class TTagLibFile {
  public:
    enum class Container { Opus, Mp4, WavPack, Ape };

    // The container of a file name's extension (".opus", ".m4a", ".mp4", ".wv", ".ape").
    static std::optional<Container> ContainerOf(std::string_view fileName);

    // Resets and reads; true when the container is sound. A name of another
    // extension, a file that is not there or not a regular one read nothing.
    bool ReadFromFile(const std::string& fileName);
    bool ReadFromBuffer(std::span<const std::uint8_t> data, Container container);
    void ResetData();

    bool IsValid() const { return valid_; }
    // At least one of the fields below is set.
    bool Exists() const;
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    // The date as written: a year, or a whole date in Opus comments.
    const std::string& Year() const { return year_; }
    // "3" or "3/12".
    const std::string& TrackString() const { return track_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }

  private:
    bool Read(TagLib::IOStream& stream, Container container);

    bool valid_ = false;
    std::string title_;
    std::string artist_;
    std::string album_;
    std::string year_;
    std::string track_;
    std::string genre_;
    std::string comment_;
};

}  // namespace mirvo
