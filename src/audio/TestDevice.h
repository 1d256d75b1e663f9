#pragma once
// The test device: a stand-in for sound hardware that plays only when the test
// says so and hands back every byte it played, so positions and output can be
// checked exactly and without waiting.
//
//   audio::Init(audio::test::kDevice, 44100, 0);    // 16-bit stereo at 44100 Hz
//   audio::Handle out = audio::StreamCreate(44100, 2, 0, Feed, &state);
//   audio::StreamPlay(out, false, 0);
//   audio::test::Update();                           // the update thread refills:
//                                                    // Feed and DSPs run there now
//   auto played = audio::test::Advance(4 * 4410);    // the "hardware" plays 100 ms
//   audio::Free();
//
// With this device the update thread runs only when Update() asks for a cycle;
// each cycle fills every playing output channel's buffer (option 0) from its feed,
// on the update thread as in real playback, so tests under ThreadSanitizer see the
// real threading. Advance() mixes on the calling thread; what the buffers lack is
// played as silence, as real hardware would. Output is bit-exact for 16-bit
// channels at the device's rate and channel count at full volume.
#include <cstdint>
#include <vector>

#include "audio/Audio.h"

namespace audio::test {

// The device number to pass to Init.
inline constexpr int kDevice = -100;

// Decoders that work ahead on threads of their own (the FFmpeg formats) first
// do all they can, so that a cycle finds what a machine with time to spare
// would; AsTheyAre runs the cycle at once, racing them.
enum class Decoders { CaughtUp, AsTheyAre };

// One update cycle, waited for; false when the test device is not in use or when
// called from a callback.
bool Update(Decoders decoders = Decoders::CaughtUp);

// The device plays `bytes` (rounded down to whole 4-byte frames) and returns
// them; nothing when the test device is not in use.
std::vector<std::uint8_t> Advance(std::uint64_t bytes);

// For real devices: the bytes of an output channel handed to the device so far,
// and the device's buffer in its own frames (0 when it keeps none).
std::uint64_t HandedBytes(Handle handle);
std::uint32_t DeviceBufferFrames();

}  // namespace audio::test
