#pragma once
// Stream information and Vorbis comments of a FLAC file, which may carry an
// ID3v2 tag in front of the stream.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tags/ID3v2.h"

namespace mirvo {

class TagFile;

class TFLACfile {
  public:
    // The comment names with a field of their own, in field order.
    static const std::array<std::string_view, 33> FieldNames;

    TFLACfile() { ResetData(); }

    // Resets, reads, and returns IsValid(); false too when the file cannot be opened.
    bool ReadFromFile(const std::string& fileName);
    bool ReadFromBuffer(std::span<const std::uint8_t> data);
    bool Read(TagFile& file);
    void ResetData();

    bool IsValid() const;
    // Seconds; 0 when not valid.
    double Duration() const;

    const std::string& FileName() const { return fileName_; }
    std::int64_t FileLength() const { return fileLength_; }
    std::uint8_t Channels() const { return channels_; }
    std::int32_t SampleRate() const { return sampleRate_; }
    std::uint8_t BitsPerSample() const { return bitsPerSample_; }
    std::int64_t Samples() const { return samples_; }
    std::int64_t AudioOffset() const { return audioOffset_; }
    std::int32_t Bitrate() const { return bitrate_; }
    std::int32_t VorbisIndex() const { return vorbisIndex_; }
    std::int64_t VorbisOffset() const { return vorbisOffset_; }
    std::int32_t PaddingIndex() const { return paddingIndex_; }
    std::int32_t PaddingSize() const { return paddingSize_; }
    bool PaddingLast() const { return paddingLast_; }
    bool PaddingFragments() const { return paddingFragments_; }

    const std::string& Vendor() const { return vendor_; }
    std::int32_t TagSize() const { return tagSize_; }
    // The comment block holds at least one comment.
    bool Exists() const { return exists_; }
    // The field of a name in FieldNames (upper case); empty for any other name.
    const std::string& Field(std::string_view name) const;
    const std::string& TrackString() const { return fields_[0]; }
    const std::string& Title() const { return fields_[1]; }
    const std::string& Artist() const { return fields_[2]; }
    const std::string& Album() const { return fields_[3]; }
    const std::string& Year() const { return fields_[4]; }
    const std::string& Genre() const { return fields_[5]; }
    const std::string& Comment() const { return fields_[6]; }
    const std::string& Tones() const { return fields_[7]; }
    const std::string& Styles() const { return fields_[8]; }
    const std::string& Mood() const { return fields_[9]; }
    const std::string& Situation() const { return fields_[10]; }
    const std::string& Rating() const { return fields_[11]; }
    const std::string& Quality() const { return fields_[12]; }
    const std::string& Tempo() const { return fields_[13]; }
    const std::string& Type() const { return fields_[14]; }
    const std::string& Composer() const { return fields_[15]; }
    const std::string& Language() const { return fields_[16]; }
    const std::string& Copyright() const { return fields_[17]; }
    const std::string& URL() const { return fields_[18]; }
    const std::string& Encoder() const { return fields_[19]; }
    const std::string& Lyrics() const { return fields_[20]; }
    const std::string& Performer() const { return fields_[21]; }
    const std::string& License() const { return fields_[22]; }
    const std::string& Organization() const { return fields_[23]; }
    const std::string& Description() const { return fields_[24]; }
    const std::string& Location() const { return fields_[25]; }
    const std::string& Contact() const { return fields_[26]; }
    const std::string& ISRC() const { return fields_[27]; }
    const std::string& MusicBrainzTrackID() const { return fields_[28]; }
    const std::string& AlbumGain() const { return fields_[29]; }
    const std::string& AlbumPeak() const { return fields_[30]; }
    const std::string& TrackGain() const { return fields_[31]; }
    const std::string& TrackPeak() const { return fields_[32]; }
    // Every other comment as (upper-cased name, value), in file order.
    const std::vector<std::pair<std::string, std::string>>& ExtraFields() const {
        return extraFields_;
    }

  private:
    void ReadComments(TagFile& file, std::int64_t start, std::int64_t length);

    TID3v2 id3v2_;
    std::string fileName_;
    std::int64_t fileLength_;
    bool marker_;  // the stream starts with "fLaC"
    std::uint8_t channels_;
    std::int32_t sampleRate_;
    std::uint8_t bitsPerSample_;
    std::int64_t samples_;
    std::int64_t audioOffset_;
    std::int32_t bitrate_;
    std::int32_t vorbisIndex_;
    std::int64_t vorbisOffset_;
    std::int32_t paddingIndex_;
    std::int32_t paddingSize_;
    bool paddingLast_;
    bool paddingFragments_;
    std::string vendor_;
    std::int32_t tagSize_;
    bool exists_;
    std::array<std::string, 33> fields_;
    std::vector<std::pair<std::string, std::string>> extraFields_;
    std::size_t extraBytes_;
};

}  // namespace mirvo
