// libFuzzer target: a settings file of any content read, written and read back.
// Input: five length bytes (section, key, value, other section, other key), those texts,
// then the file's content.
#include "platform/ProfileFile.h"
#include "platform/Runtime.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

using namespace quadrantel::platform;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A name the file can hold: no line break, nothing read as a bracket, comment or '='.
std::string Name(std::string s, const char* banned)
{
    for (char& c : s)
        if (c == '\r' || c == '\n' || std::string_view(banned).find(c) != std::string_view::npos)
            c = '_';
    s = Trim(s);
    return s.empty() ? std::string("n") : s;
}

const std::string& File()
{
    static const std::string file = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const std::string dir = std::string(base) + "/quadrantel-settings-fuzz-" + std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0700);
        static const std::string removed = dir;
        std::atexit([] { std::filesystem::remove_all(removed); });
        return dir + "/settings.ini";
    }();
    return file;
}

std::string Read(const std::string& section, const std::string& key)
{
    std::string buffer;
    GetPrivateProfileString(section, key, "\x01missing", buffer, 1 << 20, File());
    return buffer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const std::size_t lengths[5] = {data[0] % 16u, data[1] % 16u, data[2] % 64u, data[3] % 16u, data[4] % 16u};
    std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);
    std::string texts[5];
    for (int i = 0; i < 5; ++i) {
        const std::size_t n = std::min(lengths[i], rest.size());
        texts[i] = std::string(rest.substr(0, n));
        rest.remove_prefix(n);
    }
    const std::string section = Name(texts[0], "]");
    const std::string key = Name(texts[1], "=[];");
    const std::string& value = texts[2];
    std::string otherSection = Name(texts[3], "]");
    while (EqualsNoCase(otherSection, section))
        otherSection += "2";
    std::string otherKey = Name(texts[4], "=[];");
    while (EqualsNoCase(otherKey, key))
        otherKey += "2";

    std::ofstream(File(), std::ios::binary | std::ios::trunc)
        .write(rest.data(), static_cast<std::streamsize>(rest.size()));

    // Reads of what the file holds: any answer but a crash is fine, and they repeat.
    const std::string before = Read(section, key);
    Check(Read(section, key) == before);
    const std::string unrelated = Read(otherSection, otherKey);
    const std::string sibling = Read(section, otherKey);
    std::string small;
    Check(GetPrivateProfileString(section, key, "dflt", small, 4, File()) <= 3 && small.size() <= 3);

    Check(WritePrivateProfileString(section, key, value, File()));

    std::string expected = value;
    for (char& c : expected)
        if (c == '\r' || c == '\n')
            c = ' ';
    expected = Trim(expected);
    if (expected.size() >= 2 && (expected.front() == '"' || expected.front() == '\'') &&
        expected.back() == expected.front())
        expected = expected.substr(1, expected.size() - 2);
    Check(Read(section, key) == expected);
    Check(Read(otherSection, otherKey) == unrelated);
    Check(Read(section, otherKey) == sibling);
    return 0;
}
