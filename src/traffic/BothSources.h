#pragma once

#include "traffic/PositionSource.h"

#include <memory>

namespace quadrantel::traffic {

class TrafficTable;

// The link and the data feed at once. A pilot the link relays is read from the link (the
// fresher), every other from the feed; the reading's note names the source. Each keeps its own
// light; Connect and Disconnect act on both, and the window offers Disconnect while either runs.
class BothSources final : public PositionSource {
public:
    struct Controls {
        platform::Button& cmdConnect;
        platform::Button& cmdClose;
    };

    BothSources(Controls window, const TrafficTable& table);

    // The buttons each source is given in place of the window's; the window's follow them.
    platform::Button linkConnect, linkClose, feedConnect, feedClose;
    // The two sources, built on those buttons.
    void Attach(std::unique_ptr<PositionSource> link, std::unique_ptr<PositionSource> feed);

    void Start() override;
    void Stop() override;
    void Connect() override;
    void Disconnect() override;
    void Tick() override;
    std::string StateText() const override;
    platform::Picture Light() const override;
    void NoDataCheck(bool redDataLight) override;
    std::optional<Fix> FixOf(const std::string& callsign) const override;

private:
    void showButtons();

    Controls c_;
    const TrafficTable& table_;
    std::unique_ptr<PositionSource> link_, feed_;
};

} // namespace quadrantel::traffic
