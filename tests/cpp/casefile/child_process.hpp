// Runs a piece of a test in a child process: for limits that must not touch
// the other tests, and for checks that need the rights of an ordinary user.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace velquin::sim::testing {

// The user and group ids of "nobody" on Debian.
inline constexpr uid_t kUnprivilegedUser = 65534;
inline constexpr gid_t kUnprivilegedGroup = 65534;

// Runs `body` in a child process and returns its result (0 to 125), or -1
// when the child did not end normally. With `unprivileged`, a child started
// by root first becomes "nobody", so that permissions apply to it as they
// do to every other user; other users run it as themselves.
inline int run_in_child(const std::function<int()>& body, bool unprivileged = false) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        int code = 126;
        if (!unprivileged || ::geteuid() != 0 ||
            (::setgid(kUnprivilegedGroup) == 0 && ::setuid(kUnprivilegedUser) == 0)) {
            code = body();
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace velquin::sim::testing
