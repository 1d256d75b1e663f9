#pragma once
// Open questions and what must wait for them. While a message box, an input
// box, a picker or a modal dialog is open, requests from outside the window
// (a path handed over, the media controls, global hot keys) would change what
// the question asks about under it; they wait instead, and run in the order
// they came once the last question is closed and the event loop gets to them.
// UI thread only.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/Interfaces.h"

namespace mirvo {

class Questions {
  public:
    Questions(EventLoop& loop, Dialogs& dialogs);
    Questions(const Questions&) = delete;
    Questions& operator=(const Questions&) = delete;

    // The dialogs the program asks through: each holds a question open while it shows.
    Dialogs& Asking() { return asking_; }

    bool Open() const { return open_ > 0; }
    // Requests wait for a question, or for the loop after the last one.
    bool Waiting() const { return !waiting_.empty(); }
    // Runs `request` now when no question is open, else once none is.
    // Requests still waiting when the program quits are dropped.
    void Request(std::function<void()> request);

    // A question held open for the scope's life: a modal dialog of the window's own.
    class Scope {
      public:
        explicit Scope(Questions& questions) : q_(questions) { ++q_.open_; }
        ~Scope() { q_.Closed(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        Questions& q_;
    };

  private:
    class GuardedDialogs final : public Dialogs {
      public:
        GuardedDialogs(Questions& questions, Dialogs& inner) : q_(questions), inner_(inner) {}
        void ShowNotice(NoticeKind kind, const std::string& text) override;
        bool AskYesNo(const std::string& text) override;
        std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                             const std::string& initial) override;
        std::optional<std::string> PickOpenFile(const std::string& caption,
                                                const std::string& folder,
                                                const std::string& filter) override;
        std::vector<std::string> PickOpenFiles(const std::string& caption,
                                               const std::string& folder,
                                               const std::string& filter) override;
        std::optional<std::string> PickSaveFile(const std::string& caption,
                                                const std::string& folder,
                                                const std::string& filter) override;
        std::optional<std::string> PickFolder(const std::string& caption,
                                              const std::string& text) override;
        std::optional<FolderChoice> PickMusicFolder(const std::string& caption,
                                                    const std::string& folder,
                                                    bool includeSubfolders,
                                                    const QuickAdd& quickAdd) override;

      private:
        Questions& q_;
        Dialogs& inner_;
    };

    void Closed();
    void RunWaiting();

    EventLoop& loop_;
    GuardedDialogs asking_;
    int open_ = 0;
    std::deque<std::function<void()>> waiting_;
    bool runPosted_ = false;
    // A posted run that comes after this object is gone does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace mirvo
