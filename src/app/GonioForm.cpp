#include "app/GonioForm.h"

#include "atcclient/TowrixProbe.h"
#include "feed/FeedSettings.h"
#include "gonio/Geodesy.h"
#include "link/SocketPlusLink.h"
#include "platform/Pump.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/Settings.h"
#include "shell/TextRoutines.h"
#include "stations/PositionFiles.h"
#include "voice/WebSocketVoiceClient.h"
#include "voice/modTSRemote.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace quadrantel::app {

using link::MakeSocketPlusLink;
using platform::IgnoreErrors;
using platform::Picture;

namespace {

constexpr uint32_t kBlack = 0;

// The window whose message line shows the voice library's errors and the notices of the
// day's files.
const GonioForm* g_messageLine = nullptr;

void ReleaseMessageLine(const GonioForm* form)
{
    if (g_messageLine != form)
        return;
    voice::SetVoiceMessageLine(nullptr);
    shell::SetFileNotice(nullptr);
    g_messageLine = nullptr;
}

void BlockingSleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Caption(platform::Label& l, const char* text)
{
    l.setCaption(text);
}

// The station of a position Id ("NAME N050.01.59.880 E008.34.14.160"); none without one.
std::optional<feed::Station> StationOf(std::string id)
{
    shell::TakeToken(id, " ");
    if (id.size() < 29)
        return std::nullopt;
    try {
        return feed::Station{gonio::CoordinateToDecimal(id.substr(0, 14), gonio::Axis::Latitude),
                             gonio::CoordinateToDecimal(id.substr(15), gonio::Axis::Longitude)};
    } catch (const std::exception&) {
        return std::nullopt; // a hand-edited Id: no station rather than no window
    }
}

// The record with its latitude and longitude (fields 5 and 6) replaced.
std::string WithPosition(const std::string& record, double lat, double lon)
{
    std::string out;
    std::size_t from = 0;
    for (int field = 1;; ++field) {
        const std::size_t tab = record.find('\t', from);
        const std::string_view text =
            std::string_view(record).substr(from, tab == std::string::npos ? tab : tab - from);
        out += field == link::kFieldLatitude    ? platform::NumberText(lat, 'f', 6)
               : field == link::kFieldLongitude ? platform::NumberText(lon, 'f', 6)
                                                : std::string(text);
        if (tab == std::string::npos)
            return out;
        out += '\t';
        from = tab + 1;
    }
}

} // namespace

void SetWindowOnTop(GonioHost& window, int onTop)
{
    // onTop is a truth value: -1 true, 0 false; anything else puts the window on top of the
    // ordinary ones without making it topmost.
    window.setWindowPos(onTop == -1 ? -1 : onTop == 0 ? -2 : 0);
}

GonioForm::GonioForm(GonioHost& host, GonioServices services)
    : host_(host), services_(std::move(services)),
      clock_(services_.clock ? *services_.clock : platform::DefaultClock()),
      gauge_({Shape1, Line1, Line2, Line3, lblHdg, imgGonio, chkGonio, cmdPicTowrix, imgMonitor, imgSpeak, lblError},
             services_.measure ? services_.measure : gonio::MeasureText(gonio::EstimateText))
{
    if (!services_.random)
        services_.random = &platform::DefaultRandom();
    if (!services_.voice) {
        // The subsystems are wired before Form_Load reads the configuration: the file is named here.
        const auto& g = shell::globals();
        const voice::VoiceSettings vs = voice::ReadVoiceSettings(g.sDataFolder + shell::kPathSep + "Config.ini");
        if (vs.webSocket) {
            ownVoice_ = std::make_unique<voice::WebSocketVoiceClient>(voice::WebSocketOptionsFrom(vs), clock_);
            services_.voice = ownVoice_.get();
        } else {
            services_.voice = &voice::RemoteVoiceClient();
        }
    }
    if (!services_.atc) {
        static atcclient::TowrixProbe probe;
        services_.atc = &probe;
    }
    if (!services_.sleep)
        services_.sleep = BlockingSleep;
    if (!services_.pumpingSleep)
        services_.pumpingSleep = platform::PumpingSleep;
    if (!services_.doEvents)
        services_.doEvents = platform::DoEvents;
    if (!services_.dump)
        services_.dump = link::TrafficTable::DailyDump();

    // Designer captions and tooltips.
    cmdPicTowrix.setCaption("TEST");
    cmdPicTowrix.setToolTip("Test using Towrix selected aircraft");
    cmdLast.setCaption("Last");
    cmdLast.setToolTip("Show the last caller's bearing again");
    cmdLast.setEnabled(false); // until somebody has called
    chkGonio.setCaption("Gonio Active");
    chkOnTop.setCaption("WinOnTop");
    chkOnTop.setToolTip("Set CaptureTowrix window on foreground");
    chkLock.setCaption("Lock Station");
    txtQDR.setToolTip("QDR");
    txtQDM.setToolTip("QDM");
    cmdConnect.setCaption("Connect");
    cmdClose.setCaption("Disconnect");
    chkAutoConnect.setCaption("AutoConnect");
    Caption(Label9, "Signal Stenght:");
    Caption(lblHdg, "Label1");
    Caption(Label8, "Network:");
    imgGonio.setToolTip("Activate/Deactivate Gonio (ON/OFF)");
    Caption(Label2, "Linkar/Towrix:");
    Caption(Label5, "TeamSpeak:");
    Caption(Label7, "Speakers");
    Caption(Label6, "Remote Station:");
    Caption(Label4, "Bearing:");
    Caption(Label1, "reverse bearing:");
    Caption(Label3, "GONIO position:");
    lblRate.setToolTip("Transfer rate");
    Caption(lblError, "Starting ...");
    Caption(Label11, "Teamspeak Client Status-Text:");
    imgOn.setPicture(Picture::On);
    imgOff.setPicture(Picture::Off);
    imgGonio.setPicture(Picture::Off);
    imgRed.setPicture(Picture::Red);
    imgYellow.setPicture(Picture::Yellow);
    imgBlue.setPicture(Picture::Blue);
    imgGreen.setPicture(Picture::Green);
    for (platform::Image* hidden : {&imgOn, &imgOff, &imgRed, &imgYellow, &imgBlue, &imgGreen})
        hidden->setVisible(false);
    txtQDR.setText("---");
    txtQDM.setText("---");
    Line1.setVisible(false);
    Line2.setVisible(false);
    Line3.setVisible(false);
    lblHdg.setVisible(false);
    imgSignal.setVisible(false);

    speakers_ = std::make_unique<voice::SpeakerPolling>(
        voice::SpeakerPolling::Controls{lstSpeakers, lstUsers, lstStrips, lblError, lblRate, imgSpeak, lblStatus,
                                        imgData, txtStatus, chkGonio, txtGonio, txtQDM, txtQDR, lblHdg, tmrStatus},
        *services_.voice, *services_.random,
        voice::SpeakerPolling::Hooks{.secondsNow = [this] { return SecondsNow(); },
                                     .clearReading = [this] { reading_->ClearReading(); },
                                     .drawGauge = [this](double h) { gauge_.DrawGauge(h); }});
    reading_ = std::make_unique<gonio::Reading>(
        gonio::Reading::Controls{txtGonio, txtQDM, txtQDR, imgSignal, chkGonio, chkLock, txtStation, lstStrips, lblHdg,
                                 Line1, Line2, Line3},
        gauge_, speakers_->lLastSpeech,
        gonio::Reading::Hooks{.record = [this](const std::string& call) { return positionRecord(call); },
                              .secondsNow = [this] { return SecondsNow(); },
                              .isMinimized = [this] { return host_.isMinimized(); },
                              .setTitle = [this](const std::string& t) { host_.setTitle(t); },
                              .reseedRandom = nullptr,
                              .positionNote = [this](const std::string&) { return feedNote_; }});
    gauge_.refreshIcon = [this] { host_.refreshIcon(); };

    // Events.
    lstStrips.onClick = [this] { reading_->lstStrips_Click(); };
    txtQDR.onChange = [this] { reading_->txtQDR_Change(); };
    chkGonio.onClick = [this] { gauge_.chkGonio_Click([this] { reading_->ClearReading(); }); };
    imgGonio.onClick = [this] { gauge_.imgGonio_Click(); };
    chkOnTop.onClick = [this] { chkOnTop_Click(); };
    cmdPicTowrix.onClick = [this] { cmdPicTowrix_Click(); };
    cmdLast.onClick = [this] { cmdLast_Click(); };
    tmrSpeakers.onTimer = [this] { speakerCycle(); };
    // Soak runs measure how late the speaker cycle runs behind its tick.
    if (const char* log = std::getenv("QUADRANTEL_TICK_LOG"); log && *log && *log != '0') {
        tickLog_ = std::make_unique<TickLog>("tmrSpeakers", tmrSpeakers.interval(), stderr);
        tmrSpeakers.onTimer = [this] {
            tickLog_->begin();
            speakerCycle();
            tickLog_->end();
        };
    }
    tmrStatus.onTimer = [this] { speakers_->tmrStatus_Timer(); };
    cmdConnect.onClick = [this] {
        if (feed_)
            feed_->cmdConnect_Click();
        else if (link_)
            link_->cmdConnect_Click();
    };
    cmdClose.onClick = [this] {
        if (feed_)
            feed_->cmdClose_Click();
        else if (link_)
            link_->cmdClose_Click();
    };
    tmrUpdate.onTimer = [this] {
        if (feed_)
            feedTick();
        else if (link_)
            link_->tmrUpdate_Timer();
    };
}

GonioForm::~GonioForm()
{
    services_.voice->Stop();
    tmrUpdate.setEnabled(false);
    tmrSpeakers.setEnabled(false);
    tmrStatus.setEnabled(false);
    ReleaseMessageLine(this);
    // The socket's events call into the link: drop the socket first.
    sck_.reset();
}

std::int32_t GonioForm::SecondsNow() const
{
    return static_cast<std::int32_t>(platform::SecondsBetween(dtStart, clock_.now()));
}

void GonioForm::Log(const std::string& Stringa)
{
    shell::Log(Stringa);
}

void GonioForm::LoadSettings()
{
    const std::string& f = shell::globals().sConfigFile;
    IgnoreErrors([&] { chkOnTop.setValue(platform::CIntText(shell::ReadIniValue(f, "OnTop", "1", "Setup"))); });
    IgnoreErrors([&] { iAutoStart = platform::CIntText(shell::ReadIniValue(f, "AutoStart", "0", "Setup")); });
    IgnoreErrors([&] { sVID = shell::ReadIniValue(f, "VID", "", "Setup"); });
    IgnoreErrors([&] { Address = shell::ReadIniValue(f, "Address", "127.0.0.1", "Setup"); });
    IgnoreErrors([&] { Port = shell::ReadIniValue(f, "Port", "6809", "Setup"); });
    auto& g = shell::globals();
    g.sPort = Port;
    g.sAddress = Address;
    g.sVID = sVID;
}

void GonioForm::placeWindow()
{
    const std::string& f = shell::globals().sConfigFile;
    const float centreX = platform::Int((host_.screenWidth() - host_.width()) / 2);
    const float centreY = platform::Int((host_.screenHeight() - host_.height()) / 2);
    // 32-bit, as twips of a wide desktop pass 16 bits at 2,184 pixels. A saved position that
    // is no such number, or that would hide the title bar on every screen (a monitor that
    // is gone), gives way to the centred one.
    const auto saved = [&](const char* key, float centre) -> float {
        const std::string text = shell::ReadIniValue(f, key, platform::Format(centre, "0"), "Setup");
        if (!platform::IsNumeric(text))
            throw platform::RuntimeError(13, "CLng", "Type mismatch");
        return static_cast<float>(platform::CLng(platform::Val(text)));
    };
    float left = centreX, top = centreY;
    IgnoreErrors([&] { left = saved("LastX", centreX); });
    IgnoreErrors([&] { top = saved("LastY", centreY); });
    if (!host_.titleBarOnScreen(left, top)) {
        left = centreX;
        top = centreY;
    }
    host_.moveTo(left, top);
}

void GonioForm::savePosition()
{
    const std::string& f = shell::globals().sConfigFile;
    IgnoreErrors([&] { shell::WriteIniValue(f, "Setup", "LastX", platform::Format(host_.left(), "000000000000")); });
    IgnoreErrors([&] { shell::WriteIniValue(f, "Setup", "LastY", platform::Format(host_.top(), "000000000000")); });
}

void GonioForm::Form_Load()
{
    shell::ReadConfig();
    LoadSettings();
    IgnoreErrors([&] {
        txtStation.setItems(stations::FillPositionList());
        txtStation.setText("");
    });
    speakers_->lVoiceState = -1;
    const platform::Bounds& c = cmdConnect.rect();
    cmdClose.move(c.left, c.top, c.width, cmdClose.rect().height);
    cmdClose.setVisible(false);
    sAppName = "Quadrantel";
    shell::globals().sAppName = sAppName;
    for (platform::Image* light : {&lblState, &lblStatus, &imgData}) {
        light->setWidth(220);
        light->setHeight(220);
        light->setPicture(imgRed.picture());
    }
    {
        const platform::Bounds& s = Shape1.rect();
        const platform::Bounds& m = imgMonitor.rect();
        const float side = std::min(s.width, s.height);
        Shape1.move(m.left + m.width / 2 - side / 2, m.top + m.height / 2 - side / 2, side, side);
    }
    dtStart = clock_.now();
    traffic_ = std::make_unique<link::TrafficTable>(clock_, dtStart, services_.dump);

    link::LinkEvents events{
        [this](const std::string& index, std::int32_t bytes) { link_->Sck_DataArrival(index, bytes); },
        [this](const std::string& index) { link_->Sck_CloseSck(index); },
        [this](const std::string& index, std::int16_t number, const std::string& description) {
            link_->Sck_Error(index, number, description);
        }};
    sck_ = services_.makeSocket ? services_.makeSocket(std::move(events)) : MakeSocketPlusLink(std::move(events));
    link_ = std::make_unique<link::LinkController>(
        link::LinkController::Controls{cmdConnect, cmdClose, chkAutoConnect, lblState, imgData, lblRate, shapeRate,
                                       lblError, lstStrips, tmrStatus},
        *sck_, *traffic_, speakers_->lNoDataCount,
        link::LinkController::Hooks{
            .checkAutoConnect = [this] { CheckAutoConnect(); },
            .updateIcon = [this](const std::string& m) { gauge_.UpdateIcon(m); },
            .applyStrips = [this](const link::StripList& s) { applyStrips(s); },
            .windowLeft = [this] { return host_.left(); },
            .windowTop = [this] { return host_.top(); },
            .showSetupWindow = [this] { host_.showSetupWindow(); },
            .unloadWindow = [this] { host_.unloadWindow(); },
            .sleep = services_.sleep,
            .pumpingSleep = [this](int ms) { pump([this, ms] { services_.pumpingSleep(ms); }); },
            .doEvents = [this] { pump(services_.doEvents); },
            .closing = [this] { return closing_; }});

    if (!services_.feed) {
        const feed::FeedSettings fs = feed::ReadFeedSettings(shell::globals().sConfigFile);
        if (fs.feed) {
            services_.feed.emplace();
            services_.feed->fetch.url = QUrl(QString::fromStdString(fs.url));
            services_.feed->intervalMs = fs.intervalSeconds * 1000;
        }
    }
    if (services_.feed) {
        Caption(Label2, "Data feed:");
        feed_ = std::make_unique<feed::FeedController>(
            feed::FeedController::Controls{cmdConnect, cmdClose, chkAutoConnect, lblState, imgData}, *services_.feed,
            clock_,
            feed::FeedController::Hooks{
                .station = [this] { return StationOf(txtStation.text()); },
                .apply = [this](const feed::FeedTraffic::Changes& c, bool now) { applyFeed(c, now); },
                .updateIcon = [this](const std::string& m) { gauge_.UpdateIcon(m); },
                .dump = nullptr,
                .log = nullptr});
    }

    placeWindow();
    txtStation.setText(shell::ReadIniValue(shell::globals().sConfigFile, "Station", "", "Setup"));
    chkGonio.setValue(iAutoStart);
    host_.setTitle("Quadrantel - " + txtStation.text());
    if (feed_)
        feedTick();
    else
        link_->UpdateState();
    Shape1.setKind(platform::Shape::Oval);
    IgnoreErrors([&] { chkGonio.setFocus(); });
    voice::SetVoiceMessageLine([this](const std::string& text) { lblError.setCaption(text); });
    shell::SetFileNotice([this](const std::string& text) {
        lblError.setCaption(text);
        if (shell::globals().bDebug)
            shell::WriteLog(text);
    });
    g_messageLine = this;
    tmrUpdate.setEnabled(true);
    tmrSpeakers.setEnabled(true);
    startVoice();
    loaded_ = true;
}

void GonioForm::startVoice()
{
    const voice::VoiceClient::Captions captions = services_.voice->WindowCaptions();
    Label5.setCaption(captions.light);
    Label11.setCaption(captions.status);
    voice::VoiceClient::Events events;
    events.transmissionBegan = [this] {
        if (loaded_)
            speakerCycle();
    };
    events.statusText = [this](const std::string& text, bool problem) {
        // The source has no log pane: its state takes the status box.
        txtStatus.setText(text);
        if (problem)
            lblError.setCaption(text);
    };
    events.notice = [this](const std::string& text) { lblError.setCaption(text); };
    services_.voice->Start(events);
}

void GonioForm::Form_Activate()
{
    IgnoreErrors([&] { chkGonio.setFocus(); });
}

void GonioForm::Form_Unload()
{
    closing_ = true;
    tmrSpeakers.setEnabled(false);
    services_.voice->Stop();
    // However the window goes, it comes back where it was.
    savePosition();
    IgnoreErrors([&] {
        if (sck_)
            sck_->CloseSck(shell::globals().sServerName);
    });
    tmrUpdate.setEnabled(false);
    tmrStatus.setEnabled(false);
    if (feed_)
        feed_->Stop();
    ReleaseMessageLine(this);
    IgnoreErrors([&] { releaseSocket(); });
    if (shell::globals().bDebug)
        shell::WriteLog("frmInfo Unload");
    loaded_ = false;
    host_.showSetupWindow();
}

void GonioForm::releaseSocket()
{
    // A refused login unloads the window from inside one of the socket's own events: the
    // object is released once that event has returned, never under its feet.
    std::shared_ptr<link::LinkSocket> closed(std::move(sck_));
    if (QCoreApplication::instance())
        QTimer::singleShot(0, QCoreApplication::instance(), [closed] {});
}

bool GonioForm::DeferUnload()
{
    if (pumpDepth_ == 0)
        return false;
    closing_ = true;
    unloadPending_ = true;
    return true;
}

void GonioForm::pump(const std::function<void()>& wait)
{
    // A window on its way out runs no more events under its handlers: they return at once.
    if (closing_)
        return;
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    };
    {
        const Depth inside(pumpDepth_);
        wait();
    }
    if (pumpDepth_ == 0 && unloadPending_) {
        unloadPending_ = false;
        // Queued, so that it runs once the handler that waited has returned.
        QTimer::singleShot(0, &context_, [this] { host_.unloadWindow(); });
    }
}

void GonioForm::SetAutostart()
{
    chkAutoConnect.setValue(1);
}

void GonioForm::chkOnTop_Click()
{
    SetWindowOnTop(host_, chkOnTop.checked() ? -1 : 0);
}

void GonioForm::CheckAutoConnect()
{
    switch (services_.atc->Connection()) {
    case atcclient::TowrixConnection::NotRunning:
        return;
    case atcclient::TowrixConnection::NotConnected:
        lblError.setCaption("Towrix/Linkar not Running or not connected !");
        return;
    case atcclient::TowrixConnection::Connected:
        if (link_)
            link_->TryToConnect();
        return;
    }
}

void GonioForm::cmdPicTowrix_Click()
{
    if (cmdPicTowrix.checked()) {
        const std::string callsign = services_.atc->SelectedCallsign();
        IgnoreErrors([&] {
            if (!chkGonio.checked() || callsign.empty())
                return;
            if (!chkLock.checked()) {
                IgnoreErrors([&] { txtGonio.setText(callsign); });
                IgnoreErrors([&] { txtGonio.setForeColor(kBlack); });
                IgnoreErrors([&] { txtGonio.refresh(); });
                IgnoreErrors([&] { lblError.setCaption(callsign + " calculating ..."); });
                IgnoreErrors([&] { reading_->Gonio(callsign); });
            } else {
                IgnoreErrors([&] { reading_->Gonio(txtGonio.tag()); });
            }
        });
    }
    cmdPicTowrix.setValue(0);
    IgnoreErrors([&] { chkGonio.setFocus(); });
}

void GonioForm::speakerCycle()
{
    // A transmission reported while the cycle pumps events waits for the next cycle.
    if (inSpeakerCycle_)
        return;
    inSpeakerCycle_ = true;
    speakers_->tmrSpeakers_Timer();
    inSpeakerCycle_ = false;
    // Whatever the voice source, a caller is known once the cycle has tied its first speaker
    // to his strip; that also renews the time of the last speech.
    if (lstSpeakers.listCount() > 0 && !lstStrips.text().empty() && lstStrips.text() == lstSpeakers.list(0)) {
        lastCaller_ = lstStrips.text();
        lastCallerAt_ = speakers_->lLastSpeech;
        cmdLast.setEnabled(true);
    }
    IgnoreErrors([&] { showCallers(); });
}

void GonioForm::showCallers()
{
    // Every other caller with a strip, while the one who keyed up last is on the gauge.
    std::vector<std::pair<std::string, int>> callers;
    for (int i = 1; lblHdg.visible() && i < lstSpeakers.listCount(); ++i) {
        const std::string& call = lstSpeakers.list(i);
        const std::optional<std::string> record = positionRecord(call, false); // none without a strip
        if (!record)
            continue;
        const auto field = [&](long n) { return shell::GetField(*record, n, '\t'); };
        if (const auto qdr =
                gonio::CallerBearing(txtStation.text(), platform::Val(field(link::kFieldLatitude)),
                                     platform::Val(field(link::kFieldLongitude)), field(link::kFieldAltitude)))
            callers.emplace_back(call, *qdr);
    }
    gauge_.DrawCallers(callers);
}

void GonioForm::cmdLast_Click()
{
    IgnoreErrors([&] { chkGonio.setFocus(); });
    if (lastCaller_.empty() || !chkGonio.checked())
        return;
    const std::string recall = "last: " + lastCaller_ + " (" + std::to_string(SecondsNow() - lastCallerAt_) + " s ago)";
    // He may have logged off since: say so rather than leave "calculating ..." behind.
    if (!traffic_ || !traffic_->Contains(lastCaller_)) {
        lblError.setCaption(recall + " - no position");
        return;
    }
    // A recall lives as long as a fresh reading: the silence rule clears it ten seconds on.
    speakers_->lLastSpeech = SecondsNow();
    IgnoreErrors([&] { txtGonio.setText(lastCaller_ + " calculating ..."); });
    IgnoreErrors([&] { txtGonio.setForeColor(kBlack); });
    IgnoreErrors([&] { reading_->Gonio(lastCaller_); });
    lblError.setCaption(recall);
}

void GonioForm::feedTick()
{
    if (txtStation.text() != feedStation_) {
        feedStation_ = txtStation.text();
        feed_->StationChanged();
    }
    feed_->tmrUpdate_Timer();
}

void GonioForm::applyFeed(const feed::FeedTraffic::Changes& changes, bool now)
{
    if (!traffic_)
        return;
    for (const std::string& callsign : changes.dropped)
        traffic_->Remove(callsign);
    for (const feed::Pilot* p : changes.kept) {
        const std::string lat = platform::NumberText(p->latitude, 'f', 6);
        const std::string lon = platform::NumberText(p->longitude, 'f', 6);
        const std::string alt = std::to_string(std::llround(p->altitudeFt));
        const std::string speed = std::to_string(std::llround(std::max(0.0, p->groundSpeedKt)));
        traffic_->Store({p->callsign, p->squawk, lat, lon, alt, speed});
    }
    IgnoreErrors([&] {
        if (auto strips = traffic_->Refresh([this] { return lstStrips.text(); }, now))
            applyStrips(*strips);
    });
}

std::optional<std::string> GonioForm::positionRecord(const std::string& callsign, bool forReading)
{
    if (forReading)
        feedNote_.clear();
    if (!traffic_)
        return std::nullopt;
    const std::string* r = traffic_->Record(callsign);
    if (!r)
        return std::nullopt;
    if (feed_) {
        // Where the aircraft is now, not where the file saw it.
        if (const auto fix = feed_->FixOf(callsign)) {
            if (!forReading)
                return WithPosition(*r, fix->latitude, fix->longitude);
            feedNote_ = feed::FixNote(*fix);
            if (shell::globals().bDebug)
                shell::WriteLog("Reading " + callsign + ": " + feedNote_);
            return WithPosition(*r, fix->latitude, fix->longitude);
        }
    }
    return *r;
}

void GonioForm::applyStrips(const link::StripList& strips)
{
    lstStrips.setItems(strips.callsigns);
    if (strips.reselect && *strips.reselect < strips.callsigns.size())
        IgnoreErrors([&] { lstStrips.setListIndex(static_cast<int>(*strips.reselect)); });
    lstStrips.refresh();
}

} // namespace quadrantel::app
