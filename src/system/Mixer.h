#pragma once
// The sound card mixer reset: when the card's own mixer has muted or turned
// down the output, the player is silent however loud its own volume is.
#include <string>
#include <vector>

namespace mirvo {

class Dialogs;
class Engine;

// Raises "Master" and "PCM" of the ALSA mixer `device` to their maximum on
// every channel, then unmutes them. Returns the names of the controls found;
// a missing mixer or control is skipped.
std::vector<std::string> ResetMixerControls(const char* device);

// The command: the warning, the default card's mixer, then the player's own
// volume to its maximum.
void ResetSoundMixer(Dialogs& dialogs, Engine& engine);

}  // namespace mirvo
