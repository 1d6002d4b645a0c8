#include "VoiceState.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace voicesim {

std::string StatePath()
{
    const char* path = std::getenv("QUADRANTEL_VOICE_STATE");
    if (path && *path)
        return path;
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/voice-sim-" + std::to_string(getuid()) + ".state";
}

bool Write(const std::string& path, const State& s)
{
    std::ostringstream out;
    out << "voice-sim " << s.pid << "\nconnected " << (s.connected ? 1 : 0) << "\n";
    for (const Player& p : s.players)
        out << "player " << p.id << ' ' << p.channel << ' ' << p.channelRights << ' ' << p.serverRights << ' '
            << p.flags << ' ' << p.nick << "\n";
    for (std::int32_t id : s.speakers)
        out << "speaker " << id << "\n";
    const std::string temp = path + ".new";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << out.str();
        if (!file.flush())
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool Read(const std::string& path, State& s)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    s = State{};
    std::string line;
    bool valid = false;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "voice-sim") {
            valid = static_cast<bool>(in >> s.pid);
        } else if (kind == "connected") {
            int c = 0;
            in >> c;
            s.connected = c != 0;
        } else if (kind == "player") {
            Player p;
            if (in >> p.id >> p.channel >> p.channelRights >> p.serverRights >> p.flags) {
                in >> std::ws;
                std::getline(in, p.nick);
                s.players.push_back(p);
            }
        } else if (kind == "speaker") {
            std::int32_t id = 0;
            if (in >> id)
                s.speakers.push_back(id);
        }
    }
    return valid;
}

} // namespace voicesim
