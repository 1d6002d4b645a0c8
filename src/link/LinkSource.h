#pragma once

#include "link/LinkController.h"
#include "link/LinkData.h"
#include "traffic/PositionSource.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quadrantel::atcclient {
class AtcClient;
}

namespace quadrantel::link {

// The network's interface program as the main window's position source: the one connection,
// connected automatically once the ATC client shows itself connected, and its no-data watch.
class LinkSource final : public traffic::PositionSource {
public:
    using MakeSocket = std::function<std::unique_ptr<LinkSocket>(LinkEvents)>;

    struct Parts {
        traffic::TrafficTable& table;
        const platform::Clock& clock;
        atcclient::AtcClient& atc;
        LinkData::DumpSink dump;
        MakeSocket makeSocket; // default: the socket class over the host's sockets
    };

    // The hooks' checkAutoConnect is the source's own.
    LinkSource(LinkController::Controls controls, LinkController::Hooks hooks, Parts parts);
    ~LinkSource() override;

    void Start() override { controller_.UpdateState(); }
    void Stop() override;
    void Connect() override { controller_.cmdConnect_Click(); }
    void Disconnect() override { controller_.cmdClose_Click(); }
    void Tick() override { controller_.tmrUpdate_Timer(); }
    std::string StateText() const override { return c_.lblState.toolTip(); }
    platform::Picture Light() const override { return c_.lblState.picture(); }
    void NoDataCheck(bool redDataLight) override { controller_.NoDataCheck(redDataLight); }
    std::optional<traffic::Fix> FixOf(const std::string& callsign) const override;

    // Connects when the ATC client shows itself connected to the network.
    void CheckAutoConnect();

    LinkController& controller() { return controller_; }
    LinkData& data() { return data_; }
    // Nothing once stopped.
    LinkSocket* socket() { return sck_.get(); }

private:
    LinkController::Controls c_;
    const traffic::TrafficTable& table_;
    atcclient::AtcClient& atc_;
    LinkData data_;
    std::unique_ptr<LinkSocket> sck_;
    LinkController controller_;
};

} // namespace quadrantel::link
