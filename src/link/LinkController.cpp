#include "link/LinkController.h"

#include "link/TrafficTable.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/Settings.h"

namespace quadrantel::link {

using platform::IgnoreErrors;
using platform::Picture;

namespace {

const char* const kRefusal = ":NO such VID / Password";

} // namespace

std::string LinkController::LoginLine(const std::string& appName, const std::string& vid)
{
    return "#AA" + appName + ":SERVER:" + appName + ":" + vid + ":XXXXXXXX:12:B\r\n";
}

std::string LinkController::IdentificationLine(const std::string& appName, const std::string& version)
{
    return "!C" + appName + ":SERVER:3:407162853:Gonio:" + version + ":52940817\r\n";
}

LinkController::LinkController(Controls controls, LinkSocket& sck, TrafficTable& traffic, std::int32_t& lNoDataCount,
                               Hooks hooks)
    : c_(controls), sck_(sck), traffic_(traffic), lNoDataCount_(lNoDataCount), hooks_(std::move(hooks))
{
}

void LinkController::log(const std::string& line) const
{
    if (shell::globals().bDebug)
        shell::WriteLog(line);
}

bool LinkController::TryToConnect()
{
    const auto& g = shell::globals();
    if (sck_.state(g.sServerName) == sckConnected) {
        UpdateState();
        return true;
    }
    // A tick that runs inside this attempt's wait must not start a second one: nested
    // attempts would pile up on the stack for as long as the peer refuses.
    if (connecting_)
        return false;
    struct Guard {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(connecting_);
    try {
        bLoggedIn = false;
        if (sck_.state(g.sServerName) != sckClosed)
            return false;
        traffic_.DropUnfinishedLine();
        sck_.Connect(g.sServerName, g.sAddress, g.sPort);
        log("Connection " + g.sServerName + " - " + g.sAddress + ":" + g.sPort);
        hooks_.updateIcon("");
        for (int i = 0; i < 10; ++i) {
            hooks_.doEvents();
            hooks_.pumpingSleep(200);
            hooks_.doEvents();
            if (sck_.state(g.sServerName) == sckConnected)
                break;
        }
        if (sck_.state(g.sServerName) == sckConnected)
            return true;
        sck_.CloseSck(g.sServerName);
        log("Unable to connect to Linkar");
        hooks_.updateIcon("Unable to Connect to Linkar - " + g.sAddress + ":" + g.sPort);
        UpdateState();
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

void LinkController::LoginLinkar()
{
    const auto& g = shell::globals();
    sck_.SendData(g.sServerName, LoginLine(g.sAppName, g.sVID));
    hooks_.sleep(200);
    bLoggedIn = true;
    c_.lstStrips.clear();
}

void LinkController::UpdateState()
{
    const auto& g = shell::globals();
    IgnoreErrors([&] { log("State:" + c_.lblState.toolTip()); });
    int state = -1;
    IgnoreErrors([&] { state = sck_.state(g.sServerName); });
    if (state == sckConnected) {
        IgnoreErrors([&] { c_.cmdClose.setEnabled(true); });
        IgnoreErrors([&] { c_.cmdClose.setVisible(true); });
        if (!bLoggedIn)
            IgnoreErrors([&] { LoginLinkar(); });
    } else if (state == sckClosing) {
        IgnoreErrors([&] { c_.cmdClose.setEnabled(false); });
        IgnoreErrors([&] { c_.cmdClose.setVisible(false); });
        IgnoreErrors([&] { sck_.CloseSck(g.sServerName); });
        bLoggedIn = false;
    } else {
        IgnoreErrors([&] { c_.cmdClose.setEnabled(false); });
        IgnoreErrors([&] { c_.cmdClose.setVisible(false); });
    }
    IgnoreErrors([&] { c_.cmdConnect.setEnabled(!c_.cmdClose.enabled()); });
    IgnoreErrors([&] { c_.cmdConnect.setVisible(!c_.cmdClose.visible()); });

    IgnoreErrors([&] { state = sck_.state(g.sServerName); });
    IgnoreErrors([&] { showState(state); });
    if (state == sckClosed && c_.chkAutoConnect.checked() && hooks_.checkAutoConnect)
        IgnoreErrors([&] { hooks_.checkAutoConnect(); });
}

void LinkController::showState(int state)
{
    static const struct {
        const char* tip;
        Picture picture;
    } kStates[] = {
        {"Disconnected", Picture::Red},     {"Open", Picture::Blue},
        {"Listening", Picture::Yellow},     {"ConnectionPending", Picture::Yellow},
        {"ResolvingHost", Picture::Yellow}, {"HostResolved", Picture::Yellow},
        {"Connecting", Picture::Yellow},    {"Connected", Picture::Green},
        {"Closing", Picture::Red},          {"Error", Picture::Red},
    };
    if (state < 0 || state > 9)
        return;
    c_.lblState.setToolTip(kStates[state].tip);
    c_.lblState.setPicture(kStates[state].picture);
    if (state != sckConnected)
        c_.imgData.setPicture(kStates[state].picture);
}

void LinkController::Sck_DataArrival(const std::string& index, std::int32_t)
{
    std::string data;
    IgnoreErrors([&] { sck_.GetData(index, data); });
    if (iStep == 0)
        iStep = 8;
    if (!data.empty()) {
        iLevel = static_cast<std::int16_t>(iLevel + iStep);
        if (iLevel > 255) {
            iLevel = 255;
            iStep = static_cast<std::int16_t>(-iStep);
        } else if (iLevel < 1) {
            iLevel = 0;
            iStep = static_cast<std::int16_t>(-iStep);
        }
        IgnoreErrors([&] { c_.shapeRate.setBackColor(platform::RGB(0, iLevel, iLevel)); });
        IgnoreErrors([&] { c_.lblRate.setCaption(platform::Format(static_cast<double>(data.size()), "0000")); });
        IgnoreErrors([&] {
            if (c_.lstStrips.listCount() > 0) {
                const char last = c_.lblRate.caption().back();
                if (last >= '0' && last <= '3')
                    c_.imgData.setPicture(Picture::Green);
                else if (last >= '4' && last <= '7')
                    c_.imgData.setPicture(Picture::Blue);
                else if (last == '8' || last == '9')
                    c_.imgData.setPicture(Picture::Yellow);
            }
        });
        IgnoreErrors([&] { c_.imgData.setToolTip("Rate: " + c_.lblRate.caption()); });
    }
    lNoDataCount_ = 0;
    IgnoreErrors([&] {
        auto strips = traffic_.Elabora(data, [this] { return c_.lstStrips.text(); });
        if (strips && hooks_.applyStrips)
            hooks_.applyStrips(*strips);
    });

    if (platform::UCase(data).find("SECONDARY LINKAR") != std::string::npos) {
        if (bLoggedIn) {
            hooks_.sleep(100);
            const auto& g = shell::globals();
            IgnoreErrors([&] { sck_.SendData(index, IdentificationLine(g.sAppName, g.sVersion)); });
            hooks_.sleep(100);
        }
        hooks_.doEvents();
    } else if (data.find(kRefusal) != std::string::npos) {
        IgnoreErrors([&] { NotSecondary(); });
    } else {
        hooks_.doEvents();
    }
}

void LinkController::NotSecondary()
{
    log("NotSecondary");
    c_.lblError.setCaption("Gonio cannot act as Linkar Primary Connection;");
    c_.tmrStatus.setEnabled(false);
    hooks_.sleep(1000);
    DisableApp();
    if (hooks_.showSetupWindow)
        hooks_.showSetupWindow();
    if (hooks_.unloadWindow)
        hooks_.unloadWindow();
}

void LinkController::DisableApp()
{
    const auto& g = shell::globals();
    IgnoreErrors([&] { hooks_.doEvents(); });
    IgnoreErrors([&] { log("DisableApp"); });
    IgnoreErrors([&] { c_.tmrStatus.setEnabled(false); });
    bLoggedIn = false;
    IgnoreErrors([&] {
        shell::WriteIniValue(g.sConfigFile, "Setup", "LastX", platform::Format(hooks_.windowLeft(), "000000000000"));
    });
    IgnoreErrors([&] {
        shell::WriteIniValue(g.sConfigFile, "Setup", "LastY", platform::Format(hooks_.windowTop(), "000000000000"));
    });
    IgnoreErrors([&] { sck_.CloseSck(g.sServerName); });
    IgnoreErrors([&] { hooks_.doEvents(); });
}

void LinkController::Sck_CloseSck(const std::string& index)
{
    log("Socket Closed");
    IgnoreErrors([&] { sck_.CloseSck(index); });
    IgnoreErrors([&] { sck_.SetTag(index, ""); });
    log("Connection closed");
    UpdateState();
    hooks_.updateIcon("Disconnected");
}

void LinkController::Sck_Error(const std::string& index, std::int16_t, const std::string& Description)
{
    log("Socket Error " + Description);
    if (Description == "Connection refused.")
        hooks_.updateIcon(Description + "\r\nLinkar not Started ?");
    IgnoreErrors([&] { sck_.CloseSck(index); });
    IgnoreErrors([&] { sck_.SetTag(index, ""); });
    hooks_.sleep(500);
    hooks_.doEvents();
    UpdateState();
}

void LinkController::cmdConnect_Click()
{
    bLoggedIn = false;
    TryToConnect();
    UpdateState();
}

void LinkController::cmdClose_Click()
{
    c_.chkAutoConnect.setValue(0);
    IgnoreErrors([&] { sck_.CloseSck(shell::globals().sServerName); });
    bLoggedIn = false;
}

} // namespace quadrantel::link
