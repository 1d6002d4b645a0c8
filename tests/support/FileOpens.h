#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

namespace quadrantel::test {

// Counts how often a file is opened from now on, by whatever means: the kernel's own account
// (inotify). Closes are watched too, so that two opens in a row are never merged into one.
class FileOpens {
public:
    explicit FileOpens(const std::string& file) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        ::inotify_add_watch(fd_, file.c_str(), IN_OPEN | IN_CLOSE);
    }
    ~FileOpens() { ::close(fd_); }
    FileOpens(const FileOpens&) = delete;
    FileOpens& operator=(const FileOpens&) = delete;

    // Opens so far; -1 when the file cannot be watched.
    int count()
    {
        if (fd_ < 0)
            return -1;
        alignas(inotify_event) char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_OPEN)
                    ++opens_;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

private:
    int fd_;
    int opens_ = 0;
};

} // namespace quadrantel::test
