#include "app/GonioForm.h"

#include "atcclient/TowrixProbe.h"
#include "platform/Pump.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/Settings.h"
#include "stations/PositionFiles.h"
#include "voice/modTSRemote.h"

#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace quadrantel::app {

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

// What the services leave out, the program's own.
GonioServices WithDefaults(GonioServices s)
{
    if (!s.clock)
        s.clock = &platform::DefaultClock();
    if (!s.random)
        s.random = &platform::DefaultRandom();
    if (!s.atc) {
        static atcclient::TowrixProbe probe;
        s.atc = &probe;
    }
    if (!s.sleep)
        s.sleep = BlockingSleep;
    if (!s.pumpingSleep)
        s.pumpingSleep = platform::PumpingSleep;
    if (!s.doEvents)
        s.doEvents = platform::DoEvents;
    if (!s.dump)
        s.dump = link::LinkData::DailyDump();
    return s;
}

} // namespace

void SetWindowOnTop(GonioHost& window, int onTop)
{
    // onTop is a truth value: -1 true, 0 false; anything else puts the window on top of the
    // ordinary ones without making it topmost.
    window.setWindowPos(onTop == -1 ? -1 : onTop == 0 ? -2 : 0);
}

GonioForm::GonioForm(GonioHost& host, GonioServices services)
    : host_(host), services_(WithDefaults(std::move(services))), clock_(*services_.clock),
      gauge_({Shape1, Line1, Line2, Line3, lblHdg, imgGonio, chkGonio, cmdPicTowrix, imgMonitor, imgSpeak, lblError},
             services_.measure ? services_.measure : gonio::MeasureText(gonio::EstimateText))
{
    SetDesignerCaptions();
    SetDesignerPictures();
    WireEvents();
}

void GonioForm::SetDesignerCaptions()
{
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
    Caption(lblFeedCaption, "Data feed:");
    lblRate.setToolTip("Transfer rate");
    Caption(lblError, "Starting ...");
    Caption(Label11, "Teamspeak Client Status-Text:");
}

void GonioForm::SetDesignerPictures()
{
    imgOn.setPicture(Picture::On);
    imgOff.setPicture(Picture::Off);
    imgGonio.setPicture(Picture::Off);
    imgRed.setPicture(Picture::Red);
    imgYellow.setPicture(Picture::Yellow);
    imgBlue.setPicture(Picture::Blue);
    imgGreen.setPicture(Picture::Green);
    for (platform::Image* hidden : {&imgOn, &imgOff, &imgRed, &imgYellow, &imgBlue, &imgGreen})
        hidden->setVisible(false);
    // The second light is the data feed's beside the link: hidden until both are chosen.
    lblFeedCaption.setVisible(false);
    imgFeed.setVisible(false);
    txtQDR.setText("---");
    txtQDM.setText("---");
    Line1.setVisible(false);
    Line2.setVisible(false);
    Line3.setVisible(false);
    lblHdg.setVisible(false);
    imgSignal.setVisible(false);
}

// The subsystems the handlers reach are built by the load; no event reaches them before.
void GonioForm::WireEvents()
{
    gauge_.refreshIcon = [this] { host_.refreshIcon(); };
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
    cmdConnect.onClick = [this] { sources_.positions->Connect(); };
    cmdClose.onClick = [this] { sources_.positions->Disconnect(); };
    tmrUpdate.onTimer = [this] { sources_.positions->Tick(); };
}

GonioForm::~GonioForm()
{
    if (sources_.voice)
        sources_.voice->Stop();
    tmrUpdate.setEnabled(false);
    tmrSpeakers.setEnabled(false);
    tmrStatus.setEnabled(false);
    ReleaseMessageLine(this);
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
    const shell::IniReadBatch once; // the settings file is read once for the whole load
    shell::ReadConfig();
    LoadSettings();
    FillStations();
    ArrangeControls();
    dtStart = clock_.now();
    BuildSubsystems();
    placeWindow();
    ShowStation();
    sources_.positions->Start();
    Shape1.setKind(platform::Shape::Oval);
    IgnoreErrors([&] { chkGonio.setFocus(); });
    TakeMessageLine();
    StartCycles();
    loaded_ = true;
}

void GonioForm::FillStations()
{
    IgnoreErrors([&] {
        txtStation.setItems(stations::FillPositionList());
        txtStation.setText("");
    });
}

// Disconnect over Connect, the lights red, the gauge's face square and centred.
void GonioForm::ArrangeControls()
{
    const platform::Bounds& c = cmdConnect.rect();
    cmdClose.move(c.left, c.top, c.width, cmdClose.rect().height);
    cmdClose.setVisible(false);
    sAppName = "Quadrantel";
    shell::globals().sAppName = sAppName;
    for (platform::Image* light : {&lblState, &lblStatus, &imgData, &imgFeed}) {
        light->setWidth(220);
        light->setHeight(220);
        light->setPicture(imgRed.picture());
    }
    const platform::Bounds& s = Shape1.rect();
    const platform::Bounds& m = imgMonitor.rect();
    const float side = std::min(s.width, s.height);
    Shape1.move(m.left + m.width / 2 - side / 2, m.top + m.height / 2 - side / 2, side, side);
}

// The traffic table, the sources Config.ini chooses, the speaker cycle and the reading.
void GonioForm::BuildSubsystems()
{
    traffic_ = std::make_unique<traffic::TrafficTable>(clock_, dtStart);
    sources_ = BuildSources(*this, services_, *traffic_, windowHooks());
    speakers_ = std::make_unique<voice::SpeakerPolling>(
        voice::SpeakerPolling::Controls{lstSpeakers, lstUsers, lstStrips, lblError, imgSpeak, lblStatus, txtStatus,
                                        chkGonio, txtGonio, txtQDM, txtQDR, lblHdg, tmrStatus},
        *sources_.voice, *services_.random,
        voice::SpeakerPolling::Hooks{.secondsNow = [this] { return SecondsNow(); },
                                     .clearReading = [this] { reading_->ClearReading(); },
                                     .drawGauge = [this](double h) { gauge_.DrawGauge(h); },
                                     .noDataCheck = [this](bool red) { sources_.positions->NoDataCheck(red); }});
    speakers_->lVoiceState = -1;
    reading_ = std::make_unique<gonio::Reading>(
        gonio::Reading::Controls{txtGonio, txtQDM, txtQDR, imgSignal, chkGonio, chkLock, txtStation, lstStrips, lblHdg,
                                 Line1, Line2, Line3},
        gauge_, speakers_->lLastSpeech,
        gonio::Reading::Hooks{.fix = [this](const std::string& call) { return fixOf(call); },
                              .secondsNow = [this] { return SecondsNow(); },
                              .isMinimized = [this] { return host_.isMinimized(); },
                              .setTitle = [this](const std::string& t) { host_.setTitle(t); },
                              .reseedRandom = nullptr});
}

WindowHooks GonioForm::windowHooks()
{
    return WindowHooks{.updateIcon = [this](const std::string& m) { gauge_.UpdateIcon(m); },
                       .applyStrips = [this](const traffic::StripList& s) { applyStrips(s); },
                       .windowLeft = [this] { return host_.left(); },
                       .windowTop = [this] { return host_.top(); },
                       .showSetupWindow = [this] { host_.showSetupWindow(); },
                       .unloadWindow = [this] { host_.unloadWindow(); },
                       .sleep = services_.sleep,
                       .pumpingSleep = [this](int ms) { pump([this, ms] { services_.pumpingSleep(ms); }); },
                       .doEvents = [this] { pump(services_.doEvents); },
                       .closing = [this] { return closing_; }};
}

void GonioForm::ShowStation()
{
    txtStation.setText(shell::ReadIniValue(shell::globals().sConfigFile, "Station", "", "Setup"));
    chkGonio.setValue(iAutoStart);
    host_.setTitle("Quadrantel - " + txtStation.text());
}

// The voice library's errors and the day's files' notices go to this window's message line.
void GonioForm::TakeMessageLine()
{
    voice::SetVoiceMessageLine([this](const std::string& text) { lblError.setCaption(text); });
    shell::SetFileNotice([this](const std::string& text) {
        lblError.setCaption(text);
        if (shell::globals().bDebug)
            shell::WriteLog(text);
    });
    g_messageLine = this;
}

void GonioForm::StartCycles()
{
    tmrUpdate.setEnabled(true);
    tmrSpeakers.setEnabled(true);
    startVoice();
}

void GonioForm::startVoice()
{
    const voice::VoiceClient::Captions captions = sources_.voice->WindowCaptions();
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
    sources_.voice->Start(events);
}

void GonioForm::Form_Activate()
{
    IgnoreErrors([&] { chkGonio.setFocus(); });
}

void GonioForm::Form_Unload()
{
    closing_ = true;
    tmrSpeakers.setEnabled(false);
    sources_.voice->Stop();
    // However the window goes, it comes back where it was.
    savePosition();
    IgnoreErrors([&] { sources_.positions->Stop(); });
    tmrUpdate.setEnabled(false);
    tmrStatus.setEnabled(false);
    ReleaseMessageLine(this);
    if (shell::globals().bDebug)
        shell::WriteLog("frmInfo Unload");
    loaded_ = false;
    host_.showSetupWindow();
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
        const std::optional<traffic::Fix> fix = sources_.positions->FixOf(call); // none without a strip
        if (!fix)
            continue;
        if (const auto qdr = gonio::CallerBearing(txtStation.text(), fix->position))
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
    if (!traffic_->Contains(lastCaller_)) {
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

std::optional<traffic::Fix> GonioForm::fixOf(const std::string& callsign)
{
    auto fix = sources_.positions->FixOf(callsign);
    if (fix && !fix->note.empty() && shell::globals().bDebug)
        shell::WriteLog("Reading " + callsign + ": " + fix->note);
    return fix;
}

void GonioForm::applyStrips(const traffic::StripList& strips)
{
    lstStrips.setItems(strips.callsigns);
    if (strips.reselect && *strips.reselect < strips.callsigns.size())
        IgnoreErrors([&] { lstStrips.setListIndex(static_cast<int>(*strips.reselect)); });
    lstStrips.refresh();
}

} // namespace quadrantel::app
