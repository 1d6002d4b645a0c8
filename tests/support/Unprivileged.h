#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <initializer_list>
#include <string>

namespace quadrantel::test {

// Runs fn in a child process as an ordinary user, so that permission cases hold for root
// as well (root reads and writes any file). The given paths are handed to that user first.
// Returns fn's result; false when the child could not run it.
inline bool AsUnprivileged(const std::function<bool()>& fn, std::initializer_list<std::string> paths = {})
{
    constexpr uid_t kNobody = 65534;
    const bool root = ::geteuid() == 0;
    for (const std::string& p : paths)
        if (root && ::chown(p.c_str(), kNobody, kNobody) != 0)
            return false;
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(2);
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace quadrantel::test
