#include "voice/WebSocketVoiceClient.h"

#include "platform/Clock.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <algorithm>

namespace quadrantel::voice {

namespace {

// An old client off the network tells nothing; after this it is taken as off the network.
constexpr qint64 kSettleMs = 1000;
// A peer that keeps failing its handshake is tried ever less often, up to this.
constexpr int kMaxRetryMs = 30000;

const char* StateText(VoiceState state)
{
    switch (state) {
    case VoiceState::NotRunning:
        return "voice client not running";
    case VoiceState::NotConnected:
        return "not connected to the voice network";
    default:
        return "connected to the voice network";
    }
}

// On the network an aircraft's callsign has no underscore; a ground station's has one.
bool GroundStation(const std::string& callsign)
{
    return callsign.find('_') != std::string::npos;
}

std::int64_t KiloHertz(std::int64_t hz)
{
    return (hz + 500) / 1000;
}

bool Listed(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

WebSocketVoiceClient::WebSocketVoiceClient(WebSocketOptions options, const platform::Clock& clock)
    : options_(std::move(options)), clock_(clock), urlProblem_(VoiceURLProblem(options_.url))
{
    socket_.setMaxAllowedIncomingMessageSize(static_cast<quint64>(kMaxEventFrameBytes));
    socket_.setMaxAllowedIncomingFrameSize(static_cast<quint64>(kMaxEventFrameBytes));
    reconnect_.setInterval(options_.reconnectMs);
    watch_.setInterval(options_.watchMs);
    burst_.setSingleShot(true);
    QObject::connect(&burst_, &QTimer::timeout, &socket_, [this] {
        lastBeganMs_ = clock_.nowMSecs();
        if (events_.transmissionBegan)
            events_.transmissionBegan();
    });
    QObject::connect(&reconnect_, &QTimer::timeout, &socket_, [this] {
        if (socket_.state() == QAbstractSocket::UnconnectedState)
            open();
    });
    QObject::connect(&watch_, &QTimer::timeout, &socket_, [this] { watch(); });
    QObject::connect(&socket_, &QWebSocket::pong, &socket_, [this] { awaitingPong_ = false; });
    QObject::connect(&socket_, &QWebSocket::textMessageReceived, &socket_,
                     [this](const QString& text) { HandleFrame(text.toUtf8()); });
    QObject::connect(&socket_, &QWebSocket::stateChanged, &socket_, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectedState) {
            onConnected();
        } else if (s == QAbstractSocket::UnconnectedState) {
            // The close code outlives its connection: only a connection that was open is told of.
            if (wasOpen_ && socket_.closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
                log("Voice client: frame over " + std::to_string(kMaxEventFrameBytes) + " bytes, connection closed");
            wasOpen_ = false;
            watch_.stop();
            onStateChanged();
            quiet_ = false;
        }
    });
}

WebSocketVoiceClient::~WebSocketVoiceClient()
{
    reconnect_.stop();
    burst_.stop();
    watch_.stop();
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
    socket_.abort();
}

void WebSocketVoiceClient::Start(const Events& events)
{
    events_ = events;
    started_ = true;
    if (!urlProblem_.empty()) {
        // Retrying an address that cannot work would only repeat the failure every few seconds.
        const std::string text = "VoiceURL \"" + options_.url + "\" cannot be used: " + urlProblem_;
        log("Voice client: " + text);
        if (events_.statusText)
            events_.statusText(text, true);
        return;
    }
    reconnect_.start();
    open();
}

void WebSocketVoiceClient::Stop()
{
    started_ = false;
    reconnect_.stop();
    burst_.stop();
    watch_.stop();
    socket_.abort();
    events_ = {};
}

void WebSocketVoiceClient::open()
{
    openedMs_ = clock_.nowMSecs();
    watch_.start();
    socket_.open(QUrl(QString::fromStdString(options_.url)));
}

void WebSocketVoiceClient::onConnected()
{
    wasOpen_ = true;
    lastProblem_.clear();
    reconnect_.setInterval(options_.reconnectMs);
    connectedMs_ = pingedMs_ = clock_.nowMSecs();
    awaitingPong_ = false;
    settled_ = false;
    socket_.sendTextMessage(kAskVoiceConnected);
    socket_.sendTextMessage(kAskStationStates);
    onStateChanged();
}

VoiceState WebSocketVoiceClient::State() const
{
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return VoiceState::NotRunning;
    return voiceConnected_ ? VoiceState::Connected : VoiceState::NotConnected;
}

void WebSocketVoiceClient::onStateChanged()
{
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        // Whatever was open when the client went away has ended.
        voiceConnected_ = false;
        open_.clear();
        // Stations are learnt afresh on the next connection: the client may change them meanwhile.
        if (!stations_.empty())
            playersChanged_ = true;
        stations_.clear();
    }
    const VoiceState state = State();
    if (!started_ || state == reported_)
        return;
    // The client's answer comes a moment after the connection: no "not connected" before it.
    if (state == VoiceState::NotConnected && !settled_)
        return;
    // Only changes are told, so a client that stays away costs one line, not one per retry.
    reported_ = state;
    if (!quiet_)
        log(std::string("Voice client: ") + StateText(state));
    if (events_.statusText)
        events_.statusText(StateText(state), state != VoiceState::Connected);
}

void WebSocketVoiceClient::watch()
{
    const qint64 now = clock_.nowMSecs();
    if (socket_.state() == QAbstractSocket::UnconnectedState)
        return;
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        // Qt gives a handshake no deadline of its own: a peer that never finishes it, or sends
        // headers without end, would keep the source connecting for good.
        openedMs_ = std::min(openedMs_, now); // a clock set back
        if (now - openedMs_ <= options_.handshakeMs)
            return;
        problem("no handshake from " + options_.url + " within " + std::to_string(options_.handshakeMs / 1000) + " s");
        reconnect_.setInterval(std::min(reconnect_.interval() * 2, kMaxRetryMs));
        quiet_ = true;
        socket_.abort();
        return;
    }
    if (socket_.bytesToWrite() > options_.maxUnsentBytes) {
        drop("the client reads nothing, over " + std::to_string(options_.maxUnsentBytes) + " bytes unsent");
        return;
    }
    pingedMs_ = std::min(pingedMs_, now); // a clock set back
    connectedMs_ = std::min(connectedMs_, now);
    if (!settled_ && now - connectedMs_ >= kSettleMs) {
        settled_ = true;
        onStateChanged();
    }
    if (now - pingedMs_ < options_.pingMs)
        return;
    if (awaitingPong_) {
        drop("no answer to a ping within " + std::to_string(options_.pingMs / 1000) + " s");
        return;
    }
    awaitingPong_ = true;
    pingedMs_ = now;
    socket_.ping();
}

void WebSocketVoiceClient::drop(const std::string& why)
{
    log("Voice client: " + why + ", reconnecting");
    quiet_ = true;
    socket_.abort();
}

void WebSocketVoiceClient::problem(const std::string& text)
{
    // The same failure on every retry is said once.
    if (text == lastProblem_)
        return;
    lastProblem_ = text;
    log("Voice client: " + text + ", retrying");
}

void WebSocketVoiceClient::setVoiceConnected(bool connected)
{
    settled_ = true;
    const bool changed = connected != voiceConnected_;
    voiceConnected_ = connected;
    if (!connected)
        open_.clear();
    if (changed || reported_ != State())
        onStateChanged();
}

bool WebSocketVoiceClient::counted(std::int64_t hz) const
{
    if (options_.frequencies.kind == FrequencyRule::Kind::Listed)
        return FrequencyListed(options_.frequencies.kHz, hz);
    if (options_.frequencies.kind == FrequencyRule::Kind::Received)
        return true;
    return std::any_of(stations_.begin(), stations_.end(),
                       [&](const Station& s) { return s.s.tx && KiloHertz(s.s.frequencyHz) == KiloHertz(hz); });
}

void WebSocketVoiceClient::HandleFrame(const QByteArray& frame)
{
    const VoiceEvent e = ParseVoiceEvent(frame);
    const qint64 now = clock_.nowMSecs();
    switch (e.kind) {
    case VoiceEvent::Kind::RxBegin:
        if (!counted(e.frequencyHz))
            return;
        if (e.activeTransmitters)
            adopt(e.frequencyHz, *e.activeTransmitters, now);
        begin(e.callsign, e.frequencyHz, now, ++order_);
        if (!voiceConnected_)
            setVoiceConnected(true); // nobody is heard off the network
        transmissionBegan();
        break;
    case VoiceEvent::Kind::RxEnd:
        std::erase_if(open_, [&](const Open& o) { return o.callsign == e.callsign && o.frequencyHz == e.frequencyHz; });
        if (e.activeTransmitters && counted(e.frequencyHz))
            adopt(e.frequencyHz, *e.activeTransmitters, now);
        break;
    case VoiceEvent::Kind::VoiceConnected:
        setVoiceConnected(e.connected);
        break;
    case VoiceEvent::Kind::StationStates:
        setStations(e.stations);
        break;
    case VoiceEvent::Kind::StationUpdate:
        updateStation(e.stations[0]);
        break;
    case VoiceEvent::Kind::FrequencyState:
        // Sent on connect while on the network, and with nothing tuned on Disconnect.
        setStations(e.stations);
        setVoiceConnected(!e.stations.empty());
        break;
    case VoiceEvent::Kind::FrequencyRemoved:
        // The kRxEnd of what was open there may never come.
        endOn(e.frequencyHz);
        std::erase_if(stations_, [&](const Station& s) { return s.s.frequencyHz == e.frequencyHz; });
        playersChanged_ = true;
        endUncounted();
        break;
    case VoiceEvent::Kind::Ignored:
        break;
    }
}

void WebSocketVoiceClient::begin(const std::string& callsign, std::int64_t hz, qint64 now, std::uint64_t order)
{
    heard(callsign, now);
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [&](const Open& o) { return o.callsign == callsign && o.frequencyHz == hz; });
    if (it != open_.end()) {
        if (order != 0) { // keyed again: a lost kRxEnd, or a duplicate
            it->sinceMs = now;
            it->order = order;
        }
        return;
    }
    open_.push_back({callsign, hz, now, order});
    if (open_.size() <= options_.maxRecent)
        return;
    // However many the client lists, the oldest give way.
    open_.erase(
        std::min_element(open_.begin(), open_.end(), [](const Open& a, const Open& b) { return a.order < b.order; }));
}

void WebSocketVoiceClient::adopt(std::int64_t hz, const std::vector<std::string>& active, qint64 now)
{
    // The client's list is who is heard on that frequency now, whether we learnt of them or not.
    std::erase_if(open_, [&](const Open& o) { return o.frequencyHz == hz && !Listed(active, o.callsign); });
    for (const std::string& callsign : active)
        begin(callsign, hz, now, 0);
}

void WebSocketVoiceClient::endOn(std::int64_t hz)
{
    std::erase_if(open_, [&](const Open& o) { return KiloHertz(o.frequencyHz) == KiloHertz(hz); });
}

void WebSocketVoiceClient::endUncounted()
{
    std::erase_if(open_, [&](const Open& o) { return !counted(o.frequencyHz); });
}

void WebSocketVoiceClient::setStations(const std::vector<VoiceStation>& stations)
{
    stations_.clear();
    for (const VoiceStation& s : stations)
        updateStation(s);
    playersChanged_ = true;
    endUncounted();
}

void WebSocketVoiceClient::updateStation(const VoiceStation& station)
{
    const auto it = std::find_if(stations_.begin(), stations_.end(),
                                 [&](const Station& s) { return s.s.frequencyHz == station.frequencyHz; });
    if (it == stations_.end()) {
        if (stations_.size() >= options_.maxStations)
            stations_.erase(std::min_element(stations_.begin(), stations_.end(),
                                             [](const Station& a, const Station& b) { return a.touched < b.touched; }));
        stations_.push_back({station, ++touched_});
        playersChanged_ = true;
    } else {
        // Volume and headset changes come as updates too: those leave the players alone.
        if (it->s.callsign != station.callsign || it->s.rx != station.rx)
            playersChanged_ = true;
        *it = {station, ++touched_};
    }
    if (!station.rx)
        endOn(station.frequencyHz);
    endUncounted();
}

void WebSocketVoiceClient::transmissionBegan()
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

void WebSocketVoiceClient::heard(const std::string& callsign, qint64 now)
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
    std::erase_if(open_, [&](const Open& o) { return o.callsign == oldest->first; });
    recent_.erase(oldest);
}

std::int32_t WebSocketVoiceClient::idOf(const std::string& callsign)
{
    const auto [it, added] = ids_.try_emplace(callsign, nextId_);
    if (added && ++nextId_ < 1)
        nextId_ = 1;
    return it->second;
}

void WebSocketVoiceClient::expire(qint64 now)
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

bool WebSocketVoiceClient::PlayersChanged()
{
    expire(clock_.nowMSecs());
    return playersChanged_;
}

VoiceState WebSocketVoiceClient::ReadSpeakers()
{
    expire(clock_.nowMSecs());
    std::vector<const Open*> order;
    for (const Open& o : open_)
        order.push_back(&o);
    std::stable_sort(order.begin(), order.end(), [](const Open* a, const Open* b) {
        if (GroundStation(a->callsign) != GroundStation(b->callsign))
            return !GroundStation(a->callsign);
        return a->order > b->order;
    });
    speakers_.clear();
    for (const Open* o : order) {
        const std::int32_t id = idOf(o->callsign);
        // One callsign on two frequencies is one speaker.
        if (std::find(speakers_.begin(), speakers_.end(), id) == speakers_.end())
            speakers_.push_back(id);
    }
    return State();
}

std::string WebSocketVoiceClient::TransmittingText(const std::vector<std::string>& nicks)
{
    std::vector<const Open*> mine;
    for (const Open& o : open_)
        if (o.callsign == nicks.front())
            mine.push_back(&o);
    std::sort(mine.begin(), mine.end(), [](const Open* a, const Open* b) { return a->order > b->order; });
    std::string text = nicks.front();
    for (std::size_t i = 0; i < mine.size(); ++i)
        text += (i == 0 ? " on " : " and ") + MegahertzText(mine[i]->frequencyHz);
    return text + " transmitting ...";
}

bool WebSocketVoiceClient::ReadPlayerList()
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
    // A hand-tuned frequency is named MANUAL; nobody talks under that name.
    for (const Station& s : stations_)
        if (s.s.rx && !s.s.callsign.empty() && s.s.callsign != "MANUAL")
            add(s.s.callsign);
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

void WebSocketVoiceClient::log(const std::string& text) const
{
    if (options_.log)
        options_.log(text);
    else if (shell::globals().bDebug)
        shell::WriteLog(text);
}

WebSocketOptions WebSocketOptionsFrom(const VoiceSettings& settings)
{
    WebSocketOptions options;
    options.url = settings.url;
    if (auto rule = ParseFrequencyRule(settings.frequencies))
        options.frequencies = std::move(*rule);
    else if (shell::globals().bDebug) // hand-edited
        shell::WriteLog("VoiceFrequencies ignored: " + settings.frequencies);
    return options;
}

} // namespace quadrantel::voice
