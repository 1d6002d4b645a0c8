#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quadrantel::platform {
class Clock;
}

namespace quadrantel::shell {

// A day's file <folder>/<prefix>YYYYMMDD.TXT, named by the local date at the moment of
// writing. The file stays open between calls; it is changed at local midnight and reopened
// when its name no longer leads to it (removed, renamed) or the folder changed. Every error
// is swallowed; a missing folder creates nothing; only a regular file is written. Each call hands its bytes to the
// operating system in one write; a write that fails part-way is cut back to where it began.
class DailyFile {
public:
    explicit DailyFile(std::string prefix);
    ~DailyFile();
    DailyFile(const DailyFile&) = delete;
    DailyFile& operator=(const DailyFile&) = delete;

    void append(const std::string& folder, const platform::Clock& clock, std::string_view bytes) noexcept;
    void close() noexcept;

private:
    bool reopenIfNeeded(const std::string& folder, const platform::Clock& clock) noexcept;

    std::string prefix_;
    std::string folder_;
    std::string path_;
    std::string refused_;      // the last name found not to be a regular file, said once
    long long dayStartMs_ = 0; // local midnights around the open file's date, epoch ms
    long long dayEndMs_ = 0;
    int fd_ = -1;
};

// Where the writers say, once per name, that a day's file is not a regular file (a FIFO,
// a folder) and is left alone. Until one is set, standard error hears it, and the last such
// notice is handed to the next one set. nullptr stops the notices.
void SetFileNotice(std::function<void(const std::string&)> notice);

// Makes a write past the file-size limit fail instead of ending the process; once at start.
void PrepareFileWrites();

// Clock used by both writers; nullptr restores the system clock.
void SetLogClock(const platform::Clock* clock);

// "HH:MM:SS " + text + CR LF into the day's log. Callers test bDebug themselves.
void WriteLog(std::string_view text);

// text + CR LF into the day's dump.
void Log(std::string_view text);

// Lines already ended by CR LF, into the day's dump in one write.
void DumpBlock(std::string_view lines);

// Closes the open files (the next call opens them again).
void CloseLogFiles();

} // namespace quadrantel::shell
