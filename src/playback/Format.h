#pragma once
// One-line descriptions of audio streams ("MP3 128 kbps Stereo") and the
// single values they are made of. With handle 0 each routine opens its own
// decode stream on the file and frees it again.
#include <string>

#include "audio/Audio.h"

namespace mirvo {

std::string FormatName(const std::string& fileName, audio::Handle handle);
int StreamFrequency(const std::string& fileName, audio::Handle handle);
int StreamChannels(const std::string& fileName, audio::Handle handle);
bool StreamIsStereo(const std::string& fileName, audio::Handle handle);
bool StreamIs16Bit(const std::string& fileName, audio::Handle handle);
int StreamKbps(const std::string& fileName, audio::Handle handle);
// The bits-per-sample field of a canonical 44-byte WAV header; 0 when unreadable.
int WaveBitsPerSample(const std::string& fileName);
std::string FormatDescription(const std::string& fileName, audio::Handle handle);

}  // namespace mirvo
