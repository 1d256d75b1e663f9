#include "playback/Format.h"

#include <cmath>
#include <cstdio>

#include "playlist/Entries.h"

namespace mirvo {
namespace {

// A decode stream for the query: the caller's, or one of our own freed at the end.
class Query {
  public:
    Query(const std::string& fileName, audio::Handle handle, bool flacAware = true)
        : handle_(handle) {
        if (handle_ == 0) {
            // Unscanned: the description needs the header, not an exact length.
            const bool flac = flacAware && AudioFileType(fileName) == 3;
            const std::uint32_t flags = audio::kStreamDecode | audio::kStreamNoScan;
            handle_ = flac ? audio::FlacStreamCreateFile(false, fileName.c_str(), 0, 0, flags)
                           : audio::StreamCreateFile(false, fileName.c_str(), 0, 0, flags);
            owned_ = true;
        }
    }
    ~Query() {
        if (owned_ && handle_ != 0) {
            audio::StreamFree(handle_);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    audio::Handle get() const { return handle_; }
    audio::ChannelInfo Info() const {
        audio::ChannelInfo info;
        if (handle_ == 0 || !audio::ChannelGetInfo(handle_, &info)) {
            return {};
        }
        return info;
    }

  private:
    audio::Handle handle_;
    bool owned_ = false;
};

}  // namespace

std::string FormatName(const std::string& fileName, audio::Handle handle) {
    switch (Query(fileName, handle).Info().StreamType) {
        case audio::kTypeWave:
            return "WAVE";
        case audio::kTypeOgg:
            return "OGG";
        case audio::kTypeMp1:
            return "MP1";
        case audio::kTypeMp2:
            return "MP2";
        case audio::kTypeMp3:
            return "MP3";
        case audio::kTypeFlac:
            return "FLAC";
        case audio::kTypeOpus:
            return "OPUS";
        case audio::kTypeMp4:
            return "AAC";
        case audio::kTypeAlac:
            return "ALAC";
        case audio::kTypeWavPack:
            return "WAVPACK";
        case audio::kTypeApe:
            return "APE";
        default:
            return "Unknown format";
    }
}

int StreamFrequency(const std::string& fileName, audio::Handle handle) {
    const Query query(fileName, handle);
    std::uint32_t freq = 0;
    if (query.get() == 0 || !audio::ChannelGetAttributes(query.get(), &freq, nullptr, nullptr)) {
        return 0;
    }
    return static_cast<int>(freq);
}

int StreamChannels(const std::string& fileName, audio::Handle handle) {
    return static_cast<int>(Query(fileName, handle).Info().Channels);
}

bool StreamIsStereo(const std::string& fileName, audio::Handle handle) {
    return StreamChannels(fileName, handle) != 1;
}

bool StreamIs16Bit(const std::string& fileName, audio::Handle handle) {
    return (Query(fileName, handle, false).Info().Flags & audio::kSample8Bits) == 0;
}

int StreamKbps(const std::string& fileName, audio::Handle handle) {
    const Query query(fileName, handle);
    if (query.get() == 0) {
        return 0;
    }
    const std::uint64_t fileBytes = audio::StreamGetFilePosition(query.get(), audio::kFilePosEnd);
    const std::uint64_t length = audio::StreamGetLength(query.get());
    if (fileBytes == audio::kPositionError || length == audio::kPositionError) {
        return 0;
    }
    const double seconds = audio::ChannelBytes2Seconds(query.get(), length);
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<int>(std::nearbyint(static_cast<double>(fileBytes) / seconds * 8 / 1000));
}

int WaveBitsPerSample(const std::string& fileName) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    unsigned char header[44] = {};
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    return got < 36 ? 0 : header[34] | (header[35] << 8);
}

std::string FormatDescription(const std::string& fileName, audio::Handle handle) {
    const int type = AudioFileType(fileName);
    if (type < 0) {
        return {};
    }
    // One stream answers every question.
    const Query query(fileName, handle);
    const audio::Handle h = query.get();
    const std::string f = FormatName(fileName, h);
    const std::string k = std::to_string(h ? StreamKbps(fileName, h) : 0);
    const int c = h ? StreamChannels(fileName, h) : 0;
    const std::string hz = std::to_string(h ? StreamFrequency(fileName, h) : 0);
    const std::string layout = c == 2   ? "Stereo"
                               : c == 1 ? "Mono"
                                        : std::to_string(c) + " Channels";
    switch (type) {
        case 1:
            return f + " " + k + " kbps - " + hz + " Hz " +
                   std::to_string(WaveBitsPerSample(fileName)) + " bit " + layout;
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
            return f + " " + k + " kbps - " + hz + " Hz " + layout;
        default:
            return f + " " + k + " kbps " + layout;
    }
}

}  // namespace mirvo
