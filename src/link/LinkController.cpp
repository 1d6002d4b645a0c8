#include "link/LinkController.h"

#include "link/LinkData.h"
#include "net/Variant.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/Settings.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace quadrantel::link {

using platform::IgnoreErrors;
using platform::Picture;

namespace {

const char* const kRefusal = ":NO such VID / Password";
// Longer unfinished lines keep only their head: enough to tell whose they are.
constexpr std::size_t kPartialLine = 512;

// The first characters of a line as the framing reads it, without its LFs.
std::string Head(std::string_view line, std::size_t count)
{
    std::string head;
    for (std::size_t i = 0; i < line.size() && head.size() < count; ++i)
        if (line[i] != '\n')
            head += line[i];
    return head;
}

// Whose words a line carries. A packet relayed from another network user ("#XX" or "$XX"
// from a sender other than SERVER, a "%" or "@" position) may carry anything a stranger typed
// (text messages, flight plans, answers, ATIS); every other line, a bare text or a packet of
// the server, is the interface program's or the server's own.
enum class Origin { Undecided, Ours, Stranger };

Origin LineOrigin(std::string_view line)
{
    const std::string head = platform::UCase(Head(line, 10));
    if (head.empty())
        return Origin::Undecided;
    if (head[0] == '%' || head[0] == '@')
        return Origin::Stranger;
    if (head[0] != '#' && head[0] != '$')
        return Origin::Ours;
    if (head.size() < 10)
        return head.find(':') == std::string::npos ? Origin::Undecided : Origin::Stranger; // no room for SERVER
    const bool command =
        std::isalpha(static_cast<unsigned char>(head[1])) && std::isalpha(static_cast<unsigned char>(head[2]));
    return command && head.ends_with("SERVER:") ? Origin::Ours : Origin::Stranger;
}

// "$ER<from>:<to>:<number>:<argument>:<text>": the text, or the whole line when it has none.
std::string ErrorText(std::string_view line)
{
    std::string all = Head(line, line.size()).substr(3);
    std::size_t at = 0;
    for (int field = 0; field < 4; ++field) {
        const std::size_t colon = all.find(':', at);
        if (colon == std::string::npos)
            return all;
        at = colon + 1;
    }
    return at < all.size() ? all.substr(at) : all;
}

// The socket's own rule for a port: a number from 1 to 65535 as the program reads numbers
// (no hexadecimal, "nan" or "inf").
bool ValidPort(const std::string& port)
{
    const net::Variant text(port);
    if (!text.isNumeric())
        return false;
    const double v = text.toDouble();
    return v >= 1 && v <= 65535;
}

} // namespace

std::string LinkController::LoginLine(const std::string& appName, const std::string& vid)
{
    return "#AA" + appName + ":SERVER:" + appName + ":" + vid + ":XXXXXXXX:12:B\r\n";
}

std::string LinkController::IdentificationLine(const std::string& appName, const std::string& version)
{
    return "!C" + appName + ":SERVER:3:407162853:Gonio:" + version + ":52940817\r\n";
}

LinkController::LinkController(Controls controls, LinkSocket& sck, LinkData& data, Hooks hooks)
    : c_(controls), sck_(sck), data_(data), hooks_(std::move(hooks))
{
}

void LinkController::log(const std::string& line) const
{
    if (shell::globals().bDebug)
        shell::WriteLog(line);
}

bool LinkController::TryToConnect()
{
    if (closing())
        return false;
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
        if (!ValidPort(g.sPort)) {
            const std::string problem = "Invalid Linkar port \"" + g.sPort + "\": use a number from 1 to 65535";
            log(problem);
            showMessage(problem);
            return false;
        }
        data_.DropUnfinishedLine();
        partialLine_.clear();
        serverError_.clear();
        sck_.Connect(g.sServerName, g.sAddress, g.sPort);
        log("Connection " + g.sServerName + " - " + g.sAddress + ":" + g.sPort);
        // A retry does not wipe out why the server sent us away; its answer to this attempt does.
        if (!refusalShown_)
            hooks_.updateIcon("");
        for (int i = 0; i < 10; ++i) {
            if (!pump(hooks_.doEvents) || !pump([this] { hooks_.pumpingSleep(200); }) || !pump(hooks_.doEvents))
                return false;
            if (sck_.state(g.sServerName) == sckConnected)
                break;
        }
        if (sck_.state(g.sServerName) == sckConnected)
            return true;
        sck_.CloseSck(g.sServerName);
        log("Unable to connect to Linkar");
        showMessage("Unable to Connect to Linkar - " + g.sAddress + ":" + g.sPort);
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
    lNoDataCount = 0;
    IgnoreErrors([&] {
        auto strips = data_.Elabora(data, [this] { return c_.lstStrips.text(); });
        if (strips && hooks_.applyStrips)
            hooks_.applyStrips(*strips);
    });

    const std::string replies = serverText(data);
    if (platform::UCase(replies).find("SECONDARY LINKAR") != std::string::npos) {
        if (refusalShown_)
            showMessage(""); // accepted at last: the old refusal is history
        if (bLoggedIn) {
            hooks_.sleep(100);
            const auto& g = shell::globals();
            IgnoreErrors([&] { sck_.SendData(index, IdentificationLine(g.sAppName, g.sVersion)); });
            hooks_.sleep(100);
        }
        hooks_.doEvents();
    } else if (replies.find(kRefusal) != std::string::npos) {
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
    if (closing()) // the user closed it meanwhile; that unload brings the setup window
        return;
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

void LinkController::NoDataCheck(bool redDataLight)
{
    if (c_.lblError.tag() == c_.lblRate.caption())
        ++lNoDataCount;
    if (lNoDataCount < 3) {
        c_.lblError.setCaption("Waiting ... ");
    } else {
        c_.lblError.setCaption("No Network data - check Linkar/Towrix or restart Gonio !");
        lNoDataCount = 2;
        if (redDataLight)
            c_.imgData.setPicture(Picture::Red);
    }
    c_.lblError.setToolTip(c_.lblRate.caption());
    c_.lblError.setTag(c_.lblRate.caption());
}

void LinkController::Sck_CloseSck(const std::string& index)
{
    log("Socket Closed");
    IgnoreErrors([&] { sck_.CloseSck(index); });
    IgnoreErrors([&] { sck_.SetTag(index, ""); });
    log("Connection closed");
    // Taken before UpdateState, whose automatic reconnection starts the next connection afresh.
    const bool refused = !serverError_.empty();
    const std::string message = refused ? "Disconnected\r\n" + serverError_ : "Disconnected";
    UpdateState();
    showMessage(message);
    refusalShown_ = refused;
}

void LinkController::Sck_Error(const std::string& index, std::int16_t, const std::string& Description)
{
    log("Socket Error " + Description);
    if (Description == "Connection refused.")
        showMessage(Description + "\r\nLinkar not Started ?");
    IgnoreErrors([&] { sck_.CloseSck(index); });
    IgnoreErrors([&] { sck_.SetTag(index, ""); });
    hooks_.sleep(500);
    if (!pump(hooks_.doEvents))
        return;
    UpdateState();
}

void LinkController::showMessage(const std::string& message)
{
    refusalShown_ = false;
    hooks_.updateIcon(message);
}

bool LinkController::pump(const std::function<void()>& wait)
{
    wait();
    return !closing();
}

std::string LinkController::serverText(const std::string& block)
{
    // Cut the way the framing cuts (at CR LF, the previous block's unfinished line in front),
    // so a stranger cannot hide a reply behind a lone LF or a block boundary.
    const std::string text = partialLine_ + block;
    const std::size_t carried = partialLine_.size();
    std::string kept;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        const std::size_t stop = end == std::string::npos ? text.size() : end + 2;
        const std::string_view line = std::string_view(text).substr(start, std::min(end, text.size()) - start);
        if (LineOrigin(line) == Origin::Ours && stop > carried)
            kept.append(text, std::max(start, carried), stop - std::max(start, carried));
        if (end == std::string::npos) {
            partialLine_ = text.substr(start);
            if (partialLine_.size() > kPartialLine)
                partialLine_ = Head(partialLine_, 10) + '\x01' + (partialLine_.back() == '\r' ? "\r" : "");
            return kept;
        }
        if (Head(line, 3) == "$ER" && LineOrigin(line) == Origin::Ours) {
            serverError_ = ErrorText(line);
            log("Server error " + serverError_);
        }
        start = stop;
    }
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
