#include "link/SocketPlusLink.h"

#include "net/CSocketPlus.h"
#include "shell/Config.h"

namespace quadrantel::link {
namespace {

class SocketPlusLink final : public LinkSocket {
public:
    explicit SocketPlusLink(LinkEvents events) : events_(std::move(events))
    {
        sck_.events.DataArrival = [this](const net::Variant& index, std::int32_t bytesTotal) {
            if (events_.dataArrival)
                events_.dataArrival(index.toText(), bytesTotal);
        };
        sck_.events.CloseSck = [this](const net::Variant& index) {
            if (events_.closed)
                events_.closed(index.toText());
        };
        // CancelDisplay is left as it comes, so the socket shows no message box of its own.
        sck_.events.Error = [this](const net::Variant& index, std::int16_t number, std::string& description,
                                   std::int32_t, const std::string&, const std::string&, std::int32_t, bool&) {
            if (events_.error)
                events_.error(index.toText(), number, description);
        };
        sck_.ArrayAdd(net::Variant(shell::globals().sServerName));
    }

    int state(const std::string& index) override { return sck_.state(net::Variant(index)); }
    void Connect(const std::string& index, const std::string& host, const std::string& port) override
    {
        sck_.Connect(net::Variant(index), net::Variant(host), net::Variant(port));
    }
    void SendData(const std::string& index, const std::string& data) override
    {
        sck_.SendData(net::Variant(index), net::Variant(data));
    }
    void GetData(const std::string& index, std::string& data) override { sck_.GetData(net::Variant(index), data); }
    void CloseSck(const std::string& index) override { sck_.CloseSck(net::Variant(index)); }
    void SetTag(const std::string& index, const std::string& tag) override { sck_.SetTag(net::Variant(index), tag); }

private:
    LinkEvents events_;
    net::CSocketPlus sck_;
};

} // namespace

std::unique_ptr<LinkSocket> MakeSocketPlusLink(LinkEvents events)
{
    return std::make_unique<SocketPlusLink>(std::move(events));
}

} // namespace quadrantel::link
