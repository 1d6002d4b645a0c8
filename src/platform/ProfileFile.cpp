#include "platform/ProfileFile.h"

#include "platform/Runtime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quadrantel::platform {
namespace {

struct TextLine {
    std::string text; // without its line end
    std::string end;  // "\r\n", "\n" or "" for a last line without one
};

enum class Source { Missing, Unreadable, Read };

// Only a regular file is read: a FIFO or a device would block or never end, so anything
// else counts as missing. Opened without blocking, then checked on the open descriptor.
Source ReadWhole(const std::string& file, std::string& data)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Source::Missing : Source::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Source::Missing;
    }
    data.clear();
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return Source::Unreadable;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return Source::Read;
}

// The file a chain of symbolic links ends at, so that a write replaces the target and
// keeps the link. Empty when the chain loops.
std::string ResolveLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size())
            return {};
        target.resize(static_cast<std::size_t>(n));
        if (target.front() != '/') {
            const auto slash = path.rfind('/');
            if (slash != std::string::npos)
                target.insert(0, path, 0, slash + 1);
        }
        path = std::move(target);
    }
    return {};
}

std::vector<TextLine> SplitLines(const std::string& data)
{
    std::vector<TextLine> lines;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const auto nl = data.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({data.substr(pos), ""});
            break;
        }
        std::size_t end = nl;
        std::string ending = "\n";
        if (end > pos && data[end - 1] == '\r') {
            --end;
            ending = "\r\n";
        }
        lines.push_back({data.substr(pos, end - pos), ending});
        pos = nl + 1;
    }
    return lines;
}

std::string_view TrimBlanks(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The section name of a header line "[name]", if the line is one.
std::optional<std::string_view> SectionOf(std::string_view line)
{
    const std::string_view t = TrimBlanks(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return TrimBlanks(t.substr(1, close - 1));
}

// Key and value of an entry line "key = value"; comments and lines without '=' have none.
bool EntryOf(std::string_view line, std::string_view& key, std::string_view& value)
{
    const std::string_view t = TrimBlanks(line);
    if (t.empty() || t.front() == ';')
        return false;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = TrimBlanks(t.substr(0, eq));
    value = TrimBlanks(t.substr(eq + 1));
    return true;
}

std::string Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string OneLine(std::string s)
{
    // A line break inside a value would forge a new key on the next read.
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

} // namespace

namespace {

// Every key of the file's sections named `section`, by upper-case key; the first one wins.
std::unordered_map<std::string, std::string> IndexSection(const std::string& data, const std::string& section)
{
    std::unordered_map<std::string, std::string> index;
    bool inSection = false;
    const std::string_view all(data);
    for (std::size_t pos = 0; pos < all.size();) {
        const auto nl = all.find('\n', pos);
        const std::string_view line = all.substr(pos, nl == std::string_view::npos ? all.npos : nl - pos);
        pos = nl == std::string_view::npos ? all.size() : nl + 1;
        if (const auto name = SectionOf(line)) {
            inSection = EqualsNoCase(*name, section);
            continue;
        }
        std::string_view k, v;
        if (inSection && EntryOf(line, k, v))
            index.try_emplace(UCase(k), Unquote(v));
    }
    return index;
}

// What a batch keeps of one file: its bytes (nothing when it could not be read) and the
// sections looked up so far.
struct BatchedFile {
    std::optional<std::string> data;
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> sections; // by upper-case name
};

int g_batchDepth = 0;
std::unordered_map<std::string, BatchedFile> g_batch;

std::optional<std::string> ReadValue(const std::string& file, const std::string& section, const std::string& key)
{
    const auto lookUp = [&key](const std::unordered_map<std::string, std::string>& index) {
        const auto found = index.find(UCase(key));
        return found == index.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
    if (g_batchDepth == 0) {
        std::string data;
        if (ReadWhole(file, data) != Source::Read)
            return std::nullopt;
        return lookUp(IndexSection(data, section));
    }
    auto [entry, added] = g_batch.try_emplace(file);
    BatchedFile& batched = entry->second;
    if (added) {
        std::string data;
        if (ReadWhole(file, data) == Source::Read)
            batched.data = std::move(data);
    }
    if (!batched.data)
        return std::nullopt;
    auto [sectionEntry, indexed] = batched.sections.try_emplace(UCase(section));
    if (indexed)
        sectionEntry->second = IndexSection(*batched.data, section);
    return lookUp(sectionEntry->second);
}

// The mode open() gives a new file: 0666 less the process's umask. umask() reads it only by
// setting it, which for that instant gives any file another thread creates mode 0666: the
// kernel's own account of it is read instead. Where that is unreadable the new file is the
// owner's alone, which never shows more than he meant to.
mode_t NewFileMode()
{
    std::string status;
    if (ReadWhole("/proc/self/status", status) == Source::Read) {
        const std::string_view kKey = "\nUmask:";
        const auto at = status.find(kKey);
        if (at != std::string::npos) {
            const char* first = status.data() + at + kKey.size();
            const char* last = status.data() + status.size();
            while (first != last && (*first == '\t' || *first == ' '))
                ++first;
            unsigned mask = 0;
            const auto [end, ec] = std::from_chars(first, last, mask, 8);
            if (ec == std::errc() && end != first && (end == last || *end == '\n'))
                return 0666 & ~static_cast<mode_t>(mask);
        }
    }
    return 0600;
}

} // namespace

ProfileReadBatch::ProfileReadBatch()
{
    ++g_batchDepth;
}

ProfileReadBatch::~ProfileReadBatch()
{
    if (--g_batchDepth == 0)
        g_batch.clear();
}

std::size_t GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::string& buffer, std::size_t size, const std::string& file)
{
    std::string result = ReadValue(file, section, key).value_or(RTrim(defaultValue));
    if (size == 0) {
        buffer.clear();
        return 0;
    }
    if (result.size() > size - 1)
        result.resize(size - 1);
    buffer = result;
    return result.size();
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& file)
{
    // What a batch read may change now; any name of it may be a link to this file.
    g_batch.clear();
    const std::string entry = OneLine(key) + "=" + OneLine(value);
    const std::string target = ResolveLinks(file);
    if (target.empty())
        return false;
    std::string existing;
    // A file that could not be read would lose every other key if rewritten.
    const Source source = ReadWhole(target, existing);
    if (source == Source::Unreadable)
        return false;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    // Nor is a FIFO, device or folder of that name replaced by a settings file.
    if (exists && (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0))
        return false;

    std::vector<TextLine> lines = SplitLines(existing);
    std::optional<std::size_t> sectionLine, keyLine, lastEntry;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size() && !keyLine; ++i) {
        if (const auto name = SectionOf(lines[i].text)) {
            if (inSection)
                break; // the key is looked for in the first matching section only
            inSection = EqualsNoCase(*name, section);
            if (inSection) {
                sectionLine = i;
                lastEntry = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        std::string_view k, v;
        if (EntryOf(lines[i].text, k, v) && EqualsNoCase(k, key))
            keyLine = i;
        else if (!TrimBlanks(lines[i].text).empty())
            lastEntry = i;
    }

    if (keyLine) {
        lines[*keyLine].text = entry;
    } else if (sectionLine) {
        TextLine& before = lines[*lastEntry];
        if (before.end.empty())
            before.end = "\r\n";
        lines.insert(lines.begin() + static_cast<long>(*lastEntry) + 1, TextLine{entry, "\r\n"});
    } else {
        if (!lines.empty() && lines.back().end.empty())
            lines.back().end = "\r\n";
        lines.push_back({"[" + section + "]", "\r\n"});
        lines.push_back({entry, "\r\n"});
    }

    std::string out;
    for (const TextLine& l : lines)
        out += l.text + l.end;

    // Written beside the file and renamed over it, so no half-written file is left behind.
    // A short name of its own: the file's name plus a suffix could exceed what a name may hold.
    const auto slash = target.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".ini-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // mkostemp makes it private: give it the old file's mode, or a new file's under the umask.
    if (::fchmod(fd, exists ? (st.st_mode & 07777) : NewFileMode()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = done == out.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace quadrantel::platform
