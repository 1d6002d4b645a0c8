#pragma once

#include "platform/WindowSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the ATC client shows in its windows, read from outside.
namespace quadrantel::atcclient {

enum class TowrixConnection {
    NotRunning,   // no main window: nothing to show
    NotConnected, // running, but no disconnect button
    Connected,
};

// The two questions the main window asks; an interface so window tests can answer them.
class AtcClient {
public:
    virtual ~AtcClient() = default;
    virtual TowrixConnection Connection() = 0;
    virtual std::string SelectedCallsign() = 0;
};

// Answers by probing the client's windows through the current window system.
class TowrixProbe final : public AtcClient {
public:
    TowrixConnection Connection() override;
    std::string SelectedCallsign() override;
};

// The main window found by the last search; 0 when none.
extern platform::HWND TowrixWindow;

TowrixConnection CheckTowrixConnection();
std::string GetTowrixCallsign();
// Direct children of start (the desktop when 0) whose class equals className, in window order;
// replaces the content of handles and returns the count.
int ListTopWindowsOfClass(std::vector<platform::HWND>& handles, platform::HWND start, std::string_view className);
std::string GetEditText(platform::HWND window);

} // namespace quadrantel::atcclient
