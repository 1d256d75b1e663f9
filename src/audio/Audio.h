#pragma once
// The program's audio library: decode streams over real decoders, one output
// device, and output channels fed by a callback. Handle-based calls in the shape
// the player was written against; every call sets the thread's error code.
//
// Threads: the device renders on its own thread (SDL's callback, the "No sound"
// clock, or the test thread for the test device); one update thread refills the
// output channels' buffers and runs the feed and DSP callbacks. No library lock is
// held while a callback runs. ChannelStop, StreamFree and ChannelRemoveDSP wait
// for a callback of that channel that is running on the update thread, so the
// caller must not hold a lock the callback takes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace audio {

// 32-bit handles, never 0; a freed handle is never handed out again.
using Handle = std::uint32_t;
using DspHandle = std::uint32_t;

// Sample and stream flags.
inline constexpr std::uint32_t kSample8Bits = 0x1;
inline constexpr std::uint32_t kSampleFloat = 0x100;
inline constexpr std::uint32_t kStreamDecode = 0x200000;
// MP3 files: scan the whole file for exact seek points even when its Info/Xing
// header gives the length (without that header a file is always scanned).
inline constexpr std::uint32_t kStreamPrescan = 0x20000;
// MP3 files: never scan; the length is the header's or an estimate. For a quick
// look at the format.
inline constexpr std::uint32_t kStreamNoScan = 0x40000;
// URL streams: collect the station's metadata (response headers, in-stream titles).
// Without kStreamDecode the stream only connects for them and decodes nothing.
inline constexpr std::uint32_t kStreamStatus = 0x400000;

// StreamGetTags types.
inline constexpr std::uint32_t kTagHttp = 4;  // the response headers
inline constexpr std::uint32_t kTagMeta = 5;  // the latest in-stream metadata

// Or-ed into a feed callback's result when the stream has ended.
inline constexpr std::uint32_t kFeedEnd = 0x80000000;
// Result of ChannelGetData on failure.
inline constexpr std::uint32_t kDataError = 0xFFFFFFFF;
// Result of the 64-bit position and length calls on failure.
inline constexpr std::uint64_t kPositionError = ~std::uint64_t{0};

// ChannelIsActive.
inline constexpr std::uint32_t kActiveStopped = 0;
inline constexpr std::uint32_t kActivePlaying = 1;
inline constexpr std::uint32_t kActiveStalled = 2;
inline constexpr std::uint32_t kActivePaused = 3;

// Stream types of ChannelInfo.
inline constexpr std::uint32_t kTypeUser = 0x10000;
inline constexpr std::uint32_t kTypeWave = 0x10001;
inline constexpr std::uint32_t kTypeOgg = 0x10002;
inline constexpr std::uint32_t kTypeMp1 = 0x10003;
inline constexpr std::uint32_t kTypeMp2 = 0x10004;
inline constexpr std::uint32_t kTypeMp3 = 0x10005;
inline constexpr std::uint32_t kTypeFlac = 0x10900;
inline constexpr std::uint32_t kTypeFlacOgg = 0x10901;
inline constexpr std::uint32_t kTypeAac = 0x10b00;  // AAC and HE-AAC in ADTS
inline constexpr std::uint32_t kTypeMp4 = 0x10b01;  // AAC in MP4
inline constexpr std::uint32_t kTypeWavPack = 0x10500;
inline constexpr std::uint32_t kTypeApe = 0x10700;
inline constexpr std::uint32_t kTypeAlac = 0x10e00;  // ALAC in MP4
inline constexpr std::uint32_t kTypeOpus = 0x11200;  // Ogg Opus
inline constexpr std::uint32_t kTypeMod = 0x20000;
inline constexpr std::uint32_t kTypeMtm = 0x20001;
inline constexpr std::uint32_t kTypeS3m = 0x20002;
inline constexpr std::uint32_t kTypeXm = 0x20003;
inline constexpr std::uint32_t kTypeIt = 0x20004;
inline constexpr std::uint32_t kTypeMo3Flag = 0x100;

// SetConfig options.
inline constexpr std::uint32_t kConfigBuffer = 0;        // playback buffer, ms (10..5000)
inline constexpr std::uint32_t kConfigUpdatePeriod = 1;  // update thread period, ms (5..100)
inline constexpr std::uint32_t kConfigMaxVolume = 3;     // top of the volume attribute
// Time a station has to connect and answer with audio, ms (100..60000; 12000).
inline constexpr std::uint32_t kConfigNetTimeout = 11;

// StreamGetFilePosition modes.
inline constexpr std::uint32_t kFilePosCurrent = 0;
inline constexpr std::uint32_t kFilePosDownload = 1;
inline constexpr std::uint32_t kFilePosEnd = 2;

// Error codes (ErrorGetCode).
inline constexpr int kOk = 0;
inline constexpr int kErrorMemory = 1;
inline constexpr int kErrorFileOpen = 2;       // missing, unreadable, a folder
inline constexpr int kErrorDriver = 3;         // the output device cannot be opened
inline constexpr int kErrorHandle = 5;         // 0 or stale handle
inline constexpr int kErrorFormat = 6;         // unsupported sample format
inline constexpr int kErrorPosition = 7;       // position beyond the end
inline constexpr int kErrorInit = 8;           // Init has not been called
inline constexpr int kErrorAlready = 14;       // already initialised / paused
inline constexpr int kErrorNotPaused = 16;     // ChannelResume on a channel that is not paused
inline constexpr int kErrorNotAudio = 17;      // the file is not audio at all
inline constexpr int kErrorParameter = 20;     // an argument out of range
inline constexpr int kErrorDevice = 23;        // no such device number
inline constexpr int kErrorNotPlaying = 24;    // the channel is not playing
inline constexpr int kErrorFrequency = 25;     // unsupported sample rate
inline constexpr int kErrorNotFile = 27;       // the call needs a file stream
inline constexpr int kErrorNoNet = 32;         // the host name does not resolve
inline constexpr int kErrorNotAvailable = 37;  // not available on this kind of channel
inline constexpr int kErrorDecode = 38;        // the call needs an output channel
inline constexpr int kErrorTimeout = 40;       // the server did not answer in time
inline constexpr int kErrorFileFormat = 41;    // no decoder recognises the data, or the
                                               // server's answer is not a stream
inline constexpr int kErrorBusy = 46;          // called from a callback where it cannot work
inline constexpr int kErrorMetaInterval = 48;  // a station announces an absurd metadata interval
inline constexpr int kErrorCancelled = 49;     // the caller ended a connect
inline constexpr int kErrorUnknown = -1;

struct ChannelInfo {
    std::uint32_t Frequency = 0;
    std::uint32_t Channels = 0;
    std::uint32_t Flags = 0;  // kSample8Bits, kSampleFloat, kStreamDecode
    std::uint32_t StreamType = 0;
};

// Feed of an output channel: write up to `length` bytes to `buffer` and return
// how many, or-ed with kFeedEnd once the stream has ended. Runs on the update thread.
using StreamProc = std::uint32_t (*)(Handle handle, void* buffer, std::uint32_t length, void* user);
// Sees every block fed to an output channel, in place, on the update thread.
using DspProc = void (*)(DspHandle dsp, Handle channel, void* buffer, std::uint32_t length,
                         void* user);

// What the decoders read from.
class Reader {
  public:
    virtual ~Reader() = default;
    // Reads up to `n` bytes; fewer at the end of the data or on a read error.
    virtual std::size_t Read(void* dst, std::size_t n) = 0;
    virtual bool Seek(std::int64_t pos) = 0;
    virtual std::int64_t Tell() const = 0;
    // Total bytes, -1 when unknown.
    virtual std::int64_t Size() const = 0;
};

// Puts a reader of the caller's around every file opened from now on (an empty
// function: none), e.g. to watch or slow down file input. Process-wide; called on
// the thread that creates the stream.
using FileReaderWrap =
    std::function<std::unique_ptr<Reader>(std::unique_ptr<Reader> file, const std::string& path)>;
void SetFileReaderWrap(FileReaderWrap wrap);

// 2 = version 2.0 (major in the low word, minor in the high word).
std::uint32_t GetVersion();

// Device 0 "No sound", 1 (or -1) the system's default output, 2.. the devices
// GetDeviceDescription names. `freq` is the output rate (0 = 44100); `flags`,
// `window` and `classId` are accepted for the interface and unused.
bool Init(int device, std::uint32_t freq, std::uint32_t flags, void* window = nullptr,
          const void* classId = nullptr);
// Releases the device and frees its output channels; decode streams stay usable.
bool Free();
// Returns the value now in force, or 0xFFFFFFFF for an unknown option.
std::uint32_t SetConfig(std::uint32_t option, std::uint32_t value);
// The name of an output device, none past the last.
std::optional<std::string> GetDeviceDescription(int device);

// A stream on a file (`mem` false: `file` is a UTF-8 path, `offset`/`length`
// select a part of it, length 0 = to the end) or on memory the caller keeps alive
// (`mem` true: `length` bytes at `file`). With kStreamDecode it is a decode stream
// read with ChannelGetData; without, it is an output channel on the device.
// MP1/MP2/MP3, Ogg Vorbis, FLAC, WAV, Ogg Opus, MP4 (AAC, ALAC), WavPack, Monkey's
// Audio and tracker modules, told apart by content.
Handle StreamCreateFile(bool mem, const void* file, std::uint64_t offset, std::uint64_t length,
                        std::uint32_t flags);
// A stream on an internet address (http or https, ICY servers included), read by
// a download thread of its own; `offset` and `proc`/`user` (a download callback)
// are accepted for the interface and unused. Blocks the calling thread until the
// station answered with audio a decoder recognised, or the network time-out
// (kConfigNetTimeout) passed, so never call it on the UI or update thread.
// MP3, Ogg Vorbis, Ogg Opus and AAC (ADTS) stations; an answer that is a playlist
// is followed to its first address. kStreamDecode gives a decode stream whose
// ChannelGetData never waits (it returns what is decoded, possibly nothing; the
// stream is stalled meanwhile); kStreamStatus alone only connects for the headers
// and the first metadata block, and returns once the headers are there. No
// length, no seeking. Codes: 2 refused or an HTTP error, 32 no such host,
// 40 time-out, 41 not HTTP, 17 an answer that is no stream, 48 an absurd
// metadata interval. `cancel`, when set from another thread, ends the connect
// at once (code 49).
using DownloadProc = void (*)(const void* buffer, std::uint32_t length, void* user);
Handle StreamCreateURL(const char* url, std::uint32_t offset, std::uint32_t flags,
                       DownloadProc proc, void* user, const std::atomic<bool>* cancel = nullptr);
// A URL stream's tag block: NUL-terminated strings followed by an empty one
// (kTagHttp), or the latest in-stream metadata text (kTagMeta). None when the
// stream has no such block. Any thread.
std::optional<std::string> StreamGetTags(Handle handle, std::uint32_t tags);
// A URL stream's bit rate in kbit/s: what its decoder says (MP3 frames, Vorbis
// headers), else the data it has taken per second of sound. 0 when not known
// yet or not a station. Any thread.
std::uint32_t StreamGetBitrate(Handle handle);

// The playing length in seconds that an MP3 or WAV file's headers state (an
// MP3's Info/Xing or VBRI frame count, else an estimate from its first frame's
// bit rate), reading a few kilobytes and opening no decoder. None for other
// files and for headers that do not add up.
std::optional<double> HeaderSeconds(const char* file);

// The same for FLAC (native or in Ogg) only.
Handle FlacStreamCreateFile(bool mem, const void* file, std::uint64_t offset, std::uint64_t length,
                            std::uint32_t flags);
// An output channel fed by `proc` (kSample8Bits or kSampleFloat select the sample type).
Handle StreamCreate(std::uint32_t freq, std::uint32_t chans, std::uint32_t flags, StreamProc proc,
                    void* user);

// Starts an output channel (a stopped one from position 0); resumes a paused one
// unless `flush`, which restarts it.
bool StreamPlay(Handle handle, bool flush, std::uint32_t flags);
bool ChannelStop(Handle handle);
bool ChannelPause(Handle handle);
bool ChannelResume(Handle handle);
std::uint32_t ChannelIsActive(Handle handle);

// Bytes played (output channels) or decoded (decode streams).
std::uint64_t ChannelGetPosition(Handle handle);
// Sample-exact seek of a stream with a decoder.
bool ChannelSetPosition(Handle handle, std::uint64_t pos);
float ChannelBytes2Seconds(Handle handle, std::uint64_t pos);
std::uint64_t ChannelSeconds2Bytes(Handle handle, float seconds);
std::uint64_t StreamGetLength(Handle handle);
std::uint64_t StreamGetFilePosition(Handle handle, std::uint32_t mode);
bool ChannelGetInfo(Handle handle, ChannelInfo* info);

// Frequency (-1 unchanged, 0 original), volume 0..max (-1 unchanged), pan -100..100
// (-101 unchanged). A new frequency changes an output channel's playback rate.
bool ChannelGetAttributes(Handle handle, std::uint32_t* freq, std::uint32_t* volume, int* pan);
bool ChannelSetAttributes(Handle handle, int freq, int volume, int pan);
// Volume and pan move to the target over `time` ms of the device's output.
bool ChannelSlideAttributes(Handle handle, int freq, int volume, int pan, std::uint32_t time);

// Decode streams: decodes up to `length` bytes; kDataError with
// kErrorFileFormat once the data changed its format mid-way (decoding ended
// at the change). Playing output channels: copies the most recently played
// bytes without consuming anything.
std::uint32_t ChannelGetData(Handle handle, void* buffer, std::uint32_t length);

// Output channels only; higher priorities run first.
DspHandle ChannelSetDSP(Handle handle, DspProc proc, void* user, int priority);
bool ChannelRemoveDSP(Handle handle, DspHandle dsp);

// Freeing 0 or a stale handle only sets kErrorHandle.
bool StreamFree(Handle handle);
// Frees a tracker module stream; other handles are left alone.
bool MusicFree(Handle handle);

// The error code of this thread's last call.
int ErrorGetCode();

}  // namespace audio
