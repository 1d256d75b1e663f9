#include "system/Mixer.h"

#include <alsa/asoundlib.h>

#include "playback/Engine.h"
#include "player/Interfaces.h"

namespace mirvo {
namespace {

constexpr const char* kControls[] = {"Master", "PCM"};

snd_mixer_elem_t* FindControl(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, name);
    return snd_mixer_find_selem(mixer, id);
}

}  // namespace

std::vector<std::string> ResetMixerControls(const char* device) {
    std::vector<std::string> found;
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0) {
        return found;
    }
    if (snd_mixer_attach(mixer, device) == 0 &&
        snd_mixer_selem_register(mixer, nullptr, nullptr) == 0 && snd_mixer_load(mixer) == 0) {
        // Volumes first, then the mutes, so nothing is unmuted while still turned down.
        for (const char* name : kControls) {
            snd_mixer_elem_t* control = FindControl(mixer, name);
            if (control == nullptr) {
                continue;
            }
            found.emplace_back(name);
            long minimum = 0;
            long maximum = 0;
            if (snd_mixer_selem_has_playback_volume(control) &&
                snd_mixer_selem_get_playback_volume_range(control, &minimum, &maximum) == 0) {
                snd_mixer_selem_set_playback_volume_all(control, maximum);
            }
        }
        for (const char* name : kControls) {
            snd_mixer_elem_t* control = FindControl(mixer, name);
            if (control != nullptr && snd_mixer_selem_has_playback_switch(control)) {
                snd_mixer_selem_set_playback_switch_all(control, 1);
            }
        }
    }
    snd_mixer_close(mixer);
    return found;
}

void ResetSoundMixer(Dialogs& dialogs, Engine& engine) {
    dialogs.ShowNotice(NoticeKind::Information,
                       "This operation will unmute the wave and main output channel.\r"
                       "Panning/volume will be resetted/maximized.\rMind your speakers.");
    ResetMixerControls("default");
    engine.SetVolume(1000);
}

}  // namespace mirvo
