#pragma once
// The settings file "Mirvo.ini" in the program folder: the values kept in
// memory, the bulk loader and saver, and the single-value accessors.
#include <string>
#include <string_view>
#include <vector>

#include "player/Interfaces.h"
#include "support/IniFile.h"

namespace mirvo {

struct PlaylistState;
struct EngineState;

// Values read at start whose owners keep them in these fields.
struct SettingsValues {
    // Window
    bool Maximized = false;
    bool PlayBar = true;
    bool ProgressPanel = true;
    bool StatusBar = true;
    int VUStyle = 1;
    bool CaptionBar = true;
    // DirBox
    std::string LastOpenedDrive;
    // Tweak
    bool MinimizeToTray = true;
    int SoftmutePercent = 30;
    bool ClaimAssociationsAtStartup = true;
    bool Autoresume = false;
    // General
    std::string ActiveScheme;
    bool AutoUpdate = true;
    // The update endpoint's base URL; none is known, so by default there is none.
    std::string UpdateURL;
    std::string RecordTempPath;
    int CachingTime = 120;
    // PlayingHistory
    bool LastfmEnable = false;
    std::string LastfmUsername;
    std::string LastfmPassword;
    // Another service of the same protocol (Libre.fm, ListenBrainz), as a base URL.
    std::string LastfmHost;
    // Global hotkeys that could be decoded
    std::vector<HotKey> HotKeys;
};

// A global hot-key value "WCAS-K": four modifier flags, a separator, a decimal
// key code. Values of 5 characters or fewer, or with a key part that is not a
// number, bind nothing.
std::optional<HotKey> DecodeHotKey(int id, std::string_view value);

// The system's temporary folder with a trailing "/".
std::string TempFolder();

class Settings {
  public:
    explicit Settings(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    bool IsReadOnly() const;

    // Each opens the file for the one call. Readers return the default when
    // the key is missing or unreadable; writers do nothing on a read-only file
    // and swallow write errors.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& fallback) const;
    void WriteInteger(std::string_view section, std::string_view key, int value) const;
    void WriteBool(std::string_view section, std::string_view key, bool value) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value) const;

    int ReadEnqueueOption() const;
    void WriteEnqueueOption(int value) const;
    bool ReadAssociationFlag(std::string_view extension) const;
    void WriteAssociationFlag(std::string_view extension, bool value) const;

    void LoadMusicFolders(PlaylistState& playlist) const;
    void SaveMusicFolders(const PlaylistState& playlist, const SettingsValues& values) const;

    // Applies `edit` to the file held in memory and writes it back, unless
    // read-only or there but unreadable.
    template <class Edit>
    void Update(Edit&& edit) const {
        if (IsReadOnly()) {
            return;
        }
        std::optional<IniFile> ini = IniFile::LoadForUpdate(path_);
        if (!ini) {
            return;
        }
        edit(*ini);
        ini->Save(path_);
    }

  private:
    std::string path_;
};

// "Root media" keeps no more music folders than this.
inline constexpr int kMaxMusicFolders = 20;
// What the folder dialog says when it asks for a music folder.
inline constexpr const char* kMusicFolderPrompt =
    "Please select the folder containing all your music files.\r"
    "For example: c:\\my files\\mp3\\";

// "Root media": "path0", "path1", ... up to 20, stopping at the first empty one.
std::vector<std::string> ReadMusicFolders(const IniFile& ini);

}  // namespace mirvo
