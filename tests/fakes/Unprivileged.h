#pragma once
// Runs a piece of a test as an ordinary user, where file modes hold: root
// reads and writes files whatever their modes say.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace mirvo::test {

inline constexpr uid_t kNobody = 65534;

// Hands `path` to the user the unprivileged part runs as.
inline void GiveToTestUser(const char* path) {
    if (::geteuid() == 0) {
        [[maybe_unused]] const int ignored = ::chown(path, kNobody, kNobody);
    }
}

// Runs `body` in a child process as the test user and returns its exit code
// (-1 when it did not exit normally). The child only touches files: the
// caller checks the outcome after it ends.
template <class Body>
int RunUnprivileged(Body&& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0)) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace mirvo::test
