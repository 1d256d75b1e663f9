#pragma once
// What the logic asks of the window and the desktop. src/ui and src/platform
// implement these with Qt; tests implement fakes that record what was shown.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

struct Bounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const Bounds&) const = default;
};

// The main window as the logic sees it.
class MainView {
  public:
    virtual ~MainView() = default;

    // Window caption and application title.
    virtual void SetCaption(const std::string& text) = 0;
    // Status bar panels 0 to 3.
    virtual void SetStatusText(int panel, const std::string& text) = 0;
    virtual void SetTimeLabel(const std::string& text) = 0;

    // Geometry in screen pixels; Bounds() is the normal (not maximised) frame.
    virtual Bounds WindowBounds() const = 0;
    virtual void SetWindowBounds(const Bounds& bounds) = 0;
    virtual Bounds ScreenBounds() const = 0;
    virtual bool IsMaximized() const = 0;
    virtual void Maximize() = 0;
    // Shows the window, restoring it when minimised, and raises it.
    virtual bool BringToFront() = 0;

    // View toggles: play bar, progress panel, status bar.
    virtual void SetPlayBarVisible(bool visible) = 0;
    virtual void SetProgressPanelVisible(bool visible) = 0;
    virtual void SetStatusBarVisible(bool visible) = 0;

    virtual std::string Caption() const = 0;
    // Check marks of the three view-format commands (0 file name, 1 path, 2 relative).
    virtual void SetViewActionChecked(int format, bool checked) = 0;
    virtual void SetBusyCursor(bool busy) = 0;

    // The virtual playlist control: rows are drawn from the model on demand.
    virtual int ListRowCount() const = 0;
    virtual void SetListRowCount(int count) = 0;
    // No repaint between Begin and End.
    virtual void BeginListUpdate() = 0;
    virtual void EndListUpdate() = 0;
    virtual int ListFocusedRow() const = 0;
    virtual void SetListFocusedRow(int row) = 0;
    virtual int ListTopRow() const = 0;
    virtual void SetListTopRow(int row) = 0;
    // Selected rows in ascending order.
    virtual std::vector<int> ListSelectedRows() const = 0;
    virtual void SetListSelection(const std::vector<int>& rows) = 0;
    virtual int ListItemHeight() const = 0;
    virtual int ListClientHeight() const = 0;
    virtual void RepaintList() = 0;
};

struct FolderChoice {
    std::string Path;
    bool IncludeSubfolders = true;
};

enum class NoticeKind { Information = 0, Error = 1, Warning = 2 };

// Modal questions and messages. "\r" in a text breaks the line.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual void ShowNotice(NoticeKind kind, const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // Empty optional when the user cancels.
    virtual std::optional<std::string> InputText(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& initial) = 0;
    virtual std::optional<std::string> PickOpenFile(const std::string& caption,
                                                    const std::string& folder,
                                                    const std::string& filter) = 0;
    virtual std::vector<std::string> PickOpenFiles(const std::string& caption,
                                                   const std::string& folder,
                                                   const std::string& filter) = 0;
    virtual std::optional<std::string> PickSaveFile(const std::string& caption,
                                                    const std::string& folder,
                                                    const std::string& filter) = 0;
    // The desktop's folder dialog with an explanatory text; the path ends in "/".
    virtual std::optional<std::string> PickFolder(const std::string& caption,
                                                  const std::string& text) = 0;
    // Adds a folder to the playlist while the folder browser stays open, or
    // with `replace` opens it in place of the list.
    using QuickAdd = std::function<void(const FolderChoice& choice, bool replace)>;
    // The folder browser, starting at `folder`: a folder and whether to include
    // its subfolders. None after a quick add, whose folders are in the list already.
    virtual std::optional<FolderChoice> PickMusicFolder(const std::string& caption,
                                                        const std::string& folder,
                                                        bool includeSubfolders,
                                                        const QuickAdd& quickAdd) = 0;
};

// The UI thread's event loop. A timer is a repeating tick on the UI thread.
class EventLoop {
  public:
    using TimerId = int;
    virtual ~EventLoop() = default;
    virtual TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) = 0;
    virtual void StopTimer(TimerId id) = 0;
    // Runs the pending window messages, as long loops on the UI thread must.
    virtual void ProcessPendingMessages() = 0;
    // Runs `task` on the UI thread once the loop gets to it; callable from any thread.
    virtual void PostToUiThread(std::function<void()> task) = 0;
    // Leaves the loop; the exit sequence follows.
    virtual void Quit() = 0;
    // True once Quit() was called: long loops stop and no dialog is shown.
    virtual bool Quitting() const = 0;
};

// Modifiers of a global hot key as the settings file and the registrar take
// them. Its own type: the key dispatcher counts Shift 1, Alt 2, Ctrl 4.
enum class HotKeyModifiers : unsigned { None = 0, Alt = 1, Ctrl = 2, Shift = 4, Windows = 8 };

constexpr HotKeyModifiers operator|(HotKeyModifiers a, HotKeyModifiers b) {
    return static_cast<HotKeyModifiers>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A global hot key: its modifiers and a virtual-key code.
struct HotKey {
    int Id = 0;
    HotKeyModifiers Modifiers = HotKeyModifiers::None;
    unsigned KeyCode = 0;
    bool operator==(const HotKey&) const = default;
};

class HotKeyRegistrar {
  public:
    virtual ~HotKeyRegistrar() = default;
    // False when the key is held by another program or cannot be grabbed.
    virtual bool RegisterHotKey(const HotKey& key) = 0;
    virtual void UnregisterHotKey(int id) = 0;
    // The desktop's name of a virtual key; empty when it has none.
    virtual std::string KeyName(unsigned keyCode) = 0;
};

// Services of the desktop around the window.
class DesktopServices {
  public:
    virtual ~DesktopServices() = default;
    virtual bool MoveToTrash(const std::string& path) = 0;
    // A folder in the file manager, a file in the program for its type. Nothing
    // waits for the desktop: `failed` runs later on the UI thread (or at once)
    // when nothing could show it.
    virtual void OpenFolder(const std::string& folder, std::function<void()> failed) = 0;
    virtual void OpenDocument(const std::string& path, std::function<void()> failed) = 0;
    // A web address in the desktop's browser.
    virtual bool OpenAddress(const std::string& url) = 0;
    // The file manager's properties window for a file; false when none answers.
    virtual bool ShowItemProperties(const std::string& path) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    virtual std::string ClipboardText() = 0;
    // Asks the system to switch the computer off, without waiting for the answer;
    // `refused` runs later on the UI thread, with the reason, when it says no.
    virtual void ShutdownComputer(std::function<void(const std::string& reason)> refused) = 0;
};

// What the logic asks of the shell around the window: the tray icon and the
// folder browser, made and owned by whoever owns the window.
class WindowShell {
  public:
    virtual ~WindowShell() = default;
    virtual void SetTrayHint(const std::string& hint) = 0;
    // The music folder setup of the folder browser.
    virtual void SetUpMusicFolders() = 0;
    // The settings dialog changed the music folders: the folder browser, once
    // made, takes them as its roots again.
    virtual void MusicFoldersChanged() = 0;
};

// The window's and the desktop's interfaces, as one player is given them.
struct Services {
    MainView& view;
    Dialogs& dialogs;
    EventLoop& loop;
    DesktopServices& desktop;
    HotKeyRegistrar& hotKeys;
};

}  // namespace mirvo
