#pragma once
// Test doubles for the window and desktop interfaces: they record what the
// logic showed and answer questions as the test tells them.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "playback/LevelMeters.h"
#include "playback/PlaybackView.h"
#include "player/Interfaces.h"
#include "player/Player.h"

namespace mirvo::test {

class FakeMainView : public MainView {
  public:
    void SetCaption(const std::string& text) override { caption = text; }
    void SetStatusText(int panel, const std::string& text) override { status[panel] = text; }
    void SetTimeLabel(const std::string& text) override { timeLabel = text; }
    Bounds WindowBounds() const override { return bounds; }
    void SetWindowBounds(const Bounds& b) override { bounds = b; }
    Bounds ScreenBounds() const override { return screen; }
    bool IsMaximized() const override { return maximized; }
    void Maximize() override { maximized = true; }
    bool BringToFront() override {
        ++broughtToFront;
        return true;
    }
    void SetPlayBarVisible(bool v) override { playBar = v; }
    void SetProgressPanelVisible(bool v) override { progressPanel = v; }
    void SetStatusBarVisible(bool v) override { statusBar = v; }
    std::string Caption() const override { return caption; }
    void SetViewActionChecked(int format, bool checked) override { viewChecked[format] = checked; }
    void SetBusyCursor(bool busy) override { busyCursor = busy; }
    int ListRowCount() const override { return rowCount; }
    void SetListRowCount(int count) override { rowCount = count; }
    void BeginListUpdate() override { ++updateDepth; }
    void EndListUpdate() override { --updateDepth; }
    int ListFocusedRow() const override { return focusedRow; }
    void SetListFocusedRow(int row) override { focusedRow = row; }
    int ListTopRow() const override { return topRow; }
    void SetListTopRow(int row) override { topRow = row; }
    std::vector<int> ListSelectedRows() const override { return selectedRows; }
    void SetListSelection(const std::vector<int>& rows) override { selectedRows = rows; }
    int ListItemHeight() const override { return itemHeight; }
    int ListClientHeight() const override { return clientHeight; }
    void RepaintList() override { ++repaints; }

    std::string caption;
    std::map<int, std::string> status;
    std::string timeLabel;
    Bounds bounds;
    Bounds screen{0, 0, 1920, 1080};
    bool maximized = false;
    int broughtToFront = 0;
    bool playBar = true;
    bool progressPanel = true;
    bool statusBar = true;
    std::map<int, bool> viewChecked;
    bool busyCursor = false;
    int rowCount = 0;
    int updateDepth = 0;
    int focusedRow = -1;
    int topRow = 0;
    std::vector<int> selectedRows;
    int itemHeight = 16;
    int clientHeight = 183;
    int repaints = 0;
};

struct Notice {
    NoticeKind kind;
    std::string text;
};

class FakeDialogs : public Dialogs {
  public:
    void ShowNotice(NoticeKind kind, const std::string& text) override {
        notices.push_back({kind, text});
        Meanwhile();
    }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        Meanwhile();
        if (yesNoAnswers.empty()) {
            return false;
        }
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> InputText(const std::string&, const std::string& prompt,
                                         const std::string& initial) override {
        questions.push_back(prompt);
        initialTexts.push_back(initial);
        Meanwhile();
        return Next(textAnswers);
    }
    std::optional<std::string> PickOpenFile(const std::string&, const std::string&,
                                            const std::string&) override {
        Meanwhile();
        return Next(openAnswers);
    }
    std::vector<std::string> PickOpenFiles(const std::string&, const std::string&,
                                           const std::string&) override {
        Meanwhile();
        return openFiles;
    }
    std::optional<FolderChoice> PickMusicFolder(const std::string&, const std::string&, bool,
                                                const QuickAdd&) override {
        Meanwhile();
        if (musicFolderAnswers.empty()) {
            return std::nullopt;
        }
        auto answer = musicFolderAnswers.front();
        musicFolderAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> PickSaveFile(const std::string&, const std::string& folder,
                                            const std::string& filter) override {
        saveRequests.push_back({folder, filter});
        Meanwhile();
        return Next(saveAnswers);
    }
    std::optional<std::string> PickFolder(const std::string& caption, const std::string&) override {
        folderCaptions.push_back(caption);
        Meanwhile();
        return Next(folderAnswers);
    }

    // What happens while the next question or picker is open (once): a path
    // handed over, a hot key, the station ending.
    std::function<void()> meanwhile;

    std::vector<Notice> notices;
    std::vector<std::string> questions;
    std::vector<std::string> initialTexts;  // what each input box was opened with
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> textAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::vector<std::string> folderCaptions;
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<FolderChoice>> musicFolderAnswers;
    std::vector<std::string> openFiles;
    struct SaveRequest {
        std::string folder;  // or the file name proposed
        std::string filter;
    };
    std::vector<SaveRequest> saveRequests;

  private:
    void Meanwhile() {
        if (meanwhile) {
            const std::function<void()> now = std::exchange(meanwhile, {});
            now();
        }
    }
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// A session's meters for tests that do not look at them.
class NoMeters : public MeterView {
  public:
    void ShowLevelMeterStyle(int) override {}
    void SetMeterLeds(int, int, int) override {}
    void ShowVolumeBar(VolumeBarCause) override {}
    void HideVolumeBar() override {}
};

// Timers tick only when the test says so.
class FakeEventLoop : public EventLoop {
  public:
    TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) override {
        timers[next] = {interval, std::move(tick)};
        return next++;
    }
    void StopTimer(TimerId id) override { timers.erase(id); }
    void ProcessPendingMessages() override {
        ++pendingRuns;
        if (onPending) {
            onPending();
        }
    }
    // Workers post from their own threads.
    void PostToUiThread(std::function<void()> task) override {
        {
            const std::lock_guard lock(postLock_);
            posted.push_back(std::move(task));
        }
        postWake_.notify_all();
    }
    void Quit() override { ++quits; }
    bool Quitting() const override { return quits > 0; }

    void RunPosted() {
        for (;;) {
            std::function<void()> task;
            {
                const std::lock_guard lock(postLock_);
                if (posted.empty()) {
                    return;
                }
                task = std::move(posted.front());
                posted.pop_front();
            }
            task();
        }
    }
    // Waits for a task to be posted; false when none came in time.
    bool WaitForPosted(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(postLock_);
        return postWake_.wait_for(lock, timeout, [this] { return !posted.empty(); });
    }

    struct Timer {
        std::chrono::milliseconds interval;
        std::function<void()> tick;
    };
    std::map<TimerId, Timer> timers;
    TimerId next = 1;
    int pendingRuns = 0;
    std::function<void()> onPending;  // e.g. the user pressing Escape mid-scan
    std::deque<std::function<void()>> posted;
    int quits = 0;

  private:
    std::mutex postLock_;
    std::condition_variable postWake_;
};

class FakeDesktop : public DesktopServices {
  public:
    bool MoveToTrash(const std::string& path) override {
        trashed.push_back(path);
        return trashSucceeds;
    }
    void OpenFolder(const std::string& folder, std::function<void()> failed) override {
        opened.push_back(folder);
        if (!opens && failed) {
            failed();
        }
    }
    void OpenDocument(const std::string& path, std::function<void()> failed) override {
        opened.push_back(path);
        if (!opens && failed) {
            failed();
        }
    }
    bool OpenAddress(const std::string& url) override {
        opened.push_back(url);
        return opens;
    }
    bool ShowItemProperties(const std::string& path) override {
        properties.push_back(path);
        return propertiesAnswer;
    }
    void SetClipboardText(const std::string& text) override { clipboard = text; }
    std::string ClipboardText() override { return clipboard; }
    void ShutdownComputer(std::function<void(const std::string&)> refused) override {
        ++shutdowns;
        shutdownRefused = std::move(refused);
    }

    std::vector<std::string> trashed;
    bool trashSucceeds = true;
    std::vector<std::string> opened;
    bool opens = true;  // false: no launcher on this desktop
    std::vector<std::string> properties;
    bool propertiesAnswer = true;
    std::string clipboard;
    int shutdowns = 0;
    // Says no to the last request, when the test calls it.
    std::function<void(const std::string&)> shutdownRefused;
};

class FakeHotKeys : public HotKeyRegistrar {
  public:
    bool RegisterHotKey(const HotKey& key) override {
        registered.push_back(key);
        return accept;
    }
    void UnregisterHotKey(int id) override { unregistered.push_back(id); }
    // Letters and digits name themselves, as on most desktops.
    std::string KeyName(unsigned keyCode) override {
        const bool named = (keyCode >= '0' && keyCode <= '9') || (keyCode >= 'A' && keyCode <= 'Z');
        return named ? std::string(1, static_cast<char>(keyCode)) : std::string();
    }

    std::vector<HotKey> registered;
    std::vector<int> unregistered;
    bool accept = true;
};

class FakePlaybackView : public PlaybackView {
  public:
    void SetProgressMax(int m) override { max = m; }
    int ProgressMax() const override { return max; }
    void SetProgressPosition(int p) override { position = p; }
    int ProgressPosition() const override { return position; }
    void ShowVolume(int percent) override { volumePercent = percent; }
    void SetRecordVisible(bool v) override { recordVisible = v; }
    void SetTimeLabelLeft(int left) override { timeLabelLeft = left; }
    bool PlayBarVisible() const override { return true; }
    void SetRecordCaption(const std::string& caption) override { recordCaption = caption; }
    std::string ThousandsSeparator() const override { return thousands; }
    int max = 0;
    int position = 0;
    int volumePercent = -1;
    bool recordVisible = true;
    int timeLabelLeft = 0;
    std::string recordCaption = "&Record";
    std::string thousands = ",";
};

// Playback as the playlist and the tools see it: records what they asked;
// the hooks, when set, answer or act.
class FakePlayback : public PlaybackControl {
  public:
    void PlayEntry(int index) override { played.push_back(index); }
    void StopPlayback(bool releaseDevice) override {
        stops.push_back(releaseDevice);
        if (onStop) {
            onStop(releaseDevice);
        }
    }
    bool TransitionInProgress() const override { return transition && transition(); }
    bool OutputPaused() const override { return paused; }
    std::string FormatDescription(const std::string& entry) override {
        return describe ? describe(entry) : std::string();
    }

    std::vector<int> played;
    std::vector<bool> stops;
    std::function<void(bool releaseDevice)> onStop;
    std::function<bool()> transition;
    bool paused = false;
    std::function<std::string(const std::string& entry)> describe;
};

class FakeShell : public WindowShell {
  public:
    void SetTrayHint(const std::string& hint) override { hints.push_back(hint); }
    void SetUpMusicFolders() override { ++folderSetups; }
    void MusicFoldersChanged() override { ++folderChanges; }

    std::vector<std::string> hints;
    int folderSetups = 0;
    int folderChanges = 0;
};

// A player wired to fakes, with its program folder in `folder`.
struct FakePlayer {
    explicit FakePlayer(const std::string& folder)
        : player(folder, Services{view, dialogs, loop, desktop, hotKeys}) {}

    FakeMainView view;
    FakeDialogs dialogs;
    FakeEventLoop loop;
    FakeDesktop desktop;
    FakeHotKeys hotKeys;
    Player player;
};

}  // namespace mirvo::test
