#include "player/Questions.h"

namespace mirvo {

Questions::Questions(EventLoop& loop, Dialogs& dialogs) : loop_(loop), asking_(*this, dialogs) {}

void Questions::Request(std::function<void()> request) {
    if (loop_.Quitting()) {
        return;
    }
    if (!Open() && waiting_.empty()) {
        request();
        return;
    }
    waiting_.push_back(std::move(request));
}

void Questions::Closed() {
    if (--open_ > 0 || waiting_.empty() || runPosted_) {
        return;
    }
    // Not here: the command that asked goes on with what it asked about, so
    // the waiting requests run once the loop gets to them.
    runPosted_ = true;
    loop_.PostToUiThread([this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) {
            RunWaiting();
        }
    });
}

void Questions::RunWaiting() {
    runPosted_ = false;
    // A question opened meanwhile (the next one of the same command, shown in
    // the loop this ran from) posts the run again when it closes.
    while (!Open() && !waiting_.empty()) {
        if (loop_.Quitting()) {
            waiting_.clear();
            return;
        }
        std::function<void()> next = std::move(waiting_.front());
        waiting_.pop_front();
        next();
    }
}

void Questions::GuardedDialogs::ShowNotice(NoticeKind kind, const std::string& text) {
    const Scope open(q_);
    inner_.ShowNotice(kind, text);
}

bool Questions::GuardedDialogs::AskYesNo(const std::string& text) {
    const Scope open(q_);
    return inner_.AskYesNo(text);
}

std::optional<std::string> Questions::GuardedDialogs::InputText(const std::string& caption,
                                                                const std::string& prompt,
                                                                const std::string& initial) {
    const Scope open(q_);
    return inner_.InputText(caption, prompt, initial);
}

std::optional<std::string> Questions::GuardedDialogs::PickOpenFile(const std::string& caption,
                                                                   const std::string& folder,
                                                                   const std::string& filter) {
    const Scope open(q_);
    return inner_.PickOpenFile(caption, folder, filter);
}

std::vector<std::string> Questions::GuardedDialogs::PickOpenFiles(const std::string& caption,
                                                                  const std::string& folder,
                                                                  const std::string& filter) {
    const Scope open(q_);
    return inner_.PickOpenFiles(caption, folder, filter);
}

std::optional<std::string> Questions::GuardedDialogs::PickSaveFile(const std::string& caption,
                                                                   const std::string& folder,
                                                                   const std::string& filter) {
    const Scope open(q_);
    return inner_.PickSaveFile(caption, folder, filter);
}

std::optional<std::string> Questions::GuardedDialogs::PickFolder(const std::string& caption,
                                                                 const std::string& text) {
    const Scope open(q_);
    return inner_.PickFolder(caption, text);
}

std::optional<FolderChoice> Questions::GuardedDialogs::PickMusicFolder(const std::string& caption,
                                                                       const std::string& folder,
                                                                       bool includeSubfolders,
                                                                       const QuickAdd& quickAdd) {
    const Scope open(q_);
    return inner_.PickMusicFolder(caption, folder, includeSubfolders, quickAdd);
}

}  // namespace mirvo
