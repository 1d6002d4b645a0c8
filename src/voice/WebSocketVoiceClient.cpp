#include "voice/WebSocketVoiceClient.h"

#include "platform/Clock.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <algorithm>
#include <unordered_set>

namespace quadrantel::voice {

namespace {

// An old client off the network tells nothing; after this it is taken as off the network.
constexpr qint64 kSettleMs = 1000;
// A peer that keeps failing its handshake is tried ever less often, up to this.
constexpr int kMaxRetryMs = 30000;
constexpr qint64 kMaxTransmittingBytes = qint64(64) * 1024;
constexpr const char* kNoTransmit = "no transmit frequency selected in the voice client: listening to all received";

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

std::int64_t KiloHertz(std::int64_t hz)
{
    return (hz + 500) / 1000;
}

bool Listed(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The client's events live at /ws: an address without a path means them.
std::string WithEventsPath(const std::string& url)
{
    QUrl u(QString::fromStdString(url));
    if (!u.isValid() || !u.path().isEmpty())
        return url;
    u.setPath("/ws");
    return u.toString().toStdString();
}

// "DLH123,BAW456" as GET /transmitting answers it.
std::vector<std::string> Callsigns(const QByteArray& body, std::size_t most)
{
    std::vector<std::string> names;
    for (const QByteArray& item : body.split(',')) {
        const QByteArray name = item.trimmed();
        if (!name.isEmpty() && static_cast<std::size_t>(name.size()) <= kMaxCallsign && names.size() < most)
            names.push_back(name.toStdString());
    }
    return names;
}

} // namespace

WebSocketVoiceClient::WebSocketVoiceClient(WebSocketOptions options, const platform::Clock& clock,
                                           platform::Random& random)
    : options_(std::move(options)), clock_(clock), urlProblem_(VoiceURLProblem(options_.url)),
      link_(random, options_.maxAnswerBytes, kMaxEventFrameBytes), retryMs_(options_.reconnectMs)
{
    options_.url = WithEventsPath(options_.url);
    watch_.setInterval(options_.watchMs);
    burst_.setSingleShot(true);
    QObject::connect(&burst_, &QTimer::timeout, &context_, [this] {
        lastBeganMs_ = clock_.nowMSecs();
        if (events_.transmissionBegan)
            events_.transmissionBegan();
    });
    QObject::connect(&watch_, &QTimer::timeout, &context_, [this] { watch(); });
    link_.setEvents({[this] { onOpened(); }, [this](const QByteArray& frame) { HandleFrame(frame); },
                     [this] { awaitingPong_ = false; },
                     [this](WebSocketLink::Failure why, const HttpHead& head) { onClosed(why, head); }});
}

WebSocketVoiceClient::~WebSocketVoiceClient()
{
    watch_.stop();
    burst_.stop();
    request_.reset();
    link_.abort();
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
    watch_.start();
    open();
}

void WebSocketVoiceClient::Stop()
{
    started_ = false;
    watch_.stop();
    burst_.stop();
    request_.reset();
    link_.abort();
    events_ = {};
}

void WebSocketVoiceClient::open()
{
    openedMs_ = clock_.nowMSecs();
    link_.open(QUrl(QString::fromStdString(options_.url)));
}

void WebSocketVoiceClient::onOpened()
{
    const qint64 now = clock_.nowMSecs();
    lastProblem_.clear();
    retryMs_ = options_.reconnectMs;
    connectedMs_ = pingedMs_ = now;
    awaitingPong_ = false;
    settled_ = told_ = stationsKnown_ = saidNoTransmit_ = false;
    canTell_ = true;
    link_.sendText(kAskVoiceConnected);
    link_.sendText(kAskStationStates);
    resync(now); // whoever talks already
    onStateChanged();
}

void WebSocketVoiceClient::onClosed(WebSocketLink::Failure why, const HttpHead& head)
{
    using Failure = WebSocketLink::Failure;
    bool backOff = true;
    if (why == Failure::NotWebSocket) {
        QUrl events(QString::fromStdString(options_.url));
        events.setPath("/ws");
        events.setQuery(QString());
        const std::string text =
            "the voice client answered at this address but not as a WebSocket: use " + events.toString().toStdString();
        if (text != lastProblem_ && events_.statusText) {
            events_.statusText(text, true);
            reported_ = VoiceState::NotRunning; // the message says it all
        }
        problem(text + " (HTTP " + std::to_string(head.status) + ")");
        lastProblem_ = text;
    } else if (why == Failure::AnswerTooBig) {
        problem("no handshake from " + options_.url + ": its answer is over " +
                std::to_string(options_.maxAnswerBytes) + " bytes");
    } else if (why == Failure::BadAnswer) {
        problem("no WebSocket handshake from " + options_.url);
    } else if (why == Failure::FrameTooBig) {
        log("Voice client: frame over " + std::to_string(kMaxEventFrameBytes) + " bytes, connection closed");
        quiet_ = true;
    } else if (why == Failure::BadFrame) {
        log("Voice client: a frame no server sends, connection closed");
        quiet_ = true;
    } else {
        backOff = false; // refused or lost: the client is away
    }
    closed(backOff);
}

void WebSocketVoiceClient::closed(bool backOff)
{
    retryLater(backOff);
    onStateChanged();
    quiet_ = false;
}

void WebSocketVoiceClient::retryLater(bool backOff)
{
    if (backOff)
        retryMs_ = std::min(retryMs_ * 2, kMaxRetryMs);
    nextAttemptMs_ = clock_.nowMSecs() + retryMs_;
}

VoiceState WebSocketVoiceClient::State() const
{
    if (!link_.isOpen())
        return VoiceState::NotRunning;
    return voiceConnected_ ? VoiceState::Connected : VoiceState::NotConnected;
}

void WebSocketVoiceClient::onStateChanged()
{
    if (!link_.isOpen()) {
        // Whatever was open when the client went away has ended.
        voiceConnected_ = false;
        open_.clear();
        ended_.clear();
        request_.reset();
        resyncing_ = false;
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
    if (link_.isClosed()) {
        nextAttemptMs_ = std::min(nextAttemptMs_, now + retryMs_); // a clock set back
        if (started_ && now >= nextAttemptMs_)
            open();
        return;
    }
    if (!link_.isOpen()) {
        // A peer that never finishes its handshake would keep the source connecting for good.
        openedMs_ = std::min(openedMs_, now); // a clock set back
        if (now - openedMs_ <= options_.handshakeMs)
            return;
        problem("no handshake from " + options_.url + " within " + std::to_string(options_.handshakeMs / 1000) + " s");
        quiet_ = true;
        link_.abort();
        closed(true);
        return;
    }
    if (link_.bytesToWrite() > options_.maxUnsentBytes) {
        drop("the client reads nothing, over " + std::to_string(options_.maxUnsentBytes) + " bytes unsent");
        return;
    }
    pingedMs_ = std::min(pingedMs_, now); // a clock set back
    connectedMs_ = std::min(connectedMs_, now);
    if (!settled_ && now - connectedMs_ >= kSettleMs) {
        settled_ = true;
        onStateChanged();
    }
    if (resyncDue(now))
        resync(now);
    // Pings prove the client's network threads alive, not the client: a hung one still answers.
    if (now - pingedMs_ < options_.pingMs)
        return;
    if (awaitingPong_) {
        drop("no answer to a ping within " + std::to_string(options_.pingMs / 1000) + " s");
        return;
    }
    awaitingPong_ = true;
    pingedMs_ = now;
    link_.ping();
}

void WebSocketVoiceClient::drop(const std::string& why)
{
    log("Voice client: " + why + ", reconnecting");
    quiet_ = true;
    link_.abort();
    closed(false);
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
    stationsChanged();
}

// The client reports only what it receives: a frequency counts unless a station says otherwise.
bool WebSocketVoiceClient::received(std::int64_t hz) const
{
    return hz == 0 || std::none_of(stations_.begin(), stations_.end(), [&](const Station& s) {
               return !s.s.rx && KiloHertz(s.s.frequencyHz) == KiloHertz(hz);
           });
}

bool WebSocketVoiceClient::onTransmit(std::int64_t hz) const
{
    return hz != 0 && std::any_of(stations_.begin(), stations_.end(), [&](const Station& s) {
               return s.s.tx && KiloHertz(s.s.frequencyHz) == KiloHertz(hz);
           });
}

bool WebSocketVoiceClient::transmitEmpty() const
{
    return std::none_of(stations_.begin(), stations_.end(), [](const Station& s) { return s.s.tx; });
}

bool WebSocketVoiceClient::counted(std::int64_t hz) const
{
    switch (options_.frequencies.kind) {
    case FrequencyRule::Kind::Listed:
        return hz != 0 && FrequencyListed(options_.frequencies.kHz, hz);
    case FrequencyRule::Kind::Transmit:
        // Before transmit is clicked on, and for an observer, every received frequency counts.
        if (!transmitEmpty())
            return onTransmit(hz);
        [[fallthrough]];
    case FrequencyRule::Kind::Received:
        break;
    }
    return received(hz);
}

bool WebSocketVoiceClient::ranksAbove(const Open& a, const Open& b) const
{
    if (IsGroundStation(a.callsign) != IsGroundStation(b.callsign))
        return !IsGroundStation(a.callsign);
    const bool aTransmit = onTransmit(a.frequencyHz);
    if (aTransmit != onTransmit(b.frequencyHz))
        return aTransmit;
    return a.order > b.order;
}

bool WebSocketVoiceClient::IsGroundStation(const std::string& nick) const
{
    return nick.find('_') != std::string::npos;
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
            adopt(e.frequencyHz, *e.activeTransmitters, e.callsign, now);
        begin(e.callsign, e.frequencyHz, now, ++order_);
        if (!voiceConnected_ && !told_)
            setVoiceConnected(true); // nobody is heard off the network
        transmissionBegan();
        break;
    case VoiceEvent::Kind::RxEnd: {
        const auto it = std::find_if(open_.begin(), open_.end(), [&](const Open& o) {
            return o.callsign == e.callsign && o.frequencyHz == e.frequencyHz;
        });
        if (it != open_.end())
            end(it, now);
        if (e.activeTransmitters && counted(e.frequencyHz))
            adopt(e.frequencyHz, *e.activeTransmitters, {}, now);
        break;
    }
    case VoiceEvent::Kind::VoiceConnected:
        told_ = true;
        setVoiceConnected(e.connected);
        break;
    case VoiceEvent::Kind::StationStates:
        setStations(e.stations);
        break;
    case VoiceEvent::Kind::StationUpdate:
        updateStation(e.stations[0]);
        stationsChanged();
        break;
    case VoiceEvent::Kind::FrequencyState:
        // Sent on connect while on the network, and with nothing tuned on Disconnect; from a
        // client that tells its state, empty lists mean only that nothing is received. One that
        // has not told it yet may still: lists empty before its second is up say nothing.
        setStations(e.stations);
        if (!told_ && (settled_ || !e.stations.empty()))
            setVoiceConnected(!e.stations.empty());
        break;
    case VoiceEvent::Kind::FrequencyRemoved:
        // The kRxEnd of what was open there may never come.
        endOn(e.frequencyHz);
        std::erase_if(stations_, [&](const Station& s) { return s.s.frequencyHz == e.frequencyHz; });
        playersChanged_ = true;
        endUncounted();
        stationsChanged();
        break;
    case VoiceEvent::Kind::Ignored:
        break;
    }
}

void WebSocketVoiceClient::begin(const std::string& callsign, std::int64_t hz, qint64 now, std::uint64_t order)
{
    heard(callsign, now);
    const auto same = [&](std::int64_t f) {
        return [&callsign, f](const Open& o) { return o.callsign == callsign && o.frequencyHz == f; };
    };
    if (const auto it = std::find_if(open_.begin(), open_.end(), same(hz)); it != open_.end()) {
        // A duplicated begin, or the client naming him again: confirmed, in his place.
        it->confirmedMs = now;
        it->outranked = false;
        return;
    }
    Open fresh{callsign, hz, now, now, order, false};
    if (const auto unknown = std::find_if(open_.begin(), open_.end(), same(0)); hz != 0 && unknown != open_.end()) {
        // Heard before his frequency was known.
        fresh.beganMs = unknown->beganMs;
        fresh.order = std::max(fresh.order, unknown->order);
        open_.erase(unknown);
    }
    std::erase_if(ended_, [&](const Ended& e) { return now - e.atMs >= options_.rekeyMs || e.atMs > now; });
    const auto rekey = std::find_if(ended_.begin(), ended_.end(),
                                    [&](const Ended& e) { return e.callsign == callsign && e.frequencyHz == hz; });
    if (order != 0 && rekey != ended_.end()) {
        fresh.order = rekey->order; // the audio engine let go and took him again: his place stays
        ended_.erase(rekey);
    } else if (order != 0) {
        for (Open& o : open_)
            if (ranksAbove(fresh, o))
                o.outranked = true;
    }
    open_.push_back(fresh);
    if (open_.size() <= options_.maxRecent)
        return;
    // However many the client lists, the oldest give way.
    open_.erase(
        std::min_element(open_.begin(), open_.end(), [](const Open& a, const Open& b) { return a.order < b.order; }));
}

void WebSocketVoiceClient::adopt(std::int64_t hz, const std::vector<std::string>& active, const std::string& except,
                                 qint64 now)
{
    // The client's list is who is heard on that frequency now, whether we learnt of them or not.
    std::erase_if(open_, [&](const Open& o) { return o.frequencyHz == hz && !Listed(active, o.callsign); });
    for (const std::string& callsign : active)
        if (callsign != except)
            begin(callsign, hz, now, 0);
    if (std::any_of(open_.begin(), open_.end(), [](const Open& o) { return o.outranked; }))
        resyncWanted_ = true;
}

void WebSocketVoiceClient::end(const std::vector<Open>::iterator& it, qint64 now)
{
    ended_.push_back({it->callsign, it->frequencyHz, it->order, now});
    if (ended_.size() > options_.maxRecent)
        ended_.erase(ended_.begin());
    open_.erase(it);
    // Whoever surfaces now may have lost his end while outranked: the client is asked.
    if (std::any_of(open_.begin(), open_.end(), [](const Open& o) { return o.outranked; }))
        resyncWanted_ = true;
}

void WebSocketVoiceClient::endOn(std::int64_t hz)
{
    std::erase_if(open_, [&](const Open& o) { return KiloHertz(o.frequencyHz) == KiloHertz(hz); });
}

void WebSocketVoiceClient::endUncounted()
{
    std::erase_if(open_, [&](const Open& o) { return !counted(o.frequencyHz); });
}

namespace {

std::vector<std::string> ReceivedNames(const auto& stations)
{
    std::vector<std::string> names;
    for (const auto& s : stations)
        if (s.s.rx && !s.s.callsign.empty())
            names.push_back(s.s.callsign);
    return names;
}

} // namespace

void WebSocketVoiceClient::setStations(const std::vector<VoiceStation>& stations)
{
    // In one pass: a list of thousands must not cost the window a pass per entry.
    std::unordered_map<std::int64_t, std::string> names;
    for (const Station& s : stations_)
        if (!s.s.callsign.empty())
            names.emplace(KiloHertz(s.s.frequencyHz), s.s.callsign);
    const std::vector<std::string> before = ReceivedNames(stations_);
    std::unordered_map<std::int64_t, std::size_t> at;
    std::vector<Station> fresh;
    for (VoiceStation s : stations) {
        const std::int64_t k = KiloHertz(s.frequencyHz);
        if (const auto name = names.find(k); s.callsign.empty() && name != names.end())
            s.callsign = name->second;
        const auto [it, added] = at.try_emplace(k, fresh.size());
        if (added)
            fresh.push_back({std::move(s), ++touched_});
        else
            fresh[it->second] = {std::move(s), ++touched_};
    }
    if (fresh.size() > options_.maxStations) // the last ones stay
        fresh.erase(fresh.begin(), fresh.end() - static_cast<std::ptrdiff_t>(options_.maxStations));
    stations_ = std::move(fresh);
    stationsKnown_ = true;
    // Whatever was heard on a frequency no longer received has ended.
    std::unordered_set<std::int64_t> received;
    for (const Station& s : stations_)
        if (s.s.rx)
            received.insert(KiloHertz(s.s.frequencyHz));
    std::erase_if(open_,
                  [&](const Open& o) { return o.frequencyHz != 0 && !received.count(KiloHertz(o.frequencyHz)); });
    if (ReceivedNames(stations_) != before)
        playersChanged_ = true;
    endUncounted();
    stationsChanged();
}

void WebSocketVoiceClient::updateStation(const VoiceStation& station)
{
    const auto it = std::find_if(stations_.begin(), stations_.end(), [&](const Station& s) {
        return KiloHertz(s.s.frequencyHz) == KiloHertz(station.frequencyHz);
    });
    VoiceStation s = station;
    if (it == stations_.end()) {
        if (stations_.size() >= options_.maxStations)
            stations_.erase(std::min_element(stations_.begin(), stations_.end(),
                                             [](const Station& a, const Station& b) { return a.touched < b.touched; }));
        stations_.push_back({s, ++touched_});
        playersChanged_ = true;
    } else {
        // Another program's change, or a removal, may leave the name out: the station keeps it.
        if (s.callsign.empty())
            s.callsign = it->s.callsign;
        // Volume and headset changes come as updates too: those leave the players alone.
        if (it->s.callsign != s.callsign || it->s.rx != s.rx)
            playersChanged_ = true;
        *it = {s, ++touched_};
    }
    stationsKnown_ = true;
    if (!s.rx)
        endOn(s.frequencyHz);
    endUncounted();
}

// With the transmit rule and no transmit frequency, every received one counts: said once.
void WebSocketVoiceClient::stationsChanged()
{
    const bool fallback = options_.frequencies.kind == FrequencyRule::Kind::Transmit && stationsKnown_ &&
                          voiceConnected_ && transmitEmpty();
    if (!fallback || saidNoTransmit_) {
        saidNoTransmit_ = fallback;
        return;
    }
    saidNoTransmit_ = true;
    log(std::string("Voice client: ") + kNoTransmit);
    notice(kNoTransmit);
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

// A clock set back leaves these times in the future, where they would never expire.
void WebSocketVoiceClient::clamp(qint64 now)
{
    for (Open& o : open_) {
        o.beganMs = std::min(o.beganMs, now);
        o.confirmedMs = std::min(o.confirmedMs, now);
    }
    for (auto& r : recent_)
        r.second = std::min(r.second, now);
    resyncSentMs_ = std::min(resyncSentMs_, now);
    lastResyncMs_ = std::min(lastResyncMs_, now);
}

void WebSocketVoiceClient::expire(qint64 now)
{
    clamp(now);
    if (resyncing_ && now - resyncSentMs_ > options_.resyncDeadlineMs) {
        request_.reset();
        resyncing_ = false;
        canTell_ = false;
    }
    // Only a client that cannot say who transmits has its transmissions ended by time.
    const qint64 cap = qint64(options_.maxTransmissionSeconds) * 1000;
    for (auto it = open_.begin(); !canTell_ && it != open_.end();) {
        if (now - it->confirmedMs <= cap) {
            ++it;
            continue;
        }
        const std::string text = it->callsign + (it->frequencyHz ? " on " + MegahertzText(it->frequencyHz) : "") +
                                 ": no end heard within " + std::to_string(options_.maxTransmissionSeconds) +
                                 " s, taken as ended";
        log("Voice client: " + text);
        notice(text);
        it = open_.erase(it);
    }
    const std::size_t before = recent_.size();
    std::erase_if(recent_, [&](const auto& r) {
        return now - r.second > qint64(options_.recentSeconds) * 1000 &&
               std::none_of(open_.begin(), open_.end(), [&](const Open& o) { return o.callsign == r.first; });
    });
    if (recent_.size() != before)
        playersChanged_ = true;
}

bool WebSocketVoiceClient::resyncDue(qint64 now)
{
    if (resyncing_)
        return false;
    clamp(now);
    const bool long_ = std::any_of(open_.begin(), open_.end(), [&](const Open& o) {
        return now - o.beganMs > qint64(options_.resyncAfterSeconds) * 1000;
    });
    return resyncWanted_ || (long_ && now - lastResyncMs_ >= options_.resyncEveryMs);
}

// Asks the client who transmits now; its answer is the truth.
void WebSocketVoiceClient::resync(qint64 now)
{
    resyncWanted_ = false;
    resyncing_ = true;
    resyncSentMs_ = lastResyncMs_ = now;
    request_ = std::make_unique<PortRequest>(
        HttpAddress(QUrl(QString::fromStdString(options_.url)), "/transmitting"), kMaxTransmittingBytes,
        [this, now](int status, const QByteArray& body) { resynced(status, body, now); });
}

void WebSocketVoiceClient::resynced(int status, const QByteArray& body, qint64 sentMs)
{
    request_.reset();
    resyncing_ = false;
    canTell_ = status == 200;
    if (!canTell_)
        return;
    ++answers_;
    const qint64 now = clock_.nowMSecs();
    const std::vector<std::string> names = Callsigns(body, options_.maxRecent);
    for (Open& o : open_)
        if (Listed(names, o.callsign)) {
            o.confirmedMs = now;
            o.outranked = false;
        }
    // A transmission begun since the question was asked may be missing from the answer.
    std::erase_if(open_, [&](const Open& o) { return !Listed(names, o.callsign) && o.confirmedMs < sentMs; });
    // Someone talking whom no frame named: on some received frequency.
    for (const std::string& name : names)
        if (counted(0) && std::none_of(open_.begin(), open_.end(), [&](const Open& o) { return o.callsign == name; }))
            begin(name, 0, now, 0);
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
    std::stable_sort(order.begin(), order.end(), [this](const Open* a, const Open* b) { return ranksAbove(*a, *b); });
    speakers_.clear();
    bool surfacing = true;
    for (const Open* o : order) {
        // Outranked since the client last named him, and nobody above him now: he may have lost
        // his end meanwhile, so he is not shown until the client confirms him.
        if (surfacing && o->outranked)
            continue;
        surfacing = false;
        const std::int32_t id = idOf(o->callsign);
        // One callsign on two frequencies is one speaker.
        if (std::find(speakers_.begin(), speakers_.end(), id) == speakers_.end())
            speakers_.push_back(id);
    }
    return State();
}

std::string WebSocketVoiceClient::TransmittingText(const std::vector<std::string>& nicks)
{
    std::string text;
    for (std::size_t i = 0; i < nicks.size() && i < 3; ++i) {
        std::vector<const Open*> mine;
        for (const Open& o : open_)
            if (o.callsign == nicks[i] && o.frequencyHz != 0)
                mine.push_back(&o);
        std::sort(mine.begin(), mine.end(), [](const Open* a, const Open* b) { return a->order > b->order; });
        text += (i == 0 ? "" : ", ") + nicks[i];
        for (std::size_t j = 0; j < mine.size(); ++j)
            text += (j == 0 ? " on " : " and ") + MegahertzText(mine[j]->frequencyHz);
    }
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

void WebSocketVoiceClient::notice(const std::string& text) const
{
    if (events_.notice)
        events_.notice(text);
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
