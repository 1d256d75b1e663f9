#pragma once
// Counts the saves of one file in a folder: an atomic save renames its
// temporary file over the file, which inotify reports as one move into the
// folder. Moves out are watched too: without an event between them, inotify
// would merge two moves into the same name that were not read yet.
#include <sys/inotify.h>
#include <unistd.h>

#include <string>

namespace mirvo::test {

class WriteCounter {
  public:
    WriteCounter(const std::string& folder, std::string name) : name_(std::move(name)) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(fd_, folder.c_str(), IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~WriteCounter() { ::close(fd_); }
    WriteCounter(const WriteCounter&) = delete;
    WriteCounter& operator=(const WriteCounter&) = delete;

    // Atomic saves since the last call.
    int Take() {
        Read();
        const int saves = saves_;
        saves_ = 0;
        return saves;
    }

  private:
    void Read() {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                return;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_MOVED_TO) && event->len > 0 && name_ == event->name) {
                    ++saves_;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    std::string name_;
    int fd_ = -1;
    int saves_ = 0;
};

}  // namespace mirvo::test
