#include "app/Preferences.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/HotKeys.h"
#include "audio/Audio.h"
#include "playback/Engine.h"
#include "player/Player.h"
#include "playlist/Entries.h"
#include "playlist/Scanning.h"
#include "system/Mixer.h"

namespace mirvo {
namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace

const char* const kPreferencesPages[kPreferencesPageCount] = {
    "Setup", "Media", "Display", "Global hotkeys", "Recording", "Playing history", "Device"};

std::string OutputLevelText(int effectiveVolume, std::string_view decimalSeparator) {
    if (effectiveVolume <= 0) {
        return "-oo dB";
    }
    const double db = 20.0 * std::log10(std::min(effectiveVolume, 1000) / 1000.0);
    // In tenths, so that the text never shows more than the one decimal.
    const long long tenths = std::llround(db * 10.0);
    const std::string sign = tenths < 0 ? "-" : "";
    const std::string whole = sign + std::to_string(std::llabs(tenths) / 10);
    if (tenths % 10 == 0) {
        return whole + ",0 dB";
    }
    return whole + std::string(decimalSeparator) + std::to_string(std::llabs(tenths) % 10) + " dB";
}

ScrobbleAccount AccountFromSettings(const SettingsValues& v) {
    return {v.LastfmEnable, v.LastfmUsername, v.LastfmPassword, v.LastfmHost};
}

Preferences::Preferences(Player& player, Engine& engine, ScrobbleClient* scrobbler,
                         AssociationPlaces places, std::function<void(int)> setMeterStyle)
    : p_(player),
      engine_(engine),
      scrobbler_(scrobbler),
      associations_(player.settings, std::move(places)),
      setMeterStyle_(std::move(setMeterStyle)) {}

PreferencesShown Preferences::FormShow(std::string_view decimalSeparator) {
    PrefsLoading = true;
    UnregisterAllHotKeys(p_);
    const IniFile ini = IniFile::Load(p_.settings.Path());
    const SettingsValues& v = p_.values;
    PreferencesShown s;
    for (std::size_t i = 0; i < kAssociationBoxes.size(); ++i) {
        s.Associated[i] = associations_.IsTypeAssociated(kAssociationBoxes[i]);
    }
    s.StayUpdated = ini.ReadBool("General", "AutoUpdate", true);
    s.EnqueueOption = ini.ReadInteger("General", "EnqueueOption", 2);
    s.MultipleInstances = ini.ReadBool("General", "MultipleInstances", false);
    s.VUStyle = v.VUStyle;
    s.MusicFolders = p_.playlist.MusicFolders;
    s.SortingWay = p_.playlist.SortingWay;
    s.BufferLength = EntryKind(p_.playlist.PlayingEntry) == kKindStream ? "Buffer length: 5000 ms"
                                                                        : "Buffer length: 3000 ms";
    for (int device = 1;; ++device) {
        const std::optional<std::string> name = audio::GetDeviceDescription(device);
        if (!name) {
            break;
        }
        s.Devices.push_back(*name);
    }
    const int item = ini.ReadInteger("General", "Device", 1) - 1;
    s.DeviceItem = item >= 0 && item < static_cast<int>(s.Devices.size()) ? item : -1;
    s.OutputLevel = "Mirvo output level: " +
                    OutputLevelText(Engine::VolumeCurve(p_.engine.Volume), decimalSeparator);
    s.HotKeyRows = HotKeyListRows(p_);
    s.LastfmEnable = v.LastfmEnable;
    s.LastfmUsername = v.LastfmUsername;
    s.LastfmPassword = v.LastfmPassword;
    // Unset, the folder shown is the one recordings go to: the temporary folder.
    s.RecordTempPath = ini.ReadString("General", "RecordTempPath", TempFolder());
    s.RecordSecAhead = std::to_string(ini.ReadInteger("General", "RecordSecAhead", 120));
    s.RecordAhead = ini.ReadBool("General", "RecordAhead", false);
    const int page = ini.ReadInteger("General", "PreferencesHistory", 0);
    s.Page = page >= 0 && page < kPreferencesPageCount ? page : 0;
    return s;
}

void Preferences::FormClose(int page) {
    p_.settings.WriteInteger("General", "PreferencesHistory", page);
    RegisterAllHotKeys(p_, page == kHotKeysPage);
    associations_.NotifyChanged();
}

void Preferences::AssociationClicked(int box, bool checked) {
    if (PrefsLoading || box < 0 || box >= static_cast<int>(kAssociationBoxes.size())) {
        return;
    }
    const char* extension = kAssociationBoxes[static_cast<std::size_t>(box)];
    if (checked) {
        associations_.AssociateType(extension);
    } else {
        associations_.UnassociateType(extension);
    }
}

void Preferences::StayUpdatedClicked(bool checked) {
    if (PrefsLoading) {
        return;
    }
    p_.values.AutoUpdate = checked;
    // A check turned on again runs at the next start and tells even of a
    // version declined before.
    p_.settings.Update([&](IniFile& ini) {
        ini.WriteBool("General", "AutoUpdate", checked);
        ini.WriteString("General", "lastversioncheck", "0");
        ini.WriteString("General", "lastnewversion", "none");
    });
}

void Preferences::EnqueueOptionClicked(int option) {
    if (!PrefsLoading) {
        p_.settings.WriteEnqueueOption(option);
    }
}

void Preferences::MultipleInstancesClicked(bool checked) {
    if (!PrefsLoading) {
        p_.settings.WriteBool("General", "MultipleInstances", checked);
    }
}

std::optional<std::vector<std::string>> Preferences::AddMusicFolder() {
    std::vector<std::string>& folders = p_.playlist.MusicFolders;
    if (folders.size() >= static_cast<std::size_t>(kMaxMusicFolders)) {
        p_.ui.dialogs.ShowNotice(
            NoticeKind::Information,
            "Mirvo keeps at most 20 music folders.\rDelete one to add another.");
        return std::nullopt;
    }
    const std::optional<std::string> chosen =
        p_.ui.dialogs.PickFolder("Set your music folder", kMusicFolderPrompt);
    if (!chosen || chosen->empty()) {
        return std::nullopt;
    }
    folders.push_back(*chosen);
    return StoreMusicFolders();
}

std::optional<std::vector<std::string>> Preferences::DeleteMusicFolder(int row) {
    std::vector<std::string>& folders = p_.playlist.MusicFolders;
    if (row < 0 || row >= static_cast<int>(folders.size())) {
        return std::nullopt;
    }
    folders.erase(folders.begin() + row);
    return StoreMusicFolders();
}

std::vector<std::string> Preferences::StoreMusicFolders() {
    p_.settings.SaveMusicFolders(p_.playlist, p_.values);
    // What the file holds now; a read-only file keeps the folders it had.
    p_.settings.LoadMusicFolders(p_.playlist);
    if (p_.shell != nullptr) {
        p_.shell->MusicFoldersChanged();
    }
    return p_.playlist.MusicFolders;
}

void Preferences::SortClicked(int way) {
    if (PrefsLoading) {
        return;
    }
    ApplySortingWay(p_, way);
    // Kept at once, not only at exit like the rest of the playlist state.
    p_.settings.WriteInteger("Playlist", "SortingWay", way);
}

void Preferences::MeterStyleClicked(int style) {
    if (!PrefsLoading && setMeterStyle_) {
        setMeterStyle_(style);
    }
}

void Preferences::RecordTempPathChanged(const std::string& text) {
    if (PrefsLoading) {
        return;
    }
    p_.values.RecordTempPath = text;
    p_.settings.WriteString("General", "RecordTempPath", text);
}

void Preferences::RecordSecAheadChanged(const std::string& text) {
    if (PrefsLoading) {
        return;
    }
    // A cache cannot hold fewer than no seconds.
    const std::optional<int> seconds = ParseInteger(text);
    if (seconds && *seconds >= 0) {
        p_.settings.WriteInteger("General", "RecordSecAhead", *seconds);
    }
}

void Preferences::RecordAheadClicked(bool checked) {
    if (!PrefsLoading) {
        p_.settings.WriteBool("General", "RecordAhead", checked);
    }
}

std::optional<std::string> Preferences::ChooseRecordFolder() {
    const std::optional<std::string> chosen = p_.ui.dialogs.PickFolder(
        "Choose temp folder",
        "Select a drive/folder that has enough space to store temporary recording files.");
    if (!chosen) {
        return std::nullopt;  // cancelled: the folder set stays
    }
    // Recording names its files by appending to the folder.
    return chosen->empty() ? TempFolder() : WithSlash(*chosen);
}

void Preferences::ApplyAccount() {
    if (scrobbler_ != nullptr) {
        scrobbler_->SetAccount(AccountFromSettings(p_.values));
    }
}

void Preferences::LastfmEnableClicked(bool checked) {
    if (PrefsLoading) {
        return;
    }
    p_.values.LastfmEnable = checked;
    p_.settings.WriteBool("PlayingHistory", "LastfmEnable", checked);
    ApplyAccount();
}

void Preferences::LastfmUsernameDone(const std::string& text) {
    SetAccountText(p_.values.LastfmUsername, "LastfmUsername", text);
}

void Preferences::LastfmPasswordDone(const std::string& text) {
    SetAccountText(p_.values.LastfmPassword, "LastfmPassword", text);
}

void Preferences::SetAccountText(std::string& value, const char* key, const std::string& text) {
    // Leaving a field unchanged writes nothing.
    if (PrefsLoading || text == value) {
        return;
    }
    value = text;
    p_.settings.WriteString("PlayingHistory", key, text);
    ApplyAccount();
}

void Preferences::CheckConnection() {
    if (scrobbler_ == nullptr) {
        return;
    }
    EventLoop& loop = p_.ui.loop;
    Dialogs& dialogs = p_.ui.dialogs;
    // Runs on the client's worker; the message waits for the UI thread.
    scrobbler_->CheckConnection(
        [&loop, &dialogs, alive = std::weak_ptr<int>(alive_)](const std::string& message) {
            loop.PostToUiThread([&dialogs, alive, message] {
                if (alive.lock()) {
                    dialogs.ShowNotice(NoticeKind::Information, message);
                }
            });
        });
}

void Preferences::DeviceChanged(int item) {
    if (!PrefsLoading && item >= 0) {
        ChangeDevice(item + 1);
    }
}

void Preferences::ChangeDevice(int device) {
    if (PrefsLoading) {
        return;
    }
    const bool paused = engine_.IsPaused();
    const std::int64_t position = engine_.CurrentPositionBytes();
    p_.engine.Device = device;
    p_.settings.WriteInteger("General", "Device", device);
    engine_.StopPlayback(true);
    audio::Free();
    p_.engine.DeviceReady = false;
    engine_.InitDevice();
    if (!p_.engine.DeviceReady) {
        return;  // InitDevice has said so; playing would only say it again
    }
    engine_.StopPlayback(true);
    engine_.PlayEntry(p_.playlist.PlayingIndex);
    if (engine_.OutputChannel() == 0 && !engine_.Starting()) {
        return;
    }
    // Paused first, so that nothing sounds from the start of the track.
    if (paused) {
        engine_.Pause();
    }
    engine_.SeekTo(position);
}

std::string Preferences::ResetMixer(std::string_view decimalSeparator) {
    ResetSoundMixer(p_.ui.dialogs, engine_);
    return "Mirvo output level: " +
           OutputLevelText(Engine::VolumeCurve(p_.engine.Volume), decimalSeparator);
}

}  // namespace mirvo
