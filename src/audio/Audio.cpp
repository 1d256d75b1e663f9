// The calls, over the library state of Library.h.
#include "audio/Audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/Library.h"
#include "audio/TestDevice.h"

namespace audio {

using detail::Fail;
using detail::Library;
using detail::Playback;
using detail::Stream;
using detail::Succeed;

namespace {

using State = Playback::State;

bool Finished(Playback& pb, detail::Device* device, detail::Clock::time_point now) {
    if (pb.state != State::Playing || !pb.ended || pb.played != pb.written) {
        return false;
    }
    return device == nullptr || device->Played(pb, now) >= pb.written;
}

std::uint32_t Activity(Playback& pb, detail::Device* device) {
    switch (pb.state) {
        case State::Stopped:
            return kActiveStopped;
        case State::Paused:
            return kActivePaused;
        case State::Playing:
            break;
    }
    if (Finished(pb, device, detail::Clock::now())) {
        return kActiveStopped;
    }
    if (pb.read == pb.written && pb.starved && !pb.ended) {
        return kActiveStalled;
    }
    return kActivePlaying;
}

std::uint64_t PlayedBytes(Playback& pb, detail::Device* device) {
    return device == nullptr ? pb.played : device->Played(pb, detail::Clock::now());
}

// Waits for a refill callback of this channel to return, unless this is the
// update thread itself.
void WaitIdle(Playback& pb, std::unique_lock<std::mutex>& lock) {
    if (!detail::OnUpdateThread()) {
        pb.idle.wait(lock, [&] { return !pb.busy; });
    }
}

detail::SampleType TypeFromFlags(std::uint32_t flags) {
    if ((flags & kSampleFloat) != 0) {
        return detail::SampleType::F32;
    }
    return (flags & kSample8Bits) != 0 ? detail::SampleType::U8 : detail::SampleType::S16;
}

Handle CreateFileStream(bool mem, const void* file, std::uint64_t offset, std::uint64_t length,
                        std::uint32_t flags, bool flacOnly) {
    if (file == nullptr) {
        return Fail(kErrorParameter, Handle{0});
    }
    int error = kOk;
    std::unique_ptr<detail::Source> source;
    if (mem) {
        source = detail::OpenMemorySource(file, length);
    } else {
        source = detail::OpenFileSource(static_cast<const char*>(file), offset, length, error);
        if (source == nullptr) {
            return Fail(error, Handle{0});
        }
    }
    const detail::SampleType type = TypeFromFlags(flags);
    const detail::SampleType decodeType =
        type == detail::SampleType::F32 ? type : detail::SampleType::S16;
    const detail::Scan scan = (flags & kStreamNoScan) != 0    ? detail::Scan::Never
                              : (flags & kStreamPrescan) != 0 ? detail::Scan::Always
                                                              : detail::Scan::IfNoHeader;
    detail::Opened opened = detail::OpenDecoder(*source, decodeType, flacOnly, scan);
    if (opened.decoder == nullptr) {
        return Fail(opened.error, Handle{0});
    }
    auto stream = std::make_shared<Stream>();
    stream->format = {opened.decoder->Rate(), opened.decoder->Channels(), type};
    stream->flags = flags & (kSample8Bits | kSampleFloat | kStreamDecode);
    stream->type = opened.decoder->Type();
    stream->decodeRate = stream->format.rate;
    if (opened.ahead) {
        stream->decoding = detail::DecodeAhead(std::move(source), std::move(opened.decoder), type);
    } else {
        stream->decoding = std::make_unique<detail::FileDecoding>(std::move(source),
                                                                  std::move(opened.decoder), type);
    }
    if ((flags & kStreamDecode) == 0) {
        stream->playback =
            std::make_unique<Playback>(stream->format, Library::Get().bufferMs.load());
    }
    return Library::Get().Add(std::move(stream));
}

// Looks up an output channel; sets the error code when it is not one.
std::shared_ptr<Stream> FindPlayback(Handle handle) {
    auto stream = Library::Get().Find(handle);
    if (stream != nullptr && stream->playback == nullptr) {
        Fail(kErrorDecode);
        return nullptr;
    }
    return stream;
}

}  // namespace

std::uint32_t GetVersion() {
    Succeed();
    return 2;
}

bool Init(int device, std::uint32_t freq, std::uint32_t, void*, const void*) {
    return Library::Get().Init(device, freq);
}

bool Free() {
    return Library::Get().Free();
}

std::uint32_t SetConfig(std::uint32_t option, std::uint32_t value) {
    auto& library = Library::Get();
    std::uint32_t result = 0;
    switch (option) {
        case kConfigBuffer:
            result = std::clamp<std::uint32_t>(value, 10, 5000);
            library.bufferMs = result;
            break;
        case kConfigUpdatePeriod:
            result = std::clamp<std::uint32_t>(value, 5, 100);
            library.updateMs = result;
            break;
        case kConfigMaxVolume:
            result = std::clamp<std::uint32_t>(value, 1, 10000);
            library.maxVolume = result;
            break;
        case kConfigNetTimeout:
            result = std::clamp<std::uint32_t>(value, 100, 60000);
            library.netTimeoutMs = result;
            break;
        default:
            return Fail(kErrorParameter, 0xFFFFFFFFu);
    }
    Succeed();
    return result;
}

std::optional<std::string> GetDeviceDescription(int device) {
    std::optional<std::string> name;
    if (device == 0) {
        name = "No sound";
    } else if (device == 1) {
        name = "Default";
    } else if (device >= 2) {
        name = detail::SdlDeviceName(device - 2);
    }
    if (!name) {
        Fail(kErrorDevice);
    } else {
        Succeed();
    }
    return name;
}

void SetFileReaderWrap(FileReaderWrap wrap) {
    detail::SetFileWrap(std::move(wrap));
    Succeed();
}

Handle StreamCreateFile(bool mem, const void* file, std::uint64_t offset, std::uint64_t length,
                        std::uint32_t flags) {
    return CreateFileStream(mem, file, offset, length, flags, false);
}

std::optional<double> HeaderSeconds(const char* file) {
    if (file == nullptr) {
        return Fail(kErrorParameter, std::optional<double>());
    }
    std::optional<double> seconds = detail::HeaderSecondsOf(file);
    if (!seconds) {
        return Fail(kErrorFileFormat, std::optional<double>());
    }
    Succeed();
    return seconds;
}

Handle FlacStreamCreateFile(bool mem, const void* file, std::uint64_t offset, std::uint64_t length,
                            std::uint32_t flags) {
    return CreateFileStream(mem, file, offset, length, flags, true);
}

Handle StreamCreate(std::uint32_t freq, std::uint32_t chans, std::uint32_t flags, StreamProc proc,
                    void* user) {
    if (proc == nullptr) {
        return Fail(kErrorParameter, Handle{0});
    }
    if (!detail::RateSupported(freq)) {
        return Fail(kErrorFrequency, Handle{0});
    }
    if (!detail::ChannelsSupported(chans)) {
        return Fail(kErrorFormat, Handle{0});
    }
    auto stream = std::make_shared<Stream>();
    stream->format = {freq, chans, TypeFromFlags(flags)};
    stream->flags = flags & (kSample8Bits | kSampleFloat);
    stream->type = kTypeUser;
    stream->feed = proc;
    stream->user = user;
    stream->playback = std::make_unique<Playback>(stream->format, Library::Get().bufferMs.load());
    return Library::Get().Add(std::move(stream));
}

bool StreamPlay(Handle handle, bool flush, std::uint32_t) {
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return false;
    }
    const auto device = Library::Get().CurrentDevice();
    Playback& pb = *stream->playback;
    {
        std::lock_guard lock(pb.mutex);
        const bool finished = Finished(pb, device.get(), detail::Clock::now());
        if (pb.state == State::Stopped || flush || finished) {
            pb.Reset();
            if (stream->decoding != nullptr && (finished || stream->decoding->Ended())) {
                stream->decoding->Seek(0);  // a file played to its end starts over
            }
        }
        pb.state = State::Playing;
    }
    Library::Get().WakeUpdater();
    Succeed();
    return true;
}

bool ChannelStop(Handle handle) {
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return false;
    }
    Playback& pb = *stream->playback;
    std::unique_lock lock(pb.mutex);
    pb.state = State::Stopped;
    pb.Reset();
    WaitIdle(pb, lock);
    Succeed();
    return true;
}

bool ChannelPause(Handle handle) {
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return false;
    }
    const auto device = Library::Get().CurrentDevice();
    Playback& pb = *stream->playback;
    std::lock_guard lock(pb.mutex);
    if (pb.state == State::Paused) {
        return Fail(kErrorAlready);
    }
    if (Activity(pb, device.get()) == kActiveStopped) {
        return Fail(kErrorNotPlaying);
    }
    pb.state = State::Paused;
    Succeed();
    return true;
}

bool ChannelResume(Handle handle) {
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return false;
    }
    {
        Playback& pb = *stream->playback;
        std::lock_guard lock(pb.mutex);
        if (pb.state != State::Paused) {
            return Fail(kErrorNotPaused);
        }
        pb.state = State::Playing;
    }
    Library::Get().WakeUpdater();
    Succeed();
    return true;
}

std::uint32_t ChannelIsActive(Handle handle) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return kActiveStopped;
    }
    Succeed();
    if (stream->playback == nullptr) {
        return stream->decoding->Activity();
    }
    const auto device = Library::Get().CurrentDevice();
    std::lock_guard lock(stream->playback->mutex);
    return Activity(*stream->playback, device.get());
}

std::uint64_t ChannelGetPosition(Handle handle) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return kPositionError;
    }
    Succeed();
    if (stream->playback == nullptr) {
        return stream->decoding->PositionFrames() * stream->format.FrameBytes();
    }
    const auto device = Library::Get().CurrentDevice();
    std::lock_guard lock(stream->playback->mutex);
    return PlayedBytes(*stream->playback, device.get());
}

bool ChannelSetPosition(Handle handle, std::uint64_t pos) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return false;
    }
    if (stream->decoding == nullptr || !stream->decoding->Seekable()) {
        return Fail(kErrorNotFile);
    }
    const std::uint64_t frame = pos / stream->format.FrameBytes();
    if (frame > stream->decoding->LengthFrames()) {
        return Fail(kErrorPosition);
    }
    if (stream->playback != nullptr) {
        // A file played directly: what is buffered belongs to the old position.
        Playback& pb = *stream->playback;
        std::unique_lock lock(pb.mutex);
        pb.Reset();
        WaitIdle(pb, lock);
    }
    if (!stream->decoding->Seek(frame)) {
        return Fail(kErrorPosition);
    }
    Succeed();
    return true;
}

float ChannelBytes2Seconds(Handle handle, std::uint64_t pos) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return -1.0f;
    }
    Succeed();
    const double perSecond = static_cast<double>(stream->format.rate) * stream->format.FrameBytes();
    return static_cast<float>(static_cast<double>(pos) / perSecond);
}

std::uint64_t ChannelSeconds2Bytes(Handle handle, float seconds) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return kPositionError;
    }
    Succeed();
    if (!(seconds > 0.0f)) {
        return 0;
    }
    // To the nearest frame, so that whole milliseconds survive the float.
    const auto frames = static_cast<std::uint64_t>(
        std::llround(static_cast<double>(seconds) * stream->format.rate));
    return frames * stream->format.FrameBytes();
}

std::uint64_t StreamGetLength(Handle handle) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return kPositionError;
    }
    if (stream->decoding == nullptr) {
        return Fail(kErrorNotAvailable, kPositionError);
    }
    Succeed();
    return stream->decoding->LengthFrames() * stream->format.FrameBytes();
}

std::uint64_t StreamGetFilePosition(Handle handle, std::uint32_t mode) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return kPositionError;
    }
    if (stream->decoding == nullptr) {
        return Fail(kErrorNotFile, kPositionError);
    }
    std::uint64_t result = 0;
    switch (mode) {
        case kFilePosCurrent:
            result = stream->decoding->SourcePosition();
            break;
        case kFilePosDownload:
            result = stream->decoding->SourceAvailable();
            break;
        case kFilePosEnd:
            result = stream->decoding->SourceSize();
            break;
        default:
            return Fail(kErrorParameter, kPositionError);
    }
    Succeed();
    return result;
}

bool ChannelGetInfo(Handle handle, ChannelInfo* info) {
    if (info == nullptr) {
        return Fail(kErrorParameter);
    }
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return false;
    }
    info->Frequency = stream->format.rate;
    info->Channels = stream->format.channels;
    info->Flags = stream->flags;
    info->StreamType = stream->type;
    Succeed();
    return true;
}

bool ChannelGetAttributes(Handle handle, std::uint32_t* freq, std::uint32_t* volume, int* pan) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return false;
    }
    std::uint32_t rate = stream->decodeRate;
    float gain = stream->decodeVolume;
    float balance = stream->decodePan;
    if (stream->playback != nullptr) {
        std::lock_guard lock(stream->playback->mutex);
        rate = stream->playback->playRate;
        gain = stream->playback->volume.value;
        balance = stream->playback->pan.value;
    }
    if (freq != nullptr) {
        *freq = rate;
    }
    if (volume != nullptr) {
        *volume = static_cast<std::uint32_t>(std::lround(gain * Library::Get().maxVolume));
    }
    if (pan != nullptr) {
        *pan = static_cast<int>(std::lround(balance * 100.0f));
    }
    Succeed();
    return true;
}

namespace {

// Volume and pan move over `time` ms of device output; 0 sets them at once.
bool ApplyAttributes(Handle handle, int freq, int volume, int pan, std::uint32_t time) {
    const std::uint32_t maxVolume = Library::Get().maxVolume;
    if ((freq != -1 && freq != 0 && (freq < 100 || freq > 384000)) ||
        (volume != -1 && (volume < 0 || static_cast<std::uint32_t>(volume) > maxVolume)) ||
        (pan != -101 && (pan < -100 || pan > 100))) {
        return Fail(kErrorParameter);
    }
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return false;
    }
    const auto rate = static_cast<std::uint32_t>(freq == 0 ? stream->format.rate : freq);
    const float gain = static_cast<float>(volume) / static_cast<float>(maxVolume);
    const float balance = static_cast<float>(pan) / 100.0f;
    if (stream->playback == nullptr) {
        // Decode streams keep the values for the asking; nothing plays them.
        if (freq != -1) {
            stream->decodeRate = rate;
        }
        if (volume != -1) {
            stream->decodeVolume = gain;
        }
        if (pan != -101) {
            stream->decodePan = balance;
        }
        Succeed();
        return true;
    }
    const auto device = Library::Get().CurrentDevice();
    const std::uint64_t frames =
        device == nullptr ? 0 : std::uint64_t{time} * device->Rate() / 1000;
    Playback& pb = *stream->playback;
    std::lock_guard lock(pb.mutex);
    if (freq != -1) {
        pb.playRate = rate;
    }
    if (volume != -1) {
        pb.volume.Slide(gain, frames);
    }
    if (pan != -101) {
        pb.pan.Slide(balance, frames);
    }
    Succeed();
    return true;
}

}  // namespace

bool ChannelSetAttributes(Handle handle, int freq, int volume, int pan) {
    return ApplyAttributes(handle, freq, volume, pan, 0);
}

bool ChannelSlideAttributes(Handle handle, int freq, int volume, int pan, std::uint32_t time) {
    return ApplyAttributes(handle, freq, volume, pan, time);
}

std::uint32_t ChannelGetData(Handle handle, void* buffer, std::uint32_t length) {
    if (buffer == nullptr || (length & 0x80000000u) != 0) {
        return Fail(kErrorParameter, kDataError);
    }
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return kDataError;
    }
    if (stream->playback == nullptr) {
        const std::uint32_t got = stream->decoding->Read(buffer, length);
        if (got == 0 && stream->decoding->Failed()) {
            return Fail(kErrorFileFormat, kDataError);
        }
        Succeed();
        return got;
    }
    const auto device = Library::Get().CurrentDevice();
    Playback& pb = *stream->playback;
    std::lock_guard lock(pb.mutex);
    const std::uint32_t activity = Activity(pb, device.get());
    if (activity != kActivePlaying && activity != kActiveStalled) {
        return Fail(kErrorNotPlaying, kDataError);
    }
    const std::uint32_t frameBytes = pb.format.FrameBytes();
    length -= length % frameBytes;
    Succeed();
    if (activity == kActiveStalled) {
        std::memset(buffer, 0, length);  // the device plays silence meanwhile
        return length;
    }
    const std::uint64_t end = PlayedBytes(pb, device.get());
    const std::uint64_t floor = pb.read > pb.historyBytes ? pb.read - pb.historyBytes : 0;
    const std::uint64_t start = std::min(end, std::max(floor, end > length ? end - length : 0));
    pb.Copy(start, static_cast<unsigned char*>(buffer), end - start);
    return static_cast<std::uint32_t>(end - start);
}

DspHandle ChannelSetDSP(Handle handle, DspProc proc, void* user, int priority) {
    if (proc == nullptr) {
        return Fail(kErrorParameter, DspHandle{0});
    }
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return 0;
    }
    const DspHandle dsp = Library::Get().NewHandle();
    Playback& pb = *stream->playback;
    std::lock_guard lock(pb.mutex);
    const auto at = std::find_if(pb.dsps.begin(), pb.dsps.end(),
                                 [&](const detail::Dsp& d) { return d.priority < priority; });
    pb.dsps.insert(at, {dsp, proc, user, priority});
    Succeed();
    return dsp;
}

bool ChannelRemoveDSP(Handle handle, DspHandle dsp) {
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return false;
    }
    Playback& pb = *stream->playback;
    std::unique_lock lock(pb.mutex);
    if (std::erase_if(pb.dsps, [&](const detail::Dsp& d) { return d.handle == dsp; }) == 0) {
        return Fail(kErrorHandle);
    }
    WaitIdle(pb, lock);
    Succeed();
    return true;
}

bool StreamFree(Handle handle) {
    auto stream = Library::Get().Remove(handle);
    if (stream == nullptr) {
        return false;
    }
    if (stream->playback != nullptr) {
        Playback& pb = *stream->playback;
        std::unique_lock lock(pb.mutex);
        pb.state = State::Stopped;
        pb.Reset();
        WaitIdle(pb, lock);
    }
    if (stream->decoding != nullptr) {
        stream->decoding->Close();
    }
    Succeed();
    return true;
}

bool MusicFree(Handle handle) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return false;
    }
    if (!stream->IsModule()) {
        return Fail(kErrorHandle);
    }
    return StreamFree(handle);
}

int ErrorGetCode() {
    return detail::LastError();
}

namespace test {

bool Update(Decoders decoders) {
    return Library::Get().RunUpdate(decoders == Decoders::CaughtUp);
}

std::vector<std::uint8_t> Advance(std::uint64_t bytes) {
    auto device = std::dynamic_pointer_cast<detail::TestDevice>(Library::Get().CurrentDevice());
    if (device == nullptr) {
        return {};
    }
    return device->Advance(bytes);
}

std::uint64_t HandedBytes(Handle handle) {
    auto stream = FindPlayback(handle);
    if (stream == nullptr) {
        return 0;
    }
    std::lock_guard lock(stream->playback->mutex);
    return stream->playback->renderRead;
}

std::uint32_t DeviceBufferFrames() {
    const auto device = Library::Get().CurrentDevice();
    return device == nullptr ? 0 : device->BufferFrames();
}

}  // namespace test

}  // namespace audio
