#include "audio/Device.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace audio::detail {
namespace {

SDL_AudioFormat SdlFormat(SampleType type) {
    switch (type) {
        case SampleType::U8:
            return AUDIO_U8;
        case SampleType::S16:
            return AUDIO_S16SYS;
        case SampleType::F32:
            return AUDIO_F32SYS;
    }
    return AUDIO_S16SYS;
}

void ToFloat(const unsigned char* in, SampleType type, std::size_t samples, float* out) {
    switch (type) {
        case SampleType::U8:
            for (std::size_t i = 0; i < samples; ++i) {
                out[i] = static_cast<float>(static_cast<int>(in[i]) - 128) * (1.0f / 128.0f);
            }
            break;
        case SampleType::S16:
            for (std::size_t i = 0; i < samples; ++i) {
                std::int16_t s;
                std::memcpy(&s, in + i * 2, 2);
                out[i] = static_cast<float>(s) * (1.0f / 32768.0f);
            }
            break;
        case SampleType::F32:
            std::memcpy(out, in, samples * sizeof(float));
            break;
    }
}

// SDL's audio subsystem is reference-counted; every user holds one reference.
bool AcquireSdlAudio() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

void ReleaseSdlAudio() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

void Device::Attach(std::shared_ptr<Stream> stream) {
    std::lock_guard lock(listMutex_);
    streams_.push_back(std::move(stream));
}

void Device::Detach(const Stream* stream) {
    std::lock_guard lock(listMutex_);
    std::erase_if(streams_, [&](const auto& s) { return s.get() == stream; });
}

std::vector<std::shared_ptr<Stream>> Device::Streams() {
    std::lock_guard lock(listMutex_);
    return streams_;
}

void Device::CopyStreams(std::vector<std::shared_ptr<Stream>>& out) {
    std::lock_guard lock(listMutex_);
    out.assign(streams_.begin(), streams_.end());
}

std::uint64_t Device::Played(Playback& pb, Clock::time_point now) const {
    if (latencyFrames_ == 0) {
        return pb.played;
    }
    // Handed to the device minus what it still holds, moving on with the clock
    // between callbacks, never backwards and never past what it was handed.
    const double frameBytes = pb.format.FrameBytes();
    const double rate = pb.playRate;
    const double latency = static_cast<double>(latencyFrames_) * rate / output_.rate * frameBytes;
    const double elapsed =
        std::chrono::duration<double>(now - pb.renderTime).count() * rate * frameBytes;
    double estimate = static_cast<double>(pb.renderRead) - latency + std::max(elapsed, 0.0);
    estimate = std::clamp(estimate, 0.0, static_cast<double>(pb.renderRead));
    auto played = static_cast<std::uint64_t>(estimate);
    played -= played % pb.format.FrameBytes();
    pb.reported = std::max(pb.reported, played);
    return pb.reported;
}

void Device::Render(void* out, std::uint32_t frames) {
    const std::size_t samples = std::size_t{frames} * output_.channels;
    mix_.assign(samples, 0.0f);
    {
        std::lock_guard lock(listMutex_);
        const auto now = Clock::now();
        for (const auto& stream : streams_) {
            Playback& pb = *stream->playback;
            std::lock_guard channelLock(pb.mutex);
            Mix(pb, frames, now);
        }
    }
    if (output_.type == SampleType::F32) {
        auto* dst = static_cast<float*>(out);
        for (std::size_t i = 0; i < samples; ++i) {
            dst[i] = std::clamp(mix_[i], -1.0f, 1.0f);
        }
    } else {
        auto* dst = static_cast<std::int16_t*>(out);
        for (std::size_t i = 0; i < samples; ++i) {
            // Exact for 16-bit sources at full volume: s / 32768 * 32768 == s.
            const long v = std::lrint(mix_[i] * 32768.0f);
            dst[i] = static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
        }
    }
}

void Device::Mix(Playback& pb, std::uint32_t frames, Clock::time_point now) {
    if (pb.state == Playback::State::Playing) {
        const bool direct = pb.playRate == output_.rate && pb.format.channels == output_.channels;
        channel_.resize(std::size_t{frames} * output_.channels);
        const std::uint32_t got = direct ? Pull(pb, frames) : Convert(pb, frames);
        const std::uint32_t chans = output_.channels;
        for (std::uint32_t i = 0; i < got; ++i) {
            const float volume = pb.volume.At(i);
            const float pan = pb.pan.At(i);
            const float left = volume * (pan > 0.0f ? 1.0f - pan : 1.0f);
            const float right = volume * (pan < 0.0f ? 1.0f + pan : 1.0f);
            for (std::uint32_t c = 0; c < chans; ++c) {
                const float gain = c == 0 ? left : c == 1 ? right : volume;
                mix_[i * chans + c] += channel_[i * chans + c] * gain;
            }
        }
        if (direct) {
            pb.played += std::uint64_t{got} * pb.format.FrameBytes();
        } else {
            // In the channel's own time: the resampler keeps some input back.
            pb.outFrames += got;
            const std::uint64_t frames = pb.outFrames * pb.playRate / output_.rate;
            const bool drained =
                pb.ended && pb.read == pb.written && SDL_AudioStreamAvailable(pb.converter) == 0;
            pb.played = drained ? pb.written : std::min(pb.read, frames * pb.format.FrameBytes());
        }
        // The clock reference moves only with new data, so that the estimate
        // runs on to the end once the data has stopped.
        if (pb.played != pb.renderRead) {
            pb.renderRead = pb.played;
            pb.renderTime = now;
        }
    }
    pb.volume.Advance(frames);
    pb.pan.Advance(frames);
}

std::uint32_t Device::Pull(Playback& pb, std::uint32_t frames) {
    const std::uint32_t frameBytes = pb.format.FrameBytes();
    const auto n = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(frames, (pb.written - pb.read) / frameBytes));
    bytes_.resize(std::size_t{n} * frameBytes);
    pb.Copy(pb.read, bytes_.data(), bytes_.size());
    pb.read += bytes_.size();
    ToFloat(bytes_.data(), pb.format.type, std::size_t{n} * pb.format.channels, channel_.data());
    return n;
}

std::uint32_t Device::Convert(Playback& pb, std::uint32_t frames) {
    if (pb.converter == nullptr || pb.converterRate != pb.playRate) {
        if (pb.converter != nullptr) {
            SDL_FreeAudioStream(pb.converter);
        }
        pb.converter = SDL_NewAudioStream(
            SdlFormat(pb.format.type), static_cast<Uint8>(pb.format.channels),
            static_cast<int>(pb.playRate), AUDIO_F32SYS, static_cast<Uint8>(output_.channels),
            static_cast<int>(output_.rate));
        pb.converterRate = pb.playRate;
        if (pb.converter == nullptr) {
            return 0;
        }
    }
    const std::uint32_t frameBytes = pb.format.FrameBytes();
    const int need = static_cast<int>(frames * output_.channels * sizeof(float));
    while (SDL_AudioStreamAvailable(pb.converter) < need) {
        const std::uint64_t left = pb.written - pb.read;
        if (left == 0) {
            if (!pb.ended || pb.flushed) {
                break;
            }
            SDL_AudioStreamFlush(pb.converter);  // the resampler's tail
            pb.flushed = true;
            continue;
        }
        // Only about what the missing output needs, so the position stays close.
        const int missing = need - SDL_AudioStreamAvailable(pb.converter);
        const std::uint64_t wanted =
            (static_cast<std::uint64_t>(missing) / (output_.channels * sizeof(float)) *
                 pb.playRate / output_.rate +
             1) *
            frameBytes;
        const std::uint64_t at = pb.read % pb.ring.size();
        std::uint64_t n = std::min<std::uint64_t>({left, pb.ring.size() - at, wanted});
        n -= n % frameBytes;
        if (n == 0 ||
            SDL_AudioStreamPut(pb.converter, pb.ring.data() + at, static_cast<int>(n)) != 0) {
            break;
        }
        pb.read += n;
    }
    const int got = SDL_AudioStreamGet(pb.converter, channel_.data(), need);
    return got > 0 ? static_cast<std::uint32_t>(got) / (output_.channels * sizeof(float)) : 0;
}

NullDevice::NullDevice(std::uint32_t rate) : Device({rate, 2, SampleType::F32}) {}

bool NullDevice::Start() {
    quit_ = false;
    thread_ = std::thread([this] {
        std::vector<float> out(4096 * 2);
        const auto start = Clock::now();
        std::uint64_t rendered = 0;
        while (!quit_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            auto due = static_cast<std::uint64_t>(elapsed * output_.rate);
            while (rendered < due && !quit_) {
                const auto n =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(due - rendered, 4096));
                Render(out.data(), n);
                rendered += n;
            }
        }
    });
    return true;
}

void NullDevice::Stop() {
    quit_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

SdlDevice::SdlDevice(std::uint32_t rate, std::string name)
    : Device({rate, 2, SampleType::F32}), name_(std::move(name)) {}

bool SdlDevice::Start() {
    if (!AcquireSdlAudio()) {
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(output_.rate);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 4096;
    want.callback = Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // SDL converts to whatever the hardware takes.
    id_ = SDL_OpenAudioDevice(name_.empty() ? nullptr : name_.c_str(), 0, &want, &have, 0);
    if (id_ == 0) {
        ReleaseSdlAudio();
        return false;
    }
    bufferFrames_ = have.samples;
    // Behind the buffer just rendered the sound system queues about one more;
    // SDL's PulseAudio backend refills the server's from half empty, so there
    // it is one and a half in all (as the sound sync test hears it).
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool pulse = driver != nullptr && std::strcmp(driver, "pulseaudio") == 0;
    latencyFrames_ = pulse ? bufferFrames_ * 3 / 2 : 2 * bufferFrames_;
    SDL_PauseAudioDevice(id_, 0);
    return true;
}

void SdlDevice::Stop() {
    if (id_ != 0) {
        SDL_CloseAudioDevice(id_);  // waits for a callback in progress
        id_ = 0;
        ReleaseSdlAudio();
    }
}

void SdlDevice::Callback(void* self, std::uint8_t* stream, int len) {
    auto* device = static_cast<SdlDevice*>(self);
    device->Render(stream, static_cast<std::uint32_t>(len) / (2 * sizeof(float)));
}

TestDevice::TestDevice(std::uint32_t rate) : Device({rate, 2, SampleType::S16}) {}

void TestDevice::Stop() {
    std::lock_guard lock(renderMutex_);
    stopped_ = true;
}

std::vector<std::uint8_t> TestDevice::Advance(std::uint64_t bytes) {
    std::lock_guard lock(renderMutex_);
    const std::uint64_t frames = stopped_ ? 0 : bytes / 4;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(frames * 4));
    for (std::uint64_t done = 0; done < frames;) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames - done, 4096));
        Render(out.data() + done * 4, n);
        done += n;
    }
    return out;
}

std::optional<std::string> SdlDeviceName(int index) {
    if (!AcquireSdlAudio()) {
        return std::nullopt;
    }
    std::optional<std::string> name;
    if (index >= 0 && index < SDL_GetNumAudioDevices(0)) {
        const char* text = SDL_GetAudioDeviceName(index, 0);
        if (text != nullptr) {
            name = text;
        }
    }
    ReleaseSdlAudio();
    return name;
}

}  // namespace audio::detail
