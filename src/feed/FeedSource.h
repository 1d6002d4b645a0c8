#pragma once

#include "feed/FeedController.h"
#include "traffic/PositionSource.h"
#include "traffic/TrafficTable.h"

#include <functional>
#include <optional>
#include <string>

namespace quadrantel::feed {

// The station of a position Id ("NAME N050.01.59.880 E008.34.14.160"); none without one.
std::optional<Station> StationOf(std::string positionId);

// The data feed as the main window's position source: the pilots it keeps near the station
// stored in the traffic table, readings moved to the network's now, and its no-data watch.
class FeedSource final : public traffic::PositionSource {
public:
    struct Hooks {
        std::function<std::string()> stationId; // the selected station's position Id
        std::function<std::string()> selectedStrip;
        std::function<void(const traffic::StripList&)> applyStrips;
        std::function<void(const std::string&)> updateIcon; // the message line
    };

    FeedSource(FeedController::Controls controls, platform::Label& lblError, FeedOptions options,
               const platform::Clock& clock, platform::Random& random, traffic::TrafficTable& table, Hooks hooks);

    void Start() override { Tick(); }
    void Stop() override { controller_.Stop(); }
    void Connect() override { controller_.cmdConnect_Click(); }
    void Disconnect() override { controller_.cmdClose_Click(); }
    void Tick() override;
    std::string StateText() const override { return controller_.StateText(); }
    platform::Picture Light() const override { return controller_.Light(); }
    void NoDataCheck(bool redDataLight) override;
    std::optional<traffic::Fix> FixOf(const std::string& callsign) const override;

    FeedController& controller() { return controller_; }

private:
    void apply(const FeedTraffic::Changes& changes, bool now);

    platform::Label& lblError_;
    traffic::TrafficTable& table_;
    Hooks hooks_;
    FeedController controller_;
    std::string station_; // the position Id the pilots were last filtered for
};

} // namespace quadrantel::feed
