// Runs a piece of a test in a child process: for limits that must not touch
// the other tests, and for checks that need the rights of an ordinary user.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace velquin::sim::testing {

// The user and group ids of "nobody" on Debian.
inline constexpr uid_t kUnprivilegedUser = 65534;
inline constexpr gid_t kUnprivilegedGroup = 65534;

// Gives up root's rights (a process started by root becomes "nobody", so that
// permissions apply to it as they do to every other user); other users stay
// themselves. False when the rights could not be given up.
inline bool become_unprivileged() {
    return ::geteuid() != 0 || (::setgid(kUnprivilegedGroup) == 0 && ::setuid(kUnprivilegedUser) == 0);
}

// Runs `body` in a child process and returns its result (0 to 125), or -1
// when the child did not end normally. With `unprivileged`, the child first
// gives up root's rights (126 when it cannot).
inline int run_in_child(const std::function<int()>& body, bool unprivileged = false) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) ::_exit(!unprivileged || become_unprivileged() ? body() : 126);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Runs `body` in a child process and returns the text it gives back, or a
// text in parentheses saying why the child gave none.
inline std::string text_from_child(const std::function<std::string()>& body) {
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return "(no pipe)";
    const pid_t child = ::fork();
    if (child < 0) return "(no child process)";
    if (child == 0) {
        ::close(pipe_ends[0]);
        const std::string text = body();
        const bool sent =
            ::write(pipe_ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipe_ends[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(pipe_ends[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "(the child process failed: " + text + ")";
    return text;
}

}  // namespace velquin::sim::testing
