#include "app/Sources.h"

#include "app/GonioForm.h"
#include "feed/FeedSettings.h"
#include "feed/FeedSource.h"
#include "link/LinkSource.h"
#include "shell/Config.h"
#include "traffic/BothSources.h"
#include "voice/VoiceSettings.h"
#include "voice/WebSocketVoiceClient.h"
#include "voice/modTSRemote.h"

namespace quadrantel::app {

namespace {

struct Buttons {
    platform::Button& cmdConnect;
    platform::Button& cmdClose;
};

std::unique_ptr<link::LinkSource> MakeLink(GonioForm& f, Buttons b, const GonioServices& s,
                                           traffic::TrafficTable& table, const WindowHooks& h)
{
    return std::make_unique<link::LinkSource>(
        link::LinkController::Controls{b.cmdConnect, b.cmdClose, f.chkAutoConnect, f.lblState, f.imgData, f.lblRate,
                                       f.shapeRate, f.lblError, f.lstStrips, f.tmrStatus},
        link::LinkController::Hooks{.checkAutoConnect = nullptr,
                                    .updateIcon = h.updateIcon,
                                    .applyStrips = h.applyStrips,
                                    .windowLeft = h.windowLeft,
                                    .windowTop = h.windowTop,
                                    .showSetupWindow = h.showSetupWindow,
                                    .unloadWindow = h.unloadWindow,
                                    .sleep = h.sleep,
                                    .pumpingSleep = h.pumpingSleep,
                                    .doEvents = h.doEvents,
                                    .closing = h.closing},
        link::LinkSource::Parts{table, *s.clock, *s.atc, s.dump, s.makeSocket});
}

// The feed's state on `light` (and `data`, the network data light).
std::unique_ptr<feed::FeedSource> MakeFeed(GonioForm& f, Buttons b, platform::Image& light, platform::Image& data,
                                           const feed::FeedSettings& settings, const GonioServices& s,
                                           traffic::TrafficTable& table, const WindowHooks& h)
{
    feed::FeedOptions options;
    if (s.feed) {
        options = *s.feed;
    } else {
        options.fetch.url = QUrl(QString::fromStdString(settings.url));
        options.intervalMs = settings.intervalSeconds * 1000;
    }
    return std::make_unique<feed::FeedSource>(
        feed::FeedController::Controls{b.cmdConnect, b.cmdClose, f.chkAutoConnect, light, data}, f.lblError,
        std::move(options), *s.clock, *s.random, table,
        feed::FeedSource::Hooks{.stationId = [&f] { return f.txtStation.text(); },
                                .selectedStrip = [&f] { return f.lstStrips.text(); },
                                .applyStrips = h.applyStrips,
                                .updateIcon = h.updateIcon});
}

void BuildVoice(Sources& out, const GonioServices& s, const std::string& config)
{
    if (s.voice) {
        out.voice = s.voice;
        return;
    }
    const voice::VoiceSettings vs = voice::ReadVoiceSettings(config);
    if (vs.webSocket) {
        out.ownVoice = std::make_unique<voice::WebSocketVoiceClient>(voice::WebSocketOptionsFrom(vs), *s.clock);
        out.voice = out.ownVoice.get();
    } else {
        out.voice = &voice::RemoteVoiceClient();
    }
}

} // namespace

Sources BuildSources(GonioForm& f, const GonioServices& s, traffic::TrafficTable& table, const WindowHooks& hooks)
{
    const std::string& config = shell::globals().sConfigFile;
    Sources out;
    BuildVoice(out, s, config);
    const feed::FeedSettings settings = feed::ReadFeedSettings(config);
    const Buttons window{f.cmdConnect, f.cmdClose};
    switch (settings.source) {
    case feed::PositionChoice::Link: {
        auto link = MakeLink(f, window, s, table, hooks);
        out.link = link.get();
        out.positions = std::move(link);
        break;
    }
    case feed::PositionChoice::Feed: {
        f.Label2.setCaption("Data feed:");
        auto feed = MakeFeed(f, window, f.lblState, f.imgData, settings, s, table, hooks);
        out.feed = feed.get();
        out.positions = std::move(feed);
        break;
    }
    case feed::PositionChoice::Both: {
        // Each source keeps its own light: the feed's is the one beside "Data feed:".
        f.lblFeedCaption.setVisible(true);
        f.imgFeed.setVisible(true);
        auto both =
            std::make_unique<traffic::BothSources>(traffic::BothSources::Controls{f.cmdConnect, f.cmdClose}, table);
        auto link = MakeLink(f, {both->linkConnect, both->linkClose}, s, table, hooks);
        auto feed = MakeFeed(f, {both->feedConnect, both->feedClose}, f.imgFeed, f.imgFeed, settings, s, table, hooks);
        out.link = link.get();
        out.feed = feed.get();
        both->Attach(std::move(link), std::move(feed));
        out.positions = std::move(both);
        break;
    }
    }
    return out;
}

} // namespace quadrantel::app
