// libFuzzer target: an airports file of any content and a code to look up.
// Input: a length byte, the code, then the file; an odd length byte takes the code from
// the first field of the file's line chosen by the second byte instead.
#include "platform/Runtime.h"
#include "stations/Airports.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

using namespace quadrantel;
using stations::AirportOutcome;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

const std::string& File()
{
    static const std::string file = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const std::string dir = std::string(base) + "/quadrantel-airports-fuzz-" + std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0700);
        static const std::string removed = dir;
        std::atexit([] { std::filesystem::remove_all(removed); });
        return dir + "/airports.dat";
    }();
    return file;
}

std::vector<std::string> Lines(std::string_view content)
{
    std::vector<std::string> lines;
    while (!content.empty()) {
        const auto nl = content.find('\n');
        std::string line(content.substr(0, nl));
        content = nl == std::string_view::npos ? std::string_view{} : content.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string code(rest.substr(0, data[0] % 16u));
    rest.remove_prefix(code.size());
    const std::vector<std::string> lines = Lines(rest);
    if ((data[0] & 1) && !lines.empty()) {
        const std::string& line = lines[data[1] % lines.size()];
        code = line.substr(0, line.find(':'));
    }
    std::ofstream(File(), std::ios::binary | std::ios::trunc)
        .write(rest.data(), static_cast<std::streamsize>(rest.size()));

    const auto found = stations::LookupAirport(File(), code);
    const std::string wanted = platform::Trim(platform::UCase(code));
    Check(found.code == wanted);
    if (wanted.empty()) {
        Check(found.outcome == AirportOutcome::NoCode);
        return 0;
    }
    // The first line whose code matches decides.
    for (const std::string& line : lines) {
        if (line.empty() || platform::UCase(line.substr(0, line.find(':'))) != wanted)
            continue;
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const auto colon = line.find(':', from);
            fields.push_back(line.substr(from, colon - from));
            if (colon == std::string::npos)
                break;
            from = colon + 1;
        }
        if (fields.size() < 7) {
            Check(found.outcome == AirportOutcome::ShortRecord);
        } else {
            Check(found.outcome == AirportOutcome::Found);
            Check(found.latitude == fields[5] && found.longitude == fields[6]);
        }
        return 0;
    }
    Check(found.outcome == AirportOutcome::NotFound);
    return 0;
}
