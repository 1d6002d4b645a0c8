#pragma once

#include "app/Sources.h"
#include "app/TickLog.h"
#include "feed/FeedController.h"
#include "gonio/Gauge.h"
#include "gonio/Reading.h"
#include "link/LinkController.h"
#include "link/LinkData.h"
#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/Random.h"
#include "voice/SpeakerPolling.h"

#include <QDateTime>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quadrantel::atcclient {
class AtcClient;
}

namespace quadrantel::app {

// What the main window's behaviour needs of the window it lives in.
class GonioHost {
public:
    virtual ~GonioHost() = default;
    virtual void setTitle(const std::string& title) = 0;
    virtual bool isMinimized() const = 0;
    // Position and size of the window, and of the screen, in twips.
    virtual float left() const = 0;
    virtual float top() const = 0;
    virtual float width() const = 0;
    virtual float height() const = 0;
    virtual float screenWidth() const = 0;
    virtual float screenHeight() const = 0;
    virtual void moveTo(float left, float top) = 0;
    // Whether a window at (left, top) would show its title bar on some screen.
    virtual bool titleBarOnScreen(float left, float top) const = 0;
    // -1 topmost, -2 not topmost, 0 top of the ordinary windows.
    virtual void setWindowPos(int insertAfter) = 0;
    virtual void refreshIcon() {}
    virtual void showSetupWindow() = 0;
    virtual void unloadWindow() = 0;
};

// The pieces the window is assembled from; tests replace any of them.
struct GonioServices {
    const platform::Clock* clock = nullptr; // default: the system clock
    platform::Random* random = nullptr;     // default: the process's random source
    voice::VoiceClient* voice = nullptr;    // default: the source chosen in the configuration file
    atcclient::AtcClient* atc = nullptr;    // default: probing the client's windows
    link::LinkData::DumpSink dump;          // default: the day's dump file
    gonio::MeasureText measure;             // default: an estimate
    // Makes the socket object for the link; default: the socket class over the host's sockets.
    std::function<std::unique_ptr<link::LinkSocket>(link::LinkEvents)> makeSocket;
    std::function<void(int)> sleep;        // default: blocks the thread
    std::function<void(int)> pumpingSleep; // default: waits with the event loop running
    std::function<void()> doEvents;        // default: runs pending events once
    // The data feed's options (its address and interval) in place of the configuration
    // file's, when that file takes positions from the feed.
    std::optional<feed::FeedOptions> feed;
};

// The main window's behaviour, free of widgets: its controls as models, its fields, and
// the subsystems it hosts. The widget window binds to it.
class GonioForm {
public:
    GonioForm(GonioHost& host, GonioServices services = {});
    ~GonioForm();
    GonioForm(const GonioForm&) = delete;
    GonioForm& operator=(const GonioForm&) = delete;

    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void SetAutostart();
    void chkOnTop_Click();
    void cmdPicTowrix_Click();
    // Runs the reading again for the last callsign the speaker cycle tied to a strip.
    void cmdLast_Click();
    void Log(const std::string& Stringa);
    // Seconds from dtStart to now.
    std::int32_t SecondsNow() const;

    // Controls.
    platform::CheckBox cmdPicTowrix, chkGonio, chkOnTop, chkLock, chkAutoConnect;
    platform::TextBox txtQDR, txtQDM, txtGonio, txtStatus;
    platform::ComboBox txtStation;
    platform::ListBox lstStrips, lstUsers, lstSpeakers;
    platform::Button cmdConnect, cmdClose, cmdLast;
    platform::Label Label9, lblHdg, Label8, Label2, Label5, Label7, Label6, Label4, Label1, Label3, lblRate, lblError,
        Label11, lblFeedCaption;
    // imgFeed: the data feed's light, shown (with its caption lblFeedCaption) when the link is the other source.
    platform::Image imgSignal, imgSpeak, imgData, imgOn, imgOff, imgGonio, lblStatus, lblState, imgYellow, imgBlue,
        imgGreen, imgRed, imgMonitor, imgFeed;
    platform::Line Line1, Line2, Line3;
    platform::Shape shapeRate, Shape1;
    platform::Timer tmrUpdate{100}, tmrStatus{1000}, tmrSpeakers{250};

    // Fields.
    std::string sAppName;
    std::int16_t iAutoStart = 0;
    std::string sVID, Address, Port;
    QDateTime dtStart;

    traffic::TrafficTable& traffic() { return *traffic_; }
    // What Config.ini chose, built by the load.
    traffic::PositionSource& positions() { return *sources_.positions; }
    Sources& sources() { return sources_; }
    voice::SpeakerPolling& speakers() { return *speakers_; }
    gonio::Reading& reading() { return *reading_; }
    gonio::GaugePanel& gauge() { return gauge_; }
    bool loaded() const { return loaded_; }
    // Whether a close must wait: a handler is waiting on the event loop and would resume on
    // freed objects. The window then closes once the outermost wait has returned.
    bool DeferUnload();

private:
    // The constructor's steps.
    void SetDesignerCaptions();
    void SetDesignerPictures();
    void WireEvents();
    // The load's steps.
    void LoadSettings();
    void FillStations();
    void ArrangeControls();
    void BuildSubsystems();
    void placeWindow();
    void ShowStation();
    void TakeMessageLine();
    void StartCycles();
    // The voice source's captions and events, from the load to the unload.
    void startVoice();
    // The other callers' needles, after each speaker cycle.
    void showCallers();

    WindowHooks windowHooks();
    void applyStrips(const traffic::StripList& strips);
    std::optional<traffic::Fix> fixOf(const std::string& callsign);
    void savePosition();
    void speakerCycle();
    void pump(const std::function<void()>& wait);

    GonioHost& host_;
    GonioServices services_;
    const platform::Clock& clock_;
    gonio::GaugePanel gauge_;
    std::unique_ptr<traffic::TrafficTable> traffic_;
    Sources sources_; // after the controls and the table they work on
    std::unique_ptr<voice::SpeakerPolling> speakers_;
    std::unique_ptr<gonio::Reading> reading_;
    bool inSpeakerCycle_ = false;
    bool loaded_ = false;
    int pumpDepth_ = 0;
    bool closing_ = false;
    bool unloadPending_ = false;
    QObject context_; // ties the deferred close to this object's life
    std::string lastCaller_;
    std::int32_t lastCallerAt_ = 0; // seconds since dtStart of his last cycle on the air
    std::unique_ptr<TickLog> tickLog_;
};

// Applies the always-on-top setting to a window.
void SetWindowOnTop(GonioHost& window, int onTop);

} // namespace quadrantel::app
