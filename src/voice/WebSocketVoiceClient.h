#pragma once

#include "platform/Random.h"
#include "voice/ClientPort.h"
#include "voice/VoiceClient.h"
#include "voice/VoiceEvents.h"
#include "voice/VoiceSettings.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quadrantel::platform {
class Clock;
}

namespace quadrantel::voice {

struct WebSocketOptions {
    std::string url = kDefaultVoiceURL; // an empty path is /ws
    FrequencyRule frequencies;
    // The first retry after a failure; a handshake that keeps failing doubles it up to 30 s.
    int reconnectMs = 3000;
    // The heartbeat's checks run this often; its deadlines are read from the clock.
    int watchMs = 250;
    int handshakeMs = 3000;
    // The client's answer to the upgrade, head included, is read up to this.
    qint64 maxAnswerBytes = 4096;
    // A ping this often; one still unanswered when the next is due drops the connection.
    int pingMs = 5000;
    // Pongs the peer does not read pile up here; past this the connection is dropped.
    qint64 maxUnsentBytes = qint64(64) * 1024;
    std::size_t maxStations = 100;
    // A transmission open this long has the client asked who transmits now, this often.
    int resyncAfterSeconds = 10;
    int resyncEveryMs = 5000;
    int resyncDeadlineMs = 2000;
    // Only for a client that answers neither frames nor GET /transmitting: a transmission not
    // confirmed for this long lost its end.
    int maxTransmissionSeconds = 30;
    // An end and a begin of one speaker this close together are a re-key: he keeps his place.
    int rekeyMs = 500;
    // Callsigns heard this recently stay among the players.
    int recentSeconds = 300;
    std::size_t maxRecent = 200;
    // A burst of kRxBegin runs the speaker cycle at once and then no more often than its timer.
    int burstCycleMs = 250;
    // Debug log line; default: the day's log when debug lines are on.
    std::function<void(const std::string&)> log;
};

// The voice source that follows the newer client's WebSocket events: who transmits now, who was
// heard lately, and the controller's own stations. It connects on Start, asks the client for its
// state, its stations and who transmits, keeps the connection alive with pings, and reconnects
// while the client is away. The client is the truth about who transmits: a transmission open
// for long is checked with GET /transmitting rather than ended by a timer.
class WebSocketVoiceClient final : public VoiceClient {
public:
    WebSocketVoiceClient(WebSocketOptions options, const platform::Clock& clock,
                         platform::Random& random = platform::DefaultRandom());
    ~WebSocketVoiceClient() override;

    void Start(const Events& events) override;
    void Stop() override;
    bool PlayersChanged() override;
    // Open transmissions in the source's order: aircraft before ground stations, those on the
    // controller's transmit frequencies before the others, newest first.
    VoiceState ReadSpeakers() override;
    const std::vector<std::int32_t>& Speakers() override { return speakers_; }
    bool ReadPlayerList() override;
    const std::vector<PlayerInfo>& Players() override { return players_; }
    void FindVoiceClient() override {}
    std::int32_t GetVoiceLogLength() override { return 0; }
    std::string GetVoiceLogText() override { return {}; }
    // Names up to three speakers, each with the frequencies he is heard on.
    std::string TransmittingText(const std::vector<std::string>& nicks) override;
    // On the network an aircraft's callsign has no underscore; a ground station's has one.
    bool IsGroundStation(const std::string& nick) const override;
    Captions WindowCaptions() const override { return {"Voice client:", "Voice client status:"}; }

    // One text frame as received from the client.
    void HandleFrame(const QByteArray& frame);
    // The voice light's state as the client's events stand.
    VoiceState State() const;
    std::size_t OpenTransmissions() const { return open_.size(); }
    // Answers to GET /transmitting taken so far.
    int TransmittingAnswers() const { return answers_; }

private:
    struct Open {
        std::string callsign;
        std::int64_t frequencyHz; // 0: heard from GET /transmitting, frequency unknown
        qint64 beganMs;
        qint64 confirmedMs;  // when the client last said he transmits
        std::uint64_t order; // later keying, higher; 0 for those already talking when learnt
        bool outranked;      // a newer caller came since he was last confirmed
    };
    struct Ended {
        std::string callsign;
        std::int64_t frequencyHz;
        std::uint64_t order;
        qint64 atMs;
    };
    struct Station {
        VoiceStation s;
        std::uint64_t touched;
    };

    void open();
    void onOpened();
    void onClosed(WebSocketLink::Failure why, const HttpHead& head);
    void closed(bool backOff);
    void onStateChanged();
    void watch();
    void drop(const std::string& why);
    void retryLater(bool backOff);
    void problem(const std::string& text);
    void transmissionBegan();
    void setVoiceConnected(bool connected);
    bool received(std::int64_t hz) const;
    bool onTransmit(std::int64_t hz) const;
    bool transmitEmpty() const;
    bool counted(std::int64_t hz) const;
    bool ranksAbove(const Open& a, const Open& b) const;
    void begin(const std::string& callsign, std::int64_t hz, qint64 now, std::uint64_t order);
    void adopt(std::int64_t hz, const std::vector<std::string>& active, const std::string& except, qint64 now);
    void end(const std::vector<Open>::iterator& it, qint64 now);
    void endOn(std::int64_t hz);
    void endUncounted();
    void setStations(const std::vector<VoiceStation>& stations);
    void updateStation(const VoiceStation& station);
    void stationsChanged();
    void heard(const std::string& callsign, qint64 now);
    std::int32_t idOf(const std::string& callsign);
    void clamp(qint64 now);
    void expire(qint64 now);
    bool resyncDue(qint64 now);
    void resync(qint64 now);
    void resynced(int status, const QByteArray& body, qint64 sentMs);
    void log(const std::string& text) const;
    void notice(const std::string& text) const;

    WebSocketOptions options_;
    const platform::Clock& clock_;
    const std::string urlProblem_;
    Events events_;
    WebSocketLink link_;
    std::unique_ptr<PortRequest> request_;
    QObject context_; // the timers' and the requests' callbacks die with it
    QTimer burst_;
    QTimer watch_;
    qint64 lastBeganMs_ = 0;
    qint64 openedMs_ = 0;
    qint64 connectedMs_ = 0;
    qint64 pingedMs_ = 0;
    qint64 nextAttemptMs_ = 0;
    int retryMs_;
    qint64 resyncSentMs_ = 0;
    qint64 lastResyncMs_ = 0;
    bool resyncing_ = false;
    bool resyncWanted_ = false; // someone outranked may surface
    bool canTell_ = true;       // the client answered the last GET /transmitting
    int answers_ = 0;
    bool awaitingPong_ = false;
    bool started_ = false;
    bool voiceConnected_ = false;
    bool told_ = false;    // the client said on this connection whether it is on the network
    bool settled_ = false; // the client told its state, or had its second to, since the connection opened
    bool quiet_ = false;   // the drop was logged already
    bool stationsKnown_ = false;
    bool saidNoTransmit_ = false;
    std::string lastProblem_;
    VoiceState reported_ = VoiceState::Undetermined;
    std::uint64_t order_ = 0;
    std::vector<Open> open_;
    std::vector<Ended> ended_;
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
// every received frequency taken instead (better every pilot than none).
WebSocketOptions WebSocketOptionsFrom(const VoiceSettings& settings);

} // namespace quadrantel::voice
