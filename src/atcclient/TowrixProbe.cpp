#include "atcclient/TowrixProbe.h"

#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

namespace quadrantel::atcclient {

using platform::HWND;

HWND TowrixWindow = 0;

namespace {

std::string ClassOf(HWND window)
{
    char buffer[255] = {};
    const int n = platform::GetClassNameA(window, buffer, static_cast<int>(sizeof buffer));
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string TitleOf(HWND window)
{
    char buffer[255] = {};
    const int n = platform::GetWindowTextA(window, buffer, static_cast<int>(sizeof buffer));
    return std::string(buffer, static_cast<std::size_t>(n));
}

// Direct children in window order, listed once: stepping from sibling to sibling lists them
// all again at every step, which freezes the window on a crowded desktop.
std::vector<HWND> ChildrenOf(HWND parent)
{
    return parent == 0 ? std::vector<HWND>{} : platform::CurrentWindowSystem().children(parent);
}

// First direct child, in window order, that satisfies the test; 0 when none.
template <typename Test> HWND FirstChild(HWND parent, Test test)
{
    for (HWND child : ChildrenOf(parent))
        if (test(child))
            return child;
    return 0;
}

HWND FirstChildOfClass(HWND parent, std::string_view className)
{
    return FirstChild(parent, [&](HWND child) { return ClassOf(child) == className; });
}

// The first top-level window whose title starts with "Towrix ". The titles are read together:
// one at a time, a crowded desktop delays the speaker cycle by a wait per window.
void SearchTowrixWindow()
{
    TowrixWindow = 0;
    platform::IgnoreErrors([] {
        const std::vector<HWND> windows = ChildrenOf(platform::GetDesktopWindow());
        const std::vector<std::string> titles = platform::GetWindowTexts(windows);
        for (std::size_t i = 0; i < windows.size() && i < titles.size(); ++i)
            if (titles[i].starts_with("Towrix ")) {
                TowrixWindow = windows[i];
                return;
            }
    });
}

} // namespace

TowrixConnection CheckTowrixConnection()
{
    SearchTowrixWindow();
    if (TowrixWindow == 0)
        return TowrixConnection::NotRunning;
    const HWND toolBar = FirstChildOfClass(TowrixWindow, "ReBarWindow32");
    const HWND panel = toolBar ? FirstChildOfClass(toolBar, "#32770") : 0;
    const HWND button =
        panel ? FirstChild(panel,
                           [](HWND child) {
                               return ClassOf(child) == "Button" && TitleOf(child).find("DISCON") != std::string::npos;
                           })
              : 0;
    return button ? TowrixConnection::Connected : TowrixConnection::NotConnected;
}

std::string GetTowrixCallsign()
{
    SearchTowrixWindow();
    if (TowrixWindow == 0)
        return {};
    std::vector<HWND> dialogs;
    ListTopWindowsOfClass(dialogs, 0, "#32770");
    HWND commBox = 0;
    for (HWND dialog : dialogs) {
        if (TitleOf(dialog) == "COMMBox") {
            commBox = dialog;
            break;
        }
    }
    if (commBox == 0)
        return {};
    const HWND edit = FirstChild(commBox, [](HWND child) {
        platform::Rect rect;
        return ClassOf(child) == "Edit" && platform::GetWindowRect(child, &rect) && rect.right - rect.left == 70;
    });
    if (edit == 0)
        return {};
    char buffer[100] = {};
    const int n = platform::GetWindowTextA(edit, buffer, static_cast<int>(sizeof buffer));
    const std::string text = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : GetEditText(edit);
    return platform::Trim(text);
}

int ListTopWindowsOfClass(std::vector<HWND>& handles, HWND start, std::string_view className)
{
    handles.clear();
    const HWND parent = start == 0 ? platform::GetDesktopWindow() : start;
    for (HWND child : ChildrenOf(parent))
        if (ClassOf(child) == className)
            handles.push_back(child);
    return static_cast<int>(handles.size());
}

std::string GetEditText(HWND window)
{
    return platform::GetTextByMessage(window);
}

TowrixConnection TowrixProbe::Connection()
{
    return CheckTowrixConnection();
}

std::string TowrixProbe::SelectedCallsign()
{
    return GetTowrixCallsign();
}

} // namespace quadrantel::atcclient
