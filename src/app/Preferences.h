#pragma once
// The settings dialog's pages without their widgets: what the controls show
// when the dialog opens, and what each change of a control writes and does.
// A change is one write of the settings file. UI thread only.
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scrobble/Scrobbling.h"
#include "system/Associations.h"

namespace mirvo {

struct Player;
class Engine;

inline constexpr int kPreferencesPageCount = 7;
inline constexpr int kHotKeysPage = 3;
// The page list's texts; the index is the page number kept in "PreferencesHistory".
extern const char* const kPreferencesPages[kPreferencesPageCount];
// The file types of the Setup page's check boxes, in their order.
inline constexpr std::array<const char*, 6> kAssociationBoxes = {"wav", "mp3", "ogg",
                                                                 "pls", "m3u", "flac"};

// The output level of an effective volume (0 to 1000): "-oo dB", or the level
// in dB to one decimal with `decimalSeparator`; a whole level reads ",0".
std::string OutputLevelText(int effectiveVolume, std::string_view decimalSeparator);

// The play history account as the settings hold it.
ScrobbleAccount AccountFromSettings(const SettingsValues& values);

// What the controls show when the dialog opens.
struct PreferencesShown {
    // Setup
    std::array<bool, kAssociationBoxes.size()> Associated{};
    bool StayUpdated = true;
    int EnqueueOption = 2;
    bool MultipleInstances = false;
    // Display
    int VUStyle = 1;
    // Media
    std::vector<std::string> MusicFolders;
    int SortingWay = 0;
    // Device: descriptions of devices 1, 2, ...; the item of the device in use, -1 none.
    std::string BufferLength;
    std::vector<std::string> Devices;
    int DeviceItem = -1;
    std::string OutputLevel;
    // Global hotkeys
    std::vector<std::string> HotKeyRows;
    // Playing history
    bool LastfmEnable = false;
    std::string LastfmUsername;
    std::string LastfmPassword;
    // Recording
    std::string RecordTempPath;
    std::string RecordSecAhead;
    bool RecordAhead = false;

    int Page = 0;
};

class Preferences {
  public:
    // `scrobbler` may be null (no play history client). `setMeterStyle`
    // switches the main window's meters and its menu's checks.
    Preferences(Player& player, Engine& engine, ScrobbleClient* scrobbler, AssociationPlaces places,
                std::function<void(int style)> setMeterStyle);

    // Set while the dialog fills its controls: their change handlers write nothing.
    bool PrefsLoading = false;

    // The dialog opens: loading starts, and the hot keys are released so that
    // the capture field can take them. FormShown ends the loading.
    PreferencesShown FormShow(std::string_view decimalSeparator);
    void FormShown() { PrefsLoading = false; }
    // The dialog closes on `page`: the page is kept, the hot keys are taken
    // again (a failure is shown only when `page` is the hot keys' page), and
    // the desktop hears that associations may have changed.
    void FormClose(int page);

    // Setup
    void AssociationClicked(int box, bool checked);
    void StayUpdatedClicked(bool checked);
    void EnqueueOptionClicked(int option);
    void MultipleInstancesClicked(bool checked);

    // Media: both return the music folders as stored afterwards, or nothing
    // when nothing changed.
    std::optional<std::vector<std::string>> AddMusicFolder();
    std::optional<std::vector<std::string>> DeleteMusicFolder(int row);
    void SortClicked(int way);

    // Display
    void MeterStyleClicked(int style);

    // Recording
    void RecordTempPathChanged(const std::string& text);
    // Written only when the text is a whole number of seconds.
    void RecordSecAheadChanged(const std::string& text);
    void RecordAheadClicked(bool checked);
    // "...": the folder for the path field; nothing when cancelled.
    std::optional<std::string> ChooseRecordFolder();

    // Playing history: the client takes each change at once.
    void LastfmEnableClicked(bool checked);
    void LastfmUsernameDone(const std::string& text);
    void LastfmPasswordDone(const std::string& text);
    // The handshake on the client's worker; its answer is shown on the UI thread.
    void CheckConnection();

    // Device: combo item `item` is device item + 1.
    void DeviceChanged(int item);
    // Moves what plays to `device`, at the same position.
    void ChangeDevice(int device);
    // "&Reset sound driver mixer": the level label's new text.
    std::string ResetMixer(std::string_view decimalSeparator);

  private:
    // Saves the music folders and reads back what the file holds.
    std::vector<std::string> StoreMusicFolders();
    void SetAccountText(std::string& value, const char* key, const std::string& text);
    void ApplyAccount();

    Player& p_;
    Engine& engine_;
    ScrobbleClient* scrobbler_;
    FileAssociations associations_;
    std::function<void(int)> setMeterStyle_;
    // Answers posted by workers check that the dialog still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace mirvo
