#pragma once

#include "voice/VoiceClient.h"
#include "voice/VoiceEvents.h"
#include "voice/VoiceSettings.h"

#include <QTimer>
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

struct WebSocketOptions {
    std::string url = kDefaultVoiceURL;
    FrequencyRule frequencies;
    int reconnectMs = 3000;
    // The heartbeat's checks run this often; its deadlines are read from the clock.
    int watchMs = 250;
    int handshakeMs = 3000;
    // A ping this often; one still unanswered when the next is due drops the connection.
    int pingMs = 5000;
    // Pongs the peer does not read pile up here; past this the connection is dropped.
    qint64 maxUnsentBytes = qint64(64) * 1024;
    std::size_t maxStations = 100;
    // A transmission this long lost its end; no pilot holds the key that long.
    int maxTransmissionSeconds = 30;
    // Callsigns heard this recently stay among the players.
    int recentSeconds = 300;
    std::size_t maxRecent = 200;
    // A burst of kRxBegin runs the speaker cycle at once and then no more often than its timer.
    int burstCycleMs = 250;
    // Debug log line; default: the day's log when debug lines are on.
    std::function<void(const std::string&)> log;
};

// The voice source that follows the newer client's WebSocket events: who transmits now, who was heard
// lately, and the controller's own stations. It connects on Start, asks the client for its
// state and stations, keeps the connection alive with pings, and reconnects while the client
// is away.
class WebSocketVoiceClient final : public VoiceClient {
public:
    WebSocketVoiceClient(WebSocketOptions options, const platform::Clock& clock);
    ~WebSocketVoiceClient() override;

    void Start(const Events& events) override;
    void Stop() override;
    bool PlayersChanged() override;
    // Open transmissions newest first, aircraft before ground stations: the pilot who keyed up
    // last is the first speaker, whom the cycle ties to his strip.
    VoiceState ReadSpeakers() override;
    const std::vector<std::int32_t>& Speakers() override { return speakers_; }
    bool ReadPlayerList() override;
    const std::vector<PlayerInfo>& Players() override { return players_; }
    void FindVoiceClient() override {}
    std::int32_t GetVoiceLogLength() override { return 0; }
    std::string GetVoiceLogText() override { return {}; }
    // Names the first speaker, the one tied to the reading, with the frequency he is heard on.
    std::string TransmittingText(const std::vector<std::string>& nicks) override;

    // One text frame as received from the client.
    void HandleFrame(const QByteArray& frame);
    // The voice light's state as the client's events stand.
    VoiceState State() const;
    std::size_t OpenTransmissions() const { return open_.size(); }

private:
    struct Open {
        std::string callsign;
        std::int64_t frequencyHz;
        qint64 sinceMs;
        std::uint64_t order; // later keying, higher; 0 for those already talking when learnt
    };
    struct Station {
        VoiceStation s;
        std::uint64_t touched;
    };

    void open();
    void onConnected();
    void onStateChanged();
    void watch();
    void drop(const std::string& why);
    void problem(const std::string& text);
    void transmissionBegan();
    void setVoiceConnected(bool connected);
    bool counted(std::int64_t hz) const;
    void begin(const std::string& callsign, std::int64_t hz, qint64 now, std::uint64_t order);
    void adopt(std::int64_t hz, const std::vector<std::string>& active, qint64 now);
    void endOn(std::int64_t hz);
    void endUncounted();
    void setStations(const std::vector<VoiceStation>& stations);
    void updateStation(const VoiceStation& station);
    void heard(const std::string& callsign, qint64 now);
    std::int32_t idOf(const std::string& callsign);
    void expire(qint64 now);
    void log(const std::string& text) const;

    WebSocketOptions options_;
    const platform::Clock& clock_;
    const std::string urlProblem_;
    Events events_;
    QWebSocket socket_;
    QTimer reconnect_;
    QTimer burst_;
    QTimer watch_;
    qint64 lastBeganMs_ = 0;
    qint64 openedMs_ = 0;
    qint64 connectedMs_ = 0;
    qint64 pingedMs_ = 0;
    bool awaitingPong_ = false;
    bool started_ = false;
    bool wasOpen_ = false;
    bool voiceConnected_ = false;
    bool settled_ = false; // the client told its state since the connection opened
    bool quiet_ = false;   // the drop was logged already
    std::string lastProblem_;
    VoiceState reported_ = VoiceState::Undetermined;
    std::uint64_t order_ = 0;
    std::vector<Open> open_;
    std::vector<Station> stations_;
    std::uint64_t touched_ = 0;
    std::unordered_map<std::string, qint64> recent_; // callsign -> last heard, epoch ms
    std::unordered_map<std::string, std::int32_t> ids_;
    std::int32_t nextId_ = 1;
    bool playersChanged_ = true;
    std::vector<std::int32_t> speakers_;
    std::vector<PlayerInfo> players_;
};

// The options of the settings; a VoiceFrequencies entry that is no frequency is logged and
// every frequency taken instead (better every pilot than none).
WebSocketOptions WebSocketOptionsFrom(const VoiceSettings& settings);

} // namespace quadrantel::voice
