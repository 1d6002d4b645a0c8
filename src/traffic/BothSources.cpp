#include "traffic/BothSources.h"

#include "traffic/TrafficTable.h"

#include <algorithm>

namespace quadrantel::traffic {

BothSources::BothSources(Controls window, const TrafficTable& table) : c_(window), table_(table)
{
    for (platform::Button* b : {&linkConnect, &linkClose, &feedConnect, &feedClose})
        b->changed.connect([this] { showButtons(); });
}

void BothSources::Attach(std::unique_ptr<PositionSource> link, std::unique_ptr<PositionSource> feed)
{
    link_ = std::move(link);
    feed_ = std::move(feed);
}

void BothSources::showButtons()
{
    const bool running = linkClose.visible() || feedClose.visible();
    c_.cmdClose.setEnabled(linkClose.enabled() || feedClose.enabled());
    c_.cmdClose.setVisible(running);
    c_.cmdConnect.setEnabled(!c_.cmdClose.enabled());
    c_.cmdConnect.setVisible(!running);
}

void BothSources::Start()
{
    link_->Start();
    feed_->Start();
}

void BothSources::Stop()
{
    feed_->Stop();
    link_->Stop();
}

void BothSources::Connect()
{
    // The feed first: the link's attempt waits for its answer.
    feed_->Connect();
    link_->Connect();
}

void BothSources::Disconnect()
{
    link_->Disconnect();
    feed_->Disconnect();
}

void BothSources::Tick()
{
    link_->Tick();
    feed_->Tick();
}

std::string BothSources::StateText() const
{
    return link_->StateText() + "; " + feed_->StateText();
}

platform::Picture BothSources::Light() const
{
    return link_->Light() == platform::Picture::Green ? platform::Picture::Green : feed_->Light();
}

void BothSources::NoDataCheck(bool redDataLight)
{
    // A connected link that goes quiet is news; a link that is down is its light's business,
    // while the feed still brings positions.
    if (link_->Light() == platform::Picture::Green)
        link_->NoDataCheck(redDataLight);
    else
        feed_->NoDataCheck(redDataLight);
}

std::optional<Fix> BothSources::FixOf(const std::string& callsign) const
{
    const Position* held = table_.Record(callsign);
    if (!held)
        return std::nullopt;
    if (held->source != Source::Link) {
        auto fix = feed_->FixOf(callsign);
        if (fix)
            fix->note = "data feed: " + fix->note;
        return fix;
    }
    auto fix = link_->FixOf(callsign);
    if (fix) {
        const std::int64_t age = std::max<std::int64_t>(0, table_.SecondsNow() - table_.LastSeen(callsign).value_or(0));
        fix->note = "link: position " + std::to_string(age) + " s old";
    }
    return fix;
}

} // namespace quadrantel::traffic
