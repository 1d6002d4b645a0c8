#pragma once

#include "platform/Controls.h"
#include "traffic/TrafficTable.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quadrantel::link {

class LinkData;

// What the link needs of the window's socket object.
class LinkSocket {
public:
    virtual ~LinkSocket() = default;
    virtual int state(const std::string& index) = 0;
    virtual void Connect(const std::string& index, const std::string& host, const std::string& port) = 0;
    virtual void SendData(const std::string& index, const std::string& data) = 0;
    virtual void GetData(const std::string& index, std::string& data) = 0;
    virtual void CloseSck(const std::string& index) = 0;
    virtual void SetTag(const std::string& index, const std::string& tag) = 0;
};

// The socket object's events the link handles.
struct LinkEvents {
    std::function<void(const std::string& index, std::int32_t bytesTotal)> dataArrival;
    std::function<void(const std::string& index)> closed;
    std::function<void(const std::string& index, std::int16_t number, const std::string& description)> error;
};

// Socket states as the socket object reports them.
enum SocketState {
    sckClosed = 0,
    sckOpen,
    sckListening,
    sckConnectionPending,
    sckResolvingHost,
    sckHostResolved,
    sckConnecting,
    sckConnected,
    sckClosing,
    sckError
};

// The one connection to the network's interface program: connect, secondary login,
// identification, state display and the received data.
class LinkController {
public:
    struct Controls {
        platform::Button& cmdConnect;
        platform::Button& cmdClose;
        platform::CheckBox& chkAutoConnect;
        platform::Image& lblState;
        platform::Image& imgData;
        platform::Label& lblRate;
        platform::Shape& shapeRate;
        platform::Label& lblError;
        platform::ListBox& lstStrips;
        platform::Timer& tmrStatus;
    };

    struct Hooks {
        std::function<void()> checkAutoConnect;
        std::function<void(const std::string&)> updateIcon;
        std::function<void(const traffic::StripList&)> applyStrips;
        std::function<float()> windowLeft; // twips
        std::function<float()> windowTop;
        std::function<void()> showSetupWindow;
        std::function<void()> unloadWindow;
        std::function<void(int)> sleep;        // blocks without running the event loop
        std::function<void(int)> pumpingSleep; // waits while the event loop runs
        std::function<void()> doEvents;
        // True once the window is on its way out; a handler that waited stops there.
        std::function<bool()> closing;
    };

    LinkController(Controls controls, LinkSocket& sck, LinkData& data, Hooks hooks);

    bool TryToConnect();
    void LoginLinkar();
    void UpdateState();
    void NotSecondary();
    void DisableApp();
    // A quiet check of the speaker cycle: the third in a row that saw no new data block gives
    // the no-data message (and, after a transmission, the red data light).
    void NoDataCheck(bool redDataLight);

    void Sck_DataArrival(const std::string& index, std::int32_t bytesTotal);
    void Sck_CloseSck(const std::string& index);
    void Sck_Error(const std::string& index, std::int16_t Number, const std::string& Description);

    void cmdConnect_Click();
    void cmdClose_Click();
    void tmrUpdate_Timer() { UpdateState(); }

    // The login and identification lines for the current settings.
    static std::string LoginLine(const std::string& appName, const std::string& vid);
    static std::string IdentificationLine(const std::string& appName, const std::string& version);

    bool bLoggedIn = false;
    std::int32_t lNoDataCount = 0; // quiet checks in a row without new data
    std::int16_t iLevel = 0;
    std::int16_t iStep = 0;

private:
    void log(const std::string& line) const;
    void showState(int state);
    // Shows a message of the link's own, in place of whatever it showed before.
    void showMessage(const std::string& message);
    bool pump(const std::function<void()>& wait);
    bool closing() const { return hooks_.closing && hooks_.closing(); }
    std::string serverText(const std::string& block);

    Controls c_;
    LinkSocket& sck_;
    LinkData& data_;
    Hooks hooks_;
    bool connecting_ = false;
    std::string partialLine_;   // the unfinished last line of the previous block, shortened
    std::string serverError_;   // the text of the server's last error line on this connection
    bool refusalShown_ = false; // the status line shows the server's error text of a past connection
};

} // namespace quadrantel::link
