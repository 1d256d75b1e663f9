#pragma once
// Engine values the settings file carries. Owned by the UI thread.

namespace mirvo {

struct EngineState {
    int Volume = 1000;     // 0 to 1000, shown as percent
    int MutedVolume = -1;  // the volume before soft mute; -1 while not muted
    int PlayMode = 0;      // 0 to 4
    int Device = 1;        // output device number
    bool DeviceReady = false;
};

}  // namespace mirvo
