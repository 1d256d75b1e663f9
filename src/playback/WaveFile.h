#pragma once
// PCM WAV files: the header, its size fields, and raw sound combined into one.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace mirvo {

// The sound as the output channel delivers it.
struct RecordFormat {
    std::uint32_t Frequency = 44100;
    std::uint32_t Channels = 2;
    std::uint32_t BitsPerSample = 16;
    std::uint32_t BytesPerSecond = 176400;
};

// The 44-byte header of a PCM WAV file holding `dataBytes` of sound.
std::array<std::uint8_t, 44> WaveHeader(const RecordFormat& format, std::uint64_t dataBytes);
// The RIFF size (offset 4) and data size (offset 40) of a WAV file of
// `fileSize` bytes; past 4 GiB both stay at 0xFFFFFFFF instead of wrapping.
std::pair<std::uint32_t, std::uint32_t> WaveSizeFields(std::uint64_t fileSize);
// Mode 1 creates `fileName` anew with the header; mode 0 patches its two size
// fields from the file's size. False when the file cannot be written.
bool WriteWaveHeader(int mode, const std::string& fileName, const RecordFormat& format);

// The raw files `parts` in that order (missing ones skipped) after a header,
// into `fileName`: written beside it, then renamed over it when `replace`, else
// under the next free name ("name (2).wav", ...), so a failure never leaves half
// a file under that name. `between` runs before each part and between blocks
// of a long one. False on any failure.
bool CombineIntoWave(const std::vector<std::string>& parts, const RecordFormat& format,
                     const std::string& fileName, bool replace,
                     const std::function<void()>& between);

}  // namespace mirvo
