#include "shell/LogFiles.h"

#include "platform/Clock.h"
#include "shell/Config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <utility>

namespace quadrantel::shell {
namespace {

const platform::Clock* g_clock = nullptr;

std::function<void(const std::string&)> g_notice;
std::string g_pendingNotice; // said before anybody listened

void Notice(const std::string& text)
{
    if (g_notice) {
        g_notice(text);
        return;
    }
    std::fprintf(stderr, "quadrantel: %s\n", text.c_str());
    g_pendingNotice = text;
}

const platform::Clock& LogClock()
{
    return g_clock ? *g_clock : platform::DefaultClock();
}

DailyFile& LogFile()
{
    static DailyFile f("Log_");
    return f;
}

DailyFile& DumpFile()
{
    static DailyFile f("Dump_");
    return f;
}

} // namespace

DailyFile::DailyFile(std::string prefix) : prefix_(std::move(prefix)) {}

DailyFile::~DailyFile()
{
    close();
}

void DailyFile::close() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool DailyFile::reopenIfNeeded(const std::string& folder, const platform::Clock& clock) noexcept
{
    try {
        // Only the epoch time on the common path: a local-time reading costs more than the write.
        const qint64 nowMs = clock.nowMSecs();
        // A clock set back before the open file's day also changes the file.
        if (fd_ >= 0 && folder == folder_ && nowMs < dayEndMs_ && nowMs >= dayStartMs_) {
            // A file removed or renamed behind our back (a log rotator) is opened anew by name.
            struct stat open {
            }, named{};
            if (::fstat(fd_, &open) == 0 && ::stat(path_.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
                open.st_ino == named.st_ino)
                return true;
        }
        close();
        const QDate day = QDateTime::fromMSecsSinceEpoch(nowMs).date();
        char name[16];
        std::snprintf(name, sizeof name, "%04d%02d%02d", day.year(), day.month(), day.day());
        path_ = folder + kPathSep + prefix_ + name + ".TXT";
        folder_ = folder;
        dayStartMs_ = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
        dayEndMs_ = QDateTime(day.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
        // Without blocking: opening a FIFO for writing waits for a reader, for good.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        struct stat st {};
        if (fd_ < 0 && errno != ENXIO && errno != EISDIR) // ENXIO: a FIFO nobody reads
            return false;
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            const std::string refused = path_;
            close();
            if (refused != refused_) {
                refused_ = refused;
                Notice(prefix_ + name + ".TXT is not a regular file: nothing is written to it");
            }
            return false;
        }
        refused_.clear();
        return true;
    } catch (...) {
        close();
        return false;
    }
}

void DailyFile::append(const std::string& folder, const platform::Clock& clock, std::string_view bytes) noexcept
{
    if (folder.empty() || !reopenIfNeeded(folder, clock))
        return;
    const off_t start = ::lseek(fd_, 0, SEEK_END);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A full disk: a half-written line would glue the next one onto it. These lines
            // are lost, the next call tries again.
            if (done > 0 && start >= 0 && ::ftruncate(fd_, start) != 0) {
                // the fragment stays; nothing more can be done here
            }
            close();
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void SetFileNotice(std::function<void(const std::string&)> notice)
{
    g_notice = std::move(notice);
    if (g_notice && !g_pendingNotice.empty())
        g_notice(std::exchange(g_pendingNotice, std::string()));
}

void PrepareFileWrites()
{
    // Past a file-size limit a write then fails with EFBIG, which the writers handle, instead
    // of the signal ending the program in the middle of a line.
    std::signal(SIGXFSZ, SIG_IGN);
}

void SetLogClock(const platform::Clock* clock)
{
    g_clock = clock;
}

void WriteLog(std::string_view text)
{
    try {
        const platform::Clock& clock = LogClock();
        const QTime t = clock.now().time();
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", t.hour(), t.minute(), t.second());
        std::string line;
        line.reserve(text.size() + 11);
        line.append(stamp).append(text).append("\r\n");
        LogFile().append(globals().sDataFolder, clock, line);
    } catch (...) {
    }
}

void Log(std::string_view text)
{
    try {
        std::string line;
        line.reserve(text.size() + 2);
        line.append(text).append("\r\n");
        DumpFile().append(globals().sDataFolder, LogClock(), line);
    } catch (...) {
    }
}

void DumpBlock(std::string_view lines)
{
    if (!lines.empty())
        DumpFile().append(globals().sDataFolder, LogClock(), lines);
}

void CloseLogFiles()
{
    LogFile().close();
    DumpFile().close();
}

} // namespace quadrantel::shell
