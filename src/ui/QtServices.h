#pragma once
// Qt realisations of the dialogs and the event loop.
#include <QObject>
#include <QPointer>
#include <QString>
#include <map>

#include "player/Interfaces.h"
#include "ui/InputForm.h"

class QTimer;
class QWidget;

namespace mirvo {

// The program's texts break lines with "\r"; Qt breaks them at "\n".
QString UiText(const std::string& text);

struct Player;
class TDir_Form;

// Shows nothing once the loop is quitting: the answer is "No" or "cancelled".
class QtDialogs final : public Dialogs {
  public:
    QtDialogs(QWidget* parent, const EventLoop& loop) : parent_(parent), loop_(loop) {}
    void ShowNotice(NoticeKind kind, const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override;
    std::optional<std::string> PickOpenFile(const std::string& caption, const std::string& folder,
                                            const std::string& filter) override;
    std::vector<std::string> PickOpenFiles(const std::string& caption, const std::string& folder,
                                           const std::string& filter) override;
    std::optional<std::string> PickSaveFile(const std::string& caption, const std::string& folder,
                                            const std::string& filter) override;
    std::optional<std::string> PickFolder(const std::string& caption,
                                          const std::string& text) override;
    // The folder browser, once a player is attached; none before.
    std::optional<FolderChoice> PickMusicFolder(const std::string& caption,
                                                const std::string& folder, bool includeSubfolders,
                                                const QuickAdd& quickAdd) override;
    // The player whose playlist and settings the folder browser works on.
    void AttachPlayer(Player& player) { player_ = &player; }
    // The settings dialog's music folders change the roots of the browser, once made.
    void MusicFoldersChanged();

  private:
    // The window a box or picker opens in front of: the dialog the user is
    // in, else the main window.
    QWidget* Owner() const;
    static void Adopt(QWidget& dialog, QWidget* owner);

    QWidget* parent_;
    const EventLoop& loop_;
    Player* player_ = nullptr;
    QPointer<TInput_Form> inputForm_;
    QPointer<TDir_Form> dirForm_;
};

// Opens `folder` in the file manager, or says that none could be started.
void ShowFolderOf(DesktopServices& desktop, Dialogs& dialogs, const std::string& folder);

// The desktop folder of this user, without a trailing "/".
std::string DesktopFolder();

class QtEventLoop final : public QObject, public EventLoop {
  public:
    TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) override;
    void StopTimer(TimerId id) override;
    void ProcessPendingMessages() override;
    void PostToUiThread(std::function<void()> task) override;
    // Also closes every open dialog, so none keeps the exit sequence waiting.
    void Quit() override;
    bool Quitting() const override { return quitting_; }

  private:
    std::map<TimerId, QTimer*> timers_;
    TimerId next_ = 1;
    bool quitting_ = false;
};

}  // namespace mirvo
