#include "player/Settings.h"

#include <algorithm>
#include <cstdlib>

#include "player/Player.h"
#include "support/Files.h"

namespace mirvo {
namespace {

constexpr int kHotKeyCount = 13;

int InRange(int value, int low, int high, int fallback) {
    return (value < low || value > high) ? fallback : value;
}

std::string WithoutQuotes(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

}  // namespace

std::optional<HotKey> DecodeHotKey(int id, std::string_view value) {
    if (value.size() <= 5) {
        return std::nullopt;
    }
    const auto code = ParseInteger(value.substr(5));
    if (!code || *code < 0 || *code > 255) {
        return std::nullopt;
    }
    using enum HotKeyModifiers;
    static constexpr HotKeyModifiers kFlags[4] = {Windows, Ctrl, Alt, Shift};
    HotKey key;
    key.Id = id;
    key.KeyCode = static_cast<unsigned>(*code);
    for (int i = 0; i < 4; ++i) {
        if (value[static_cast<std::size_t>(i)] == '1') {
            key.Modifiers = key.Modifiers | kFlags[i];
        }
    }
    return key;
}

std::string TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp && *tmp) ? tmp : "/tmp";
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool Settings::IsReadOnly() const {
    return IsReadOnlyFile(path_);
}

int Settings::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
    return IniFile::Load(path_).ReadInteger(section, key, fallback);
}

bool Settings::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return IniFile::Load(path_).ReadBool(section, key, fallback);
}

std::string Settings::ReadString(std::string_view section, std::string_view key,
                                 const std::string& fallback) const {
    return IniFile::Load(path_).ReadString(section, key, fallback);
}

void Settings::WriteInteger(std::string_view section, std::string_view key, int value) const {
    Update([&](IniFile& ini) { ini.WriteInteger(section, key, value); });
}

void Settings::WriteBool(std::string_view section, std::string_view key, bool value) const {
    Update([&](IniFile& ini) { ini.WriteBool(section, key, value); });
}

void Settings::WriteString(std::string_view section, std::string_view key,
                           std::string_view value) const {
    Update([&](IniFile& ini) { ini.WriteString(section, key, value); });
}

int Settings::ReadEnqueueOption() const {
    return ReadInteger("General", "EnqueueOption", 2);
}

void Settings::WriteEnqueueOption(int value) const {
    WriteInteger("General", "EnqueueOption", value);
}

bool Settings::ReadAssociationFlag(std::string_view extension) const {
    return ReadBool("Associations", extension, false);
}

void Settings::WriteAssociationFlag(std::string_view extension, bool value) const {
    WriteBool("Associations", extension, value);
}

std::vector<std::string> ReadMusicFolders(const IniFile& ini) {
    std::vector<std::string> folders;
    for (int i = 0; i < kMaxMusicFolders; ++i) {
        std::string value = ini.ReadString("Root media", "path" + std::to_string(i), "");
        if (value.empty()) {
            break;
        }
        folders.push_back(std::move(value));
    }
    return folders;
}

void Settings::LoadMusicFolders(PlaylistState& playlist) const {
    playlist.MusicFolders = ReadMusicFolders(IniFile::Load(path_));
}

void Settings::SaveMusicFolders(const PlaylistState& playlist, const SettingsValues& values) const {
    Update([&](IniFile& ini) {
        ini.EraseSection("Root media");
        // Numbered without gaps: reading stops at the first missing one.
        int written = 0;
        for (std::string folder : playlist.MusicFolders) {
            if (!folder.empty() && folder.back() != '/') {
                folder += '/';
            }
            if (ini.WriteString("Root media", "path" + std::to_string(written), folder)) {
                ++written;
            }
        }
        ini.WriteString("DirBox", "LastOpenedDir", playlist.CurrentFolder);
        ini.WriteString("DirBox", "LastOpenedDrive", values.LastOpenedDrive);
    });
}

Player::Player(std::string programFolder, Services services)
    : ProgramFolder(std::move(programFolder)),
      settings(JoinPath(ProgramFolder, "Mirvo.ini")),
      questions(services.loop, services.dialogs),
      ui{services.view, questions.Asking(), services.loop, services.desktop, services.hotKeys} {}

PlaylistContext::PlaylistContext(Player& player)
    : playlist(player.playlist),
      engine(player.engine),
      events(player.events),
      settings(player.settings),
      programFolder(player.ProgramFolder),
      view(player.ui.view),
      dialogs(player.ui.dialogs),
      loop(player.ui.loop),
      desktop(player.ui.desktop),
      playback(player.playback),
      shell(player.shell) {}

void LoadSettings(Player& p) {
    const IniFile ini = IniFile::Load(p.settings.Path());
    SettingsValues& v = p.values;
    MainView& view = p.ui.view;

    p.app.ProgramTitle = kProgramTitle;

    // Started with a path, the window has its own geometry and never starts maximised.
    const bool withPath = !p.app.StartArgument.empty();
    const char* section = withPath ? "Window2" : "Window";
    const Bounds screen = view.ScreenBounds();
    Bounds bounds;
    bounds.Width = ini.ReadInteger(section, "Width", 310);
    bounds.Height = ini.ReadInteger(section, "Height", 370);
    bounds.Left = ini.ReadInteger(section, "Left", screen.Width / 2 - bounds.Width / 2);
    bounds.Top = ini.ReadInteger(section, "Top", screen.Height / 2 - bounds.Height / 2);
    view.SetWindowBounds(bounds);
    v.Maximized = !withPath && ini.ReadBool("Window", "Maximized", false);

    v.PlayBar = ini.ReadBool("Window", "PlayBar", true);
    view.SetPlayBarVisible(v.PlayBar);
    v.ProgressPanel = ini.ReadBool("Window", "ProgressPanel", true);
    view.SetProgressPanelVisible(v.ProgressPanel);
    v.StatusBar = ini.ReadBool("Window", "StatusBar", true);
    view.SetStatusBarVisible(v.StatusBar);
    v.VUStyle = InRange(ini.ReadInteger("Window", "VUStyle", 1), 0, 2, 1);
    v.CaptionBar = ini.ReadBool("Window", "CaptionBar", true);

    PlaylistState& pl = p.playlist;
    pl.PlayingIndex = ini.ReadInteger("Playlist", "Track", -1);
    pl.SortingWay = InRange(ini.ReadInteger("Playlist", "SortingWay", 0), 0, 1, 0);
    pl.ViewFormat = InRange(ini.ReadInteger("Playlist", "ViewFormat", 0), 0, 2, 0);
    pl.CurrentFolder = ini.ReadString("DirBox", "LastOpenedDir", "");
    v.LastOpenedDrive = ini.ReadString("DirBox", "LastOpenedDrive", "");
    pl.MusicFolders = ReadMusicFolders(ini);

    v.MinimizeToTray = ini.ReadBool("Tweak", "minimize_to_tray", true);
    v.SoftmutePercent = InRange(ini.ReadInteger("Tweak", "softmute_percent", 30), 0, 100, 30);
    v.ClaimAssociationsAtStartup = ini.ReadBool("Tweak", "claim_associations_at_startup", true);
    pl.RelativeDelimiter = WithoutQuotes(ini.ReadString("Tweak", "RelativeDelimiter", " / "));
    v.Autoresume = ini.ReadBool("Tweak", "Autoresume", false);

    v.ActiveScheme = ini.ReadString("General", "ActiveScheme", "");
    p.engine.PlayMode = InRange(ini.ReadInteger("General", "PlayMode", 0), 0, 4, 0);
    p.app.StartEnqueueOption = ini.ReadInteger("General", "EnqueueOption", 0);
    p.engine.Volume = std::clamp(ini.ReadInteger("General", "Volume", 1000), 0, 1000);
    p.engine.Device = ini.ReadInteger("General", "Device", 1);
    v.AutoUpdate = ini.ReadBool("General", "AutoUpdate", true);
    v.UpdateURL = ini.ReadString("General", "UpdateURL", "");
    v.RecordTempPath = ini.ReadString("General", "RecordTempPath", TempFolder());
    v.CachingTime = ini.ReadInteger("Recording", "CachingTime", 120);

    v.LastfmEnable = ini.ReadBool("PlayingHistory", "LastfmEnable", false);
    v.LastfmUsername = ini.ReadString("PlayingHistory", "LastfmUsername", "");
    v.LastfmPassword = ini.ReadString("PlayingHistory", "LastfmPassword", "");
    v.LastfmHost = ini.ReadString("PlayingHistory", "LastfmHost", "http://post.audioscrobbler.com");

    v.HotKeys.clear();
    for (int id = 0; id < kHotKeyCount; ++id) {
        const auto key = DecodeHotKey(id, ini.ReadString("Global hotkeys", std::to_string(id), ""));
        if (key) {
            v.HotKeys.push_back(*key);
            p.ui.hotKeys.RegisterHotKey(*key);  // failures are reported by the settings dialog
        }
    }
}

void SaveSettings(Player& p, bool windowOnly, const ResumeSnapshot& resume) {
    p.settings.Update([&](IniFile& ini) {
        const Bounds& b = p.app.NormalBounds;
        if (p.ui.view.IsMaximized()) {
            ini.WriteBool("Window", "Maximized", true);
        } else {
            const char* section = p.app.StartArgument.empty() ? "Window" : "Window2";
            ini.WriteInteger(section, "Width", b.Width);
            ini.WriteInteger(section, "Height", b.Height);
            ini.WriteInteger(section, "Left", b.Left);
            ini.WriteInteger(section, "Top", b.Top);
            if (p.app.StartArgument.empty()) {
                ini.WriteBool("Window", "Maximized", false);
            }
        }
        if (windowOnly) {
            return;
        }
        const PlaylistState& pl = p.playlist;
        // The track number belongs to the list in Playlist.txt, which was kept.
        if (!pl.PlaylistEntries.empty() && !pl.AutoPlaylistUnread) {
            ini.WriteInteger("Playlist", "Track", pl.PlayingIndex);
        }
        ini.WriteInteger("Playlist", "ResumePos", resume.PositionMs);
        ini.WriteInteger("Playlist", "ResumeState", resume.State);
        ini.WriteInteger("Playlist", "SortingWay", pl.SortingWay);
        ini.WriteInteger("Playlist", "ViewFormat", pl.ViewFormat);
        ini.WriteString("DirBox", "LastOpenedDir", pl.CurrentFolder);
        ini.WriteString("DirBox", "LastOpenedDrive", p.values.LastOpenedDrive);
        ini.WriteInteger("General", "PlayMode", p.engine.PlayMode);
        ini.WriteInteger("General", "Volume", p.engine.Volume);
    });
}

}  // namespace mirvo
