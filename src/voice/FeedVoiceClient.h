#pragma once

#include "voice/SpeakerPolling.h"
#include "voice/VoiceFeed.h"
#include "voice/modTSRemote.h"

#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quadrantel::platform {
class Clock;
}

namespace quadrantel::voice {

struct FeedOptions {
    QUrl url{QString(kDefaultVoiceURL)};
    std::vector<std::int64_t> frequenciesKHz; // empty: every frequency
    int reconnectMs = 3000;
    // A transmission this long lost its end; no pilot holds the key that long.
    int maxTransmissionSeconds = 60;
    // Callsigns heard this recently stay among the players.
    int recentSeconds = 300;
    std::size_t maxRecent = 200;
    // A burst of kRxBegin runs the speaker cycle at once and then no more often than its timer.
    int burstCycleMs = 250;
    // Debug log line; default: the day's log when debug lines are on.
    std::function<void(const std::string&)> log;
};

// The voice source fed by the newer client's WebSocket: who transmits now, who was heard
// lately, and the controller's own stations. It connects on Start and keeps reconnecting
// while the client is away.
class FeedVoiceClient final : public VoiceClient {
public:
    FeedVoiceClient(FeedOptions options, const platform::Clock& clock);
    ~FeedVoiceClient() override;

    void Start(const Events& events) override;
    void Stop() override;
    bool PlayersChanged() override;
    int ReadSpeakers() override;
    const std::vector<std::int32_t>& Speakers() override { return speakers_; }
    bool ReadPlayerList() override;
    const std::vector<PlayerInfo>& Players() override { return players_; }
    void FindVoiceClient() override {}
    std::int32_t GetVoiceLogLength() override { return 0; }
    std::string GetVoiceLogText() override { return {}; }

    // One text frame as received from the client.
    void HandleFrame(const QByteArray& frame);
    // The voice light's state as the feed stands: 0 no client, 1 client off the network, 2 on it.
    int State() const;
    std::size_t OpenTransmissions() const { return open_.size(); }

private:
    struct Open {
        std::string callsign;
        std::int64_t frequencyHz;
        qint64 sinceMs;
    };

    void onStateChanged();
    void transmissionBegan();
    void endAll();
    void end(const std::string& callsign);
    void heard(const std::string& callsign, qint64 now);
    std::int32_t idOf(const std::string& callsign);
    void expire(qint64 now);
    void log(const std::string& text) const;

    FeedOptions options_;
    const platform::Clock& clock_;
    Events events_;
    QWebSocket socket_;
    QTimer reconnect_;
    QTimer burst_;
    qint64 lastBeganMs_ = 0;
    bool started_ = false;
    bool wasOpen_ = false;
    bool voiceConnected_ = false;
    int reported_ = -1;
    std::vector<Open> open_;
    std::vector<FeedStation> stations_;
    std::unordered_map<std::string, qint64> recent_; // callsign -> last heard, epoch ms
    std::unordered_map<std::string, std::int32_t> ids_;
    std::int32_t nextId_ = 1;
    bool playersChanged_ = true;
    std::vector<std::int32_t> speakers_;
    std::vector<PlayerInfo> players_;
};

} // namespace quadrantel::voice
