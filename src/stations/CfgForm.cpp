#include "stations/CfgForm.h"

#include "feed/FeedSettings.h"
#include "platform/Dialogs.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/Settings.h"
#include "stations/PositionFiles.h"
#include "stations/PositionForm.h"
#include "voice/VoiceSettings.h"

#include <charconv>
#include <cmath>

namespace quadrantel::stations {

using platform::IgnoreErrors;

namespace {

// A number as the runtime writes it into text: no blanks, a point, no trailing zeros.
std::string WrittenNumber(double v)
{
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        return std::to_string(static_cast<long long>(v));
    // Not printf: the locale's decimal comma would be saved.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

// A check box takes 0 or 1 only; anything else is an invalid property value.
int CheckValue(const std::string& text)
{
    const int v = platform::CIntText(text);
    if (v != 0 && v != 1)
        throw platform::RuntimeError(380, "frmCfg", "Invalid property value");
    return v;
}

// The file's address, and how often it is asked: there is no box for the interval.
std::string FeedURLTip(int intervalSeconds)
{
    return "Address of the network's public data file or of its status document, http:// or https:// (Feed and "
           "Both); asked every " +
           std::to_string(intervalSeconds) + " s (FeedInterval in Config.ini, " +
           std::to_string(feed::kMinIntervalSeconds) + " to " + std::to_string(feed::kMaxIntervalSeconds) + " s)";
}

void Report(const std::string& text)
{
    platform::CurrentDialogs().messageBox(text, platform::Dialogs::Exclamation, shell::globals().sAppName);
}

} // namespace

CfgForm::CfgForm(CfgHooks h) : hooks(std::move(h))
{
    frameConfig.setCaption("Setup");
    frameOptions.setCaption("Options");
    Label3.setCaption("GONIO position");
    cmdAdd.setCaption("&Add");
    cmdRemove.setCaption("&Remove");
    chkAutostart.setCaption("Auto Activate GONIO");
    chkAutostart.setToolTip("AutoEnable on start-up");
    chkOnTop.setCaption("WinOnTop");
    chkOnTop.setToolTip("Set this Window on foreground");
    Label1.setCaption(" Orvanta VID");
    txtMe.setMaxLength(6);
    txtMe.setToolTip("Orvanta VID (Personal identification number)");
    Label2.setCaption("Linkar address");
    txtAddress.setMaxLength(200);
    txtAddress.setText("127.0.0.1");
    txtAddress.setToolTip("Linkar IP address");
    Label6.setCaption("Linkar Port");
    txtPort.setMaxLength(6);
    txtPort.setText("6809");
    txtPort.setToolTip("Linkar port number");
    lblVoice.setCaption("Voice client");
    cboVoice.addItem("TSRemote");
    cboVoice.addItem("WebSocket");
    cboVoice.setListIndex(0);
    cboVoice.setToolTip("TSRemote: the TeamSpeak 2 remote library; WebSocket: the newer voice client's events");
    lblVoiceURL.setCaption("Voice URL");
    txtVoiceURL.setMaxLength(200);
    txtVoiceURL.setText(voice::kDefaultVoiceURL);
    txtVoiceURL.setToolTip("Address of the voice client's WebSocket (WebSocket only)");
    lblVoiceFrequencies.setCaption("Frequencies");
    cboVoiceFrequencies.addItem("TX");
    cboVoiceFrequencies.setText("");
    cboVoiceFrequencies.setToolTip("Only transmissions on these frequencies in MHz, e.g. 118.700, 121.800; TX: where "
                                   "the voice client has transmit selected; blank: all (WebSocket only)");
    lblPositions.setCaption("Positions");
    cboPositions.addItem("Link"); // in the order of feed::PositionChoice
    cboPositions.addItem("Feed");
    cboPositions.addItem("Both");
    cboPositions.setListIndex(0);
    cboPositions.setToolTip(
        "Link: aircraft positions from Linkar; Feed: from the network's public data feed over "
        "HTTP, for any ATC client; Both: the link's aircraft from Linkar, every other from the feed");
    lblFeedURL.setCaption("Feed URL");
    txtFeedURL.setMaxLength(200);
    txtFeedURL.setToolTip(FeedURLTip(feedInterval_));
    cmdAbout.setCaption("A&bout");
    cmdAbout.setToolTip("Info on Application and/or author");
    cmdExit.setCaption("&Exit");
    cmdExit.setToolTip("Exit program");
    cmdEnable.setCaption("&Save and Enable");
    cmdEnable.setToolTip("Save Configuration and enable");
    frameConfig.move(0, 0, 5400, 4200);

    cmdAdd.onClick = [this] { cmdAdd_Click(); };
    cmdRemove.onClick = [this] { cmdRemove_Click(); };
    cmdEnable.onClick = [this] { cmdEnable_Click(); };
    cmdExit.onClick = [this] { cmdExit_Click(); };
    cmdAbout.onClick = [this] { cmdAbout_Click(); };
}

void CfgForm::Form_Load()
{
    const shell::IniReadBatch once; // the settings file is read once for the whole load
    IgnoreErrors([&] {
        if (hooks.mainWindowLoaded && hooks.mainWindowLoaded()) {
            if (shell::globals().bDebug)
                shell::WriteLog("Unloading Module");
            if (hooks.unloadMainWindow)
                hooks.unloadMainWindow();
        }
    });
    IgnoreErrors([&] {
        if (hooks.setTitle)
            hooks.setTitle("Quadrantel");
    });
    IgnoreErrors([&] {
        const platform::Bounds& b = frameConfig.rect();
        frameConfig.move(0, 0, b.width, b.height);
        if (hooks.resize)
            hooks.resize(b.width + 130, b.height + 400);
    });
    IgnoreErrors([&] { shell::ReadConfig(); });
    LoadConfig();
    fillList();
    IgnoreErrors(
        [&] { txtStation.setText(shell::ReadIniValue(shell::globals().sConfigFile, "Station", "", shell::kSetup)); });
}

void CfgForm::LoadConfig()
{
    const std::string& f = shell::globals().sConfigFile;
    IgnoreErrors([&] { chkOnTop.setValue(CheckValue(shell::ReadIniValue(f, "OnTop", "1", shell::kSetup))); });
    IgnoreErrors([&] { chkAutostart.setValue(CheckValue(shell::ReadIniValue(f, "AutoStart", "0", shell::kSetup))); });
    IgnoreErrors([&] { txtMe.setText(shell::ReadIniValue(f, "VID", "", shell::kSetup)); });
    IgnoreErrors([&] { txtAddress.setText(shell::ReadIniValue(f, "Address", "127.0.0.1", shell::kSetup)); });
    IgnoreErrors([&] { txtPort.setText(shell::ReadIniValue(f, "Port", "6809", shell::kSetup)); });
    IgnoreErrors([&] {
        const voice::VoiceSettings v = voice::ReadVoiceSettings(f);
        cboVoice.setListIndex(v.webSocket ? 1 : 0);
        txtVoiceURL.setText(v.url);
        cboVoiceFrequencies.setText(v.frequencies);
    });
    IgnoreErrors([&] {
        const feed::FeedSettings fs = feed::ReadFeedSettings(f);
        cboPositions.setListIndex(static_cast<int>(fs.source));
        txtFeedURL.setText(fs.url);
        feedInterval_ = fs.intervalSeconds;
        txtFeedURL.setToolTip(FeedURLTip(feedInterval_));
    });
}

bool CfgForm::SaveConfig()
{
    const std::string& f = shell::globals().sConfigFile;
    bool ok = shell::WriteIniValue(f, shell::kSetup, "OnTop", std::to_string(chkOnTop.value()));
    ok = shell::WriteIniValue(f, shell::kSetup, "AutoStart", std::to_string(chkAutostart.value())) && ok;
    ok = shell::WriteIniValue(f, shell::kSetup, "VID", txtMe.text()) && ok;
    ok = shell::WriteIniValue(f, shell::kSetup, "Address", txtAddress.text()) && ok;
    ok = shell::WriteIniValue(f, shell::kSetup, "Port", txtPort.text()) && ok;
    // The station as its file names it, whatever the case it was typed in.
    const int station = txtStation.listIndex();
    ok = shell::WriteIniValue(f, shell::kSetup, "Station",
                              station >= 0 ? txtStation.items()[static_cast<std::size_t>(station)]
                                           : txtStation.text()) &&
         ok;
    ok =
        voice::WriteVoiceSettings(f, {cboVoice.listIndex() == 1, txtVoiceURL.text(), cboVoiceFrequencies.text()}) && ok;
    ok = feed::WriteFeedSettings(f, {positionChoice(), platform::Trim(txtFeedURL.text()), feedInterval_}) && ok;
    return ok;
}

bool CfgForm::voiceSettingsValid()
{
    if (cboVoice.listIndex() != 1)
        return true;
    std::string problem = voice::VoiceURLProblem(txtVoiceURL.text());
    platform::Control* box = &txtVoiceURL;
    std::string bad;
    if (problem.empty() && !voice::ParseFrequencyRule(cboVoiceFrequencies.text(), &bad)) {
        problem = "\"" + bad + "\" is no air-band frequency: type them in MHz from 108.000 to 136.975 with a " +
                  "decimal point, e.g. 118.700, 121.800, or TX for the voice client's transmit frequencies";
        box = &cboVoiceFrequencies;
    }
    if (problem.empty())
        return true;
    IgnoreErrors([&] { platform::CurrentDialogs().messageBox(problem, platform::Dialogs::Exclamation, "Quadrantel"); });
    IgnoreErrors([&] { box->setFocus(); });
    return false;
}

feed::PositionChoice CfgForm::positionChoice() const
{
    const int i = cboPositions.listIndex();
    return i == 1 ? feed::PositionChoice::Feed : i == 2 ? feed::PositionChoice::Both : feed::PositionChoice::Link;
}

bool CfgForm::feedSettingsValid()
{
    if (!feed::UsesFeed(positionChoice()))
        return true;
    const std::string problem = feed::FeedURLProblem(txtFeedURL.text());
    if (problem.empty())
        return true;
    IgnoreErrors([&] { platform::CurrentDialogs().messageBox(problem, platform::Dialogs::Exclamation, "Quadrantel"); });
    IgnoreErrors([&] { txtFeedURL.setFocus(); });
    return false;
}

void CfgForm::fillList()
{
    IgnoreErrors([&] {
        txtStation.clear();
        txtStation.setItems(FillPositionList(StripFileName(shell::globals().sConfigFile)));
    });
    IgnoreErrors([&] { txtStation.setText(""); });
}

void CfgForm::cmdAdd_Click()
{
    std::string hint = kHint;
    std::string name;
    for (;;) {
        name = platform::Trim(
            platform::CurrentDialogs().inputBox("Position Name:\r\n\n" + hint, "New GONIO position", ""));
        if (name.empty())
            return;
        if (!IsValidPositionName(name))
            hint = kInvalidHint;
        else if (name.size() > kMaxPositionName)
            hint = kLongHint; // its file name could not be created
        else
            break;
    }

    {
        PositionForm position;
        position.Form_Load();
        position.lblPosition.setCaption(name + " position");
        if (hooks.showPosition)
            hooks.showPosition(position);
    }
    if (sLatitude.empty() || sLongitude.empty())
        return;

    IgnoreErrors([&] {
        const std::string folder = StripFileName(shell::globals().sConfigFile);
        const auto id = AddPosition(folder, name, sLatitude, sLongitude);
        fillList();
        if (!id) {
            Report("The position could not be saved in:\r\n" + folder);
            return;
        }
        std::vector<std::string> list = txtStation.items();
        const int i = FindPosition(list, *id);
        if (i >= 0)
            txtStation.setListIndex(i);
    });
}

void CfgForm::cmdRemove_Click()
{
    IgnoreErrors([&] {
        const auto& g = shell::globals();
        RemovePosition(StripFileName(g.sConfigFile), g.sConfigFile, txtStation.text());
    });
    fillList();
}

void CfgForm::txtMe_LostFocus()
{
    IgnoreErrors([&] { txtMe.setText(WrittenNumber(platform::Val(txtMe.text()))); });
}

void CfgForm::txtPort_LostFocus()
{
    IgnoreErrors([&] { txtPort.setText(WrittenNumber(platform::Val(txtPort.text()))); });
}

void CfgForm::cmdEnable_Click()
{
    if (txtStation.listIndex() < 0) {
        IgnoreErrors([&] { txtStation.setFocus(); });
        return;
    }
    if (!voiceSettingsValid() || !feedSettingsValid())
        return;
    IgnoreErrors([&] {
        if (!SaveConfig())
            Report("The settings could not be saved to:\r\n" + shell::globals().sConfigFile);
    });
    IgnoreErrors([&] {
        if (hooks.unloadWindow)
            hooks.unloadWindow();
    });
    IgnoreErrors([&] {
        if (hooks.onEnable)
            hooks.onEnable();
    });
}

void CfgForm::cmdExit_Click()
{
    if (hooks.unloadWindow)
        hooks.unloadWindow();
}

void CfgForm::cmdAbout_Click()
{
    if (hooks.showAbout)
        hooks.showAbout();
}

} // namespace quadrantel::stations
