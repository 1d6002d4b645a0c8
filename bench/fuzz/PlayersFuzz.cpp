// libFuzzer target: player records as the voice library writes them, 50 bytes each.
#include "voice/modTSRemote.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace quadrantel::voice;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

std::uint32_t Le32(const uint8_t* b)
{
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The bits a rights text names back, by the position of each name in `names`.
std::uint32_t BitsOf(const std::string& text, const std::vector<std::string>& names)
{
    if (text == "none")
        return 0;
    std::uint32_t bits = 0;
    std::size_t from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        const std::string name = text.substr(from, comma - from);
        std::size_t i = 0;
        while (i < names.size() && names[i] != name)
            ++i;
        Check(i < names.size() && !(bits & (1u << i))); // a known name, named once
        bits |= 1u << i;
        if (comma == std::string::npos)
            return bits;
        from = comma + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (std::size_t at = 0; at + kRawPlayerInfoSize <= size; at += kRawPlayerInfoSize) {
        const uint8_t* b = data + at;
        const RawPlayerInfo raw = RawPlayerInfo::Decode(b);
        Check(static_cast<std::uint32_t>(raw.PlayerID) == Le32(b));
        Check(static_cast<std::uint32_t>(raw.ChannelID) == Le32(b + 4));
        Check(std::memcmp(raw.NickName, b + 8, 30) == 0);
        Check(raw.ChannelPrivileges == Le32(b + 38) && raw.ServerPrivileges == Le32(b + 42) &&
              raw.PlayerFlags == Le32(b + 46));

        const PlayerInfo info = ToPlayerInfo(raw);
        Check(info.PlayerID == raw.PlayerID && info.ChannelID == raw.ChannelID);
        // The name stops at the first zero byte or at the field's end.
        Check(info.NickName.size() <= 30 && info.NickName.find('\0') == std::string::npos);
        Check(std::memcmp(info.NickName.data(), b + 8, info.NickName.size()) == 0);
        Check(info.NickName.size() == 30 || b[8 + info.NickName.size()] == 0);

        Check(BitsOf(info.ChannelRights, {"Admin", "Operator", "Auto-Operator", "Voice", "Auto-Voice"}) ==
              (raw.ChannelPrivileges & 0x1F));
        Check(BitsOf(info.PlayerStatus, {"ChannelCommander", "WantVoice", "NoWhisper", "Away", "InputMuted",
                                         "OutputMuted", "Recording"}) == (raw.PlayerFlags & 0x7F));
        std::string server = info.ServerRights;
        const std::string last = (raw.ServerPrivileges & 8) ? "Registered" : "Unregistered";
        Check(server.size() >= last.size() && server.substr(server.size() - last.size()) == last);
        server.resize(server.size() - last.size());
        if (!server.empty()) {
            Check(server.back() == ',');
            server.pop_back();
        }
        const std::uint32_t serverBits =
            server.empty() ? 0 : BitsOf(server, {"SuperServerAdmin", "ServerAdmin", "CanRegister"});
        Check(serverBits == (raw.ServerPrivileges & 7));
        Check(ChannelRightsText(raw.ChannelPrivileges) == info.ChannelRights);
    }
    return 0;
}
