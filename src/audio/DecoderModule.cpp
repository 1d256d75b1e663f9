// Tracker modules through libopenmpt, rendered as 44.1 kHz stereo decode streams.
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

constexpr std::uint32_t kModuleRate = 44100;

size_t ReadCb(void* source, void* dst, size_t bytes) {
    return static_cast<Source*>(source)->Read(dst, bytes);
}
int SeekCb(void* source, int64_t offset, int whence) {
    return SeekWhence(*static_cast<Source*>(source), offset, whence) < 0 ? -1 : 0;
}
int64_t TellCb(void* source) {
    return static_cast<Source*>(source)->Tell();
}

std::string Metadata(openmpt_module* module, const char* key) {
    const char* value = openmpt_module_get_metadata(module, key);
    std::string text = value != nullptr ? value : "";
    openmpt_free_string(value);
    return text;
}

std::uint32_t ModuleType(openmpt_module* module) {
    const std::string type = Metadata(module, "type");
    std::uint32_t result = kTypeMod;
    if (type == "mtm") {
        result = kTypeMtm;
    } else if (type == "s3m") {
        result = kTypeS3m;
    } else if (type == "xm") {
        result = kTypeXm;
    } else if (type == "it") {
        result = kTypeIt;
    }
    if (Metadata(module, "container") == "mo3") {
        result |= kTypeMo3Flag;
    }
    return result;
}

class ModuleDecoder final : public Decoder {
  public:
    ModuleDecoder(openmpt_module* module, SampleType type)
        : module_(module), float_(type == SampleType::F32) {
        rate_ = kModuleRate;
        channels_ = 2;
        type_ = ModuleType(module);
        frames_ = static_cast<std::uint64_t>(
            std::llround(openmpt_module_get_duration_seconds(module) * kModuleRate));
    }
    ~ModuleDecoder() override { openmpt_module_destroy(module_); }

    // The rendered length is held to the reported one: short renders are padded
    // with silence, long ones cut, so lengths and positions agree.
    std::size_t Read(void* out, std::size_t frames) override {
        frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, frames_ - position_));
        std::size_t have = 0;
        while (have < frames) {
            const std::size_t n = Render(out, have, frames - have);
            if (n == 0) {
                std::memset(static_cast<unsigned char*>(out) + have * FrameBytes(), 0,
                            (frames - have) * FrameBytes());
                have = frames;
            }
            have += n;
        }
        position_ += have;
        return have;
    }

    bool Seek(std::uint64_t frame) override {
        if (frame > frames_) {
            return false;
        }
        openmpt_module_set_position_seconds(module_, static_cast<double>(frame) / kModuleRate);
        auto at = static_cast<std::uint64_t>(
            std::llround(openmpt_module_get_position_seconds(module_) * kModuleRate));
        if (at > frame) {
            openmpt_module_set_position_seconds(module_, 0.0);
            at = 0;
        }
        // Module positions are row-exact; render the rest of the way.
        std::vector<unsigned char> skip(4096 * FrameBytes());
        while (at < frame) {
            const std::size_t n =
                Render(skip.data(), 0,
                       static_cast<std::size_t>(std::min<std::uint64_t>(4096, frame - at)));
            if (n == 0) {
                break;
            }
            at += n;
        }
        position_ = frame;
        return true;
    }

  private:
    std::size_t FrameBytes() const { return float_ ? 8 : 4; }

    std::size_t Render(void* out, std::size_t offset, std::size_t frames) {
        if (float_) {
            return openmpt_module_read_interleaved_float_stereo(
                module_, kModuleRate, frames, static_cast<float*>(out) + offset * 2);
        }
        return openmpt_module_read_interleaved_stereo(module_, kModuleRate, frames,
                                                      static_cast<int16_t*>(out) + offset * 2);
    }

    openmpt_module* module_;
    bool float_;
    std::uint64_t position_ = 0;
};

}  // namespace

bool ProbeModule(const std::vector<unsigned char>& head, std::int64_t fileSize) {
    const std::size_t size =
        std::min<std::size_t>(head.size(), openmpt_probe_file_header_get_recommended_size());
    const int result = openmpt_probe_file_header(
        OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, head.data(), size,
        static_cast<std::uint64_t>(std::max<std::int64_t>(fileSize, 0)), openmpt_log_func_silent,
        nullptr, openmpt_error_func_ignore, nullptr, nullptr, nullptr);
    return result == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS;
}

Opened OpenModule(Source& source, SampleType type) {
    const openmpt_stream_callbacks callbacks{ReadCb, SeekCb, TellCb};
    const openmpt_module_initial_ctl ctls[] = {{"play.at_end", "stop"}, {nullptr, nullptr}};
    openmpt_module* module =
        openmpt_module_create2(callbacks, &source, openmpt_log_func_silent, nullptr,
                               openmpt_error_func_ignore, nullptr, nullptr, nullptr, ctls);
    if (module == nullptr) {
        return {nullptr, kErrorFileFormat};
    }
    auto decoder = std::make_unique<ModuleDecoder>(module, type);
    if (decoder->Frames() == 0) {
        return {nullptr, kErrorFileFormat};
    }
    return {std::move(decoder), kOk};
}

}  // namespace audio::detail
