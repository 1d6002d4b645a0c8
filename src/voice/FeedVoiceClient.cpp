#include "voice/FeedVoiceClient.h"

#include "platform/Clock.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <algorithm>

namespace quadrantel::voice {

namespace {

const char* StateText(int state)
{
    switch (state) {
    case 0:
        return "voice client not running";
    case 1:
        return "not connected to the voice network";
    default:
        return "connected to the voice network";
    }
}

} // namespace

FeedVoiceClient::FeedVoiceClient(FeedOptions options, const platform::Clock& clock)
    : options_(std::move(options)), clock_(clock)
{
    socket_.setMaxAllowedIncomingMessageSize(static_cast<quint64>(kMaxFeedFrameBytes));
    socket_.setMaxAllowedIncomingFrameSize(static_cast<quint64>(kMaxFeedFrameBytes));
    reconnect_.setInterval(options_.reconnectMs);
    burst_.setSingleShot(true);
    QObject::connect(&burst_, &QTimer::timeout, &socket_, [this] {
        lastBeganMs_ = clock_.nowMSecs();
        if (events_.transmissionBegan)
            events_.transmissionBegan();
    });
    QObject::connect(&reconnect_, &QTimer::timeout, &socket_, [this] {
        if (socket_.state() == QAbstractSocket::UnconnectedState)
            socket_.open(options_.url);
    });
    QObject::connect(&socket_, &QWebSocket::textMessageReceived, &socket_,
                     [this](const QString& text) { HandleFrame(text.toUtf8()); });
    QObject::connect(&socket_, &QWebSocket::stateChanged, &socket_, [this](QAbstractSocket::SocketState s) {
        if (s != QAbstractSocket::ConnectedState && s != QAbstractSocket::UnconnectedState)
            return;
        // The close code outlives its connection: only a connection that was open is told of.
        if (s == QAbstractSocket::UnconnectedState && wasOpen_ &&
            socket_.closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
            log("Voice feed: frame over " + std::to_string(kMaxFeedFrameBytes) + " bytes, connection closed");
        wasOpen_ = s == QAbstractSocket::ConnectedState;
        onStateChanged();
    });
}

FeedVoiceClient::~FeedVoiceClient()
{
    reconnect_.stop();
    burst_.stop();
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
    socket_.abort();
}

void FeedVoiceClient::Start(const Events& events)
{
    events_ = events;
    started_ = true;
    reconnect_.start();
    socket_.open(options_.url);
}

void FeedVoiceClient::Stop()
{
    started_ = false;
    reconnect_.stop();
    burst_.stop();
    socket_.abort();
    events_ = {};
}

int FeedVoiceClient::State() const
{
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return 0;
    return voiceConnected_ ? 2 : 1;
}

void FeedVoiceClient::onStateChanged()
{
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        // Whatever was open when the client went away has ended.
        voiceConnected_ = false;
        endAll();
    }
    const int state = State();
    if (!started_ || state == reported_)
        return;
    // Only changes are told, so a client that stays away costs one line, not one per retry.
    reported_ = state;
    log(std::string("Voice feed: ") + StateText(state));
    if (events_.statusText)
        events_.statusText(StateText(state), state < 2);
}

void FeedVoiceClient::HandleFrame(const QByteArray& frame)
{
    const FeedEvent e = ParseFeedFrame(frame);
    const qint64 now = clock_.nowMSecs();
    switch (e.kind) {
    case FeedEvent::Kind::RxBegin: {
        // Anyone the client no longer lists on this frequency has ended, whether we heard it or not.
        if (e.activeTransmitters)
            std::erase_if(open_, [&](const Open& o) {
                return o.frequencyHz == e.frequencyHz && o.callsign != e.callsign &&
                       std::find(e.activeTransmitters->begin(), e.activeTransmitters->end(), o.callsign) ==
                           e.activeTransmitters->end();
            });
        if (!FrequencyListed(options_.frequenciesKHz, e.frequencyHz))
            return;
        const bool wasConnected = voiceConnected_;
        voiceConnected_ = true; // nobody is heard off the network
        heard(e.callsign, now);
        const auto it =
            std::find_if(open_.begin(), open_.end(), [&](const Open& o) { return o.callsign == e.callsign; });
        if (it == open_.end())
            open_.push_back({e.callsign, e.frequencyHz, now});
        else
            it->sinceMs = now;
        if (!wasConnected)
            onStateChanged();
        transmissionBegan();
        break;
    }
    case FeedEvent::Kind::RxEnd:
        end(e.callsign);
        if (e.activeTransmitters)
            std::erase_if(open_, [&](const Open& o) {
                return o.frequencyHz == e.frequencyHz &&
                       std::find(e.activeTransmitters->begin(), e.activeTransmitters->end(), o.callsign) ==
                           e.activeTransmitters->end();
            });
        break;
    case FeedEvent::Kind::VoiceConnected:
        voiceConnected_ = e.connected;
        if (!e.connected)
            endAll();
        onStateChanged();
        break;
    case FeedEvent::Kind::StationStates:
        stations_ = e.stations;
        playersChanged_ = true;
        break;
    case FeedEvent::Kind::StationUpdate: {
        const auto it = std::find_if(stations_.begin(), stations_.end(),
                                     [&](const FeedStation& s) { return s.callsign == e.stations[0].callsign; });
        if (it == stations_.end()) {
            stations_.push_back(e.stations[0]);
            playersChanged_ = true;
        } else {
            *it = e.stations[0];
        }
        break;
    }
    case FeedEvent::Kind::Ignored:
        break;
    }
}

void FeedVoiceClient::transmissionBegan()
{
    // Each cycle moves the reading and redraws the window: a flood of events must not
    // become a flood of cycles, while a lone kRxBegin is followed at once.
    const qint64 now = clock_.nowMSecs();
    if (now >= lastBeganMs_ && now - lastBeganMs_ < options_.burstCycleMs) {
        if (!burst_.isActive())
            burst_.start(static_cast<int>(options_.burstCycleMs - (now - lastBeganMs_)));
        return;
    }
    lastBeganMs_ = now;
    if (events_.transmissionBegan)
        events_.transmissionBegan();
}

void FeedVoiceClient::end(const std::string& callsign)
{
    std::erase_if(open_, [&](const Open& o) { return o.callsign == callsign; });
}

void FeedVoiceClient::endAll()
{
    open_.clear();
}

void FeedVoiceClient::heard(const std::string& callsign, qint64 now)
{
    const auto [it, added] = recent_.insert_or_assign(callsign, now);
    (void)it;
    if (!added)
        return;
    playersChanged_ = true;
    if (recent_.size() <= options_.maxRecent)
        return;
    // The oldest gives way; a flood of new names cannot grow the list without bound.
    auto oldest = recent_.begin();
    for (auto i = recent_.begin(); i != recent_.end(); ++i)
        if (i->second < oldest->second)
            oldest = i;
    end(oldest->first);
    recent_.erase(oldest);
}

std::int32_t FeedVoiceClient::idOf(const std::string& callsign)
{
    const auto [it, added] = ids_.try_emplace(callsign, nextId_);
    if (added && ++nextId_ < 1)
        nextId_ = 1;
    return it->second;
}

void FeedVoiceClient::expire(qint64 now)
{
    // A clock set back leaves these times in the future, where they would never expire.
    for (Open& o : open_)
        o.sinceMs = std::min(o.sinceMs, now);
    for (auto& r : recent_)
        r.second = std::min(r.second, now);
    std::erase_if(open_,
                  [&](const Open& o) { return now - o.sinceMs > qint64(options_.maxTransmissionSeconds) * 1000; });
    const std::size_t before = recent_.size();
    std::erase_if(recent_, [&](const auto& r) {
        return now - r.second > qint64(options_.recentSeconds) * 1000 &&
               std::none_of(open_.begin(), open_.end(), [&](const Open& o) { return o.callsign == r.first; });
    });
    if (recent_.size() != before)
        playersChanged_ = true;
}

bool FeedVoiceClient::PlayersChanged()
{
    expire(clock_.nowMSecs());
    return playersChanged_;
}

int FeedVoiceClient::ReadSpeakers()
{
    expire(clock_.nowMSecs());
    speakers_.clear();
    for (const Open& o : open_)
        speakers_.push_back(idOf(o.callsign));
    return State();
}

bool FeedVoiceClient::ReadPlayerList()
{
    expire(clock_.nowMSecs());
    players_.clear();
    std::unordered_map<std::string, std::int32_t> kept;
    const auto add = [&](const std::string& callsign) {
        if (kept.count(callsign))
            return;
        PlayerInfo p;
        p.PlayerID = idOf(callsign);
        p.NickName = callsign;
        kept.emplace(callsign, p.PlayerID);
        players_.push_back(std::move(p));
    };
    for (const FeedStation& s : stations_)
        add(s.callsign);
    std::vector<std::pair<qint64, std::string>> byTime;
    for (const auto& [call, at] : recent_)
        byTime.emplace_back(at, call);
    std::sort(byTime.begin(), byTime.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& r : byTime)
        add(r.second);
    // Ids of names no longer listed go, so that memory stays flat however many come and go.
    ids_ = std::move(kept);
    playersChanged_ = false;
    return true;
}

void FeedVoiceClient::log(const std::string& text) const
{
    if (options_.log)
        options_.log(text);
    else if (shell::globals().bDebug)
        shell::WriteLog(text);
}

} // namespace quadrantel::voice
