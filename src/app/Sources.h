#pragma once

#include "traffic/PositionSource.h"
#include "traffic/TrafficTable.h"

#include <functional>
#include <memory>
#include <string>

namespace quadrantel::voice {
class VoiceClient;
}
namespace quadrantel::link {
class LinkSource;
}
namespace quadrantel::feed {
class FeedSource;
}

namespace quadrantel::app {

class GonioForm;
struct GonioServices;

// What a position source reaches of the main window besides its controls.
struct WindowHooks {
    std::function<void(const std::string&)> updateIcon; // the message line
    std::function<void(const traffic::StripList&)> applyStrips;
    std::function<float()> windowLeft, windowTop; // twips
    std::function<void()> showSetupWindow, unloadWindow;
    std::function<void(int)> sleep;        // blocks without running the event loop
    std::function<void(int)> pumpingSleep; // waits while the event loop runs
    std::function<void()> doEvents;
    std::function<bool()> closing; // the window is on its way out
};

// The main window's position source and voice client, as Config.ini chooses them.
struct Sources {
    std::unique_ptr<traffic::PositionSource> positions;
    link::LinkSource* link = nullptr; // the link, when it is one of the position sources
    feed::FeedSource* feed = nullptr; // the data feed, likewise
    std::unique_ptr<voice::VoiceClient> ownVoice;
    voice::VoiceClient* voice = nullptr;
};

// Reads the choices from Config.ini, once, and builds both on the window's controls; what the
// services name is taken instead.
Sources BuildSources(GonioForm& window, const GonioServices& services, traffic::TrafficTable& table,
                     const WindowHooks& hooks);

} // namespace quadrantel::app
