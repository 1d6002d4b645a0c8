#include "platform/WindowSystem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace quadrantel::platform {

std::vector<std::string> WindowSystem::captions(const std::vector<HWND>& windows) const
{
    std::vector<std::string> out;
    out.reserve(windows.size());
    for (HWND window : windows)
        out.push_back(caption(window));
    return out;
}

// ---- in-memory desktop ----

InMemoryWindowSystem::InMemoryWindowSystem()
{
    windows_[kDesktop] = Window{};
}

HWND InMemoryWindowSystem::add(HWND parent, std::string className, std::string text, Rect rect, bool foreign)
{
    if (parent == 0)
        parent = kDesktop;
    auto owner = windows_.find(parent);
    if (owner == windows_.end())
        throw std::invalid_argument("no such parent window");
    const HWND handle = next_++;
    owner->second.children.push_back(handle);
    windows_[handle] = Window{parent, std::move(className), std::move(text), rect, foreign, {}};
    return handle;
}

void InMemoryWindowSystem::setText(HWND window, std::string text)
{
    auto found = windows_.find(window);
    if (found != windows_.end() && window != kDesktop)
        found->second.text = std::move(text);
}

void InMemoryWindowSystem::remove(HWND window)
{
    auto found = windows_.find(window);
    if (found == windows_.end() || window == kDesktop)
        return;
    const std::vector<HWND> kids = found->second.children;
    for (HWND child : kids)
        remove(child);
    auto& siblings = windows_[found->second.parent].children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    windows_.erase(window);
}

std::vector<HWND> InMemoryWindowSystem::children(HWND parent) const
{
    auto found = windows_.find(parent);
    return found == windows_.end() ? std::vector<HWND>{} : found->second.children;
}

HWND InMemoryWindowSystem::parent(HWND window) const
{
    auto found = windows_.find(window);
    return found == windows_.end() ? 0 : found->second.parent;
}

std::string InMemoryWindowSystem::className(HWND window) const
{
    auto found = windows_.find(window);
    return found == windows_.end() ? std::string() : found->second.className;
}

std::string InMemoryWindowSystem::text(HWND window) const
{
    auto found = windows_.find(window);
    return found == windows_.end() ? std::string() : found->second.text;
}

std::string InMemoryWindowSystem::caption(HWND window) const
{
    auto found = windows_.find(window);
    return found == windows_.end() || found->second.foreign ? std::string() : found->second.text;
}

bool InMemoryWindowSystem::rect(HWND window, Rect& out) const
{
    auto found = windows_.find(window);
    if (found == windows_.end())
        return false;
    out = found->second.rect;
    return true;
}

// ---- process-wide selection ----

std::unique_ptr<WindowSystem> MakeDefaultWindowSystem()
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
        if (auto x11 = OpenX11WindowSystem(display))
            return x11;
    }
    return std::make_unique<InMemoryWindowSystem>();
}

namespace {
std::unique_ptr<WindowSystem>& Installed()
{
    static std::unique_ptr<WindowSystem> system;
    return system;
}
} // namespace

WindowSystem& CurrentWindowSystem()
{
    auto& system = Installed();
    if (!system)
        system = MakeDefaultWindowSystem();
    return *system;
}

std::unique_ptr<WindowSystem> InstallWindowSystem(std::unique_ptr<WindowSystem> system)
{
    std::swap(Installed(), system);
    return system;
}

// ---- the desktop calls ----

namespace {

int CopyOut(const std::string& text, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    const int n = std::min<int>(static_cast<int>(std::min<size_t>(text.size(), INT32_MAX)), size - 1);
    std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

// Walks depth first; returns false when the callback asked to stop.
bool WalkDescendants(const WindowSystem& system, HWND parent, const WNDENUMPROC& proc, std::intptr_t lParam)
{
    for (HWND child : system.children(parent)) {
        if (!proc(child, lParam))
            return false;
        if (!WalkDescendants(system, child, proc, lParam))
            return false;
    }
    return true;
}

} // namespace

HWND FindWindowA(const char* className, const char* windowName)
{
    const WindowSystem& system = CurrentWindowSystem();
    for (HWND window : system.children(system.desktop())) {
        if (className && system.className(window) != className)
            continue;
        if (windowName && system.caption(window) != windowName)
            continue;
        return window;
    }
    return 0;
}

bool EnumWindows(const WNDENUMPROC& proc, std::intptr_t lParam)
{
    const WindowSystem& system = CurrentWindowSystem();
    // Taken up front, like a snapshot, so a callback that changes the desktop cannot derail the walk.
    for (HWND window : system.children(system.desktop()))
        if (!proc(window, lParam))
            return false;
    return true;
}

bool EnumChildWindows(HWND parent, const WNDENUMPROC& proc, std::intptr_t lParam)
{
    const WindowSystem& system = CurrentWindowSystem();
    return WalkDescendants(system, parent == 0 ? system.desktop() : parent, proc, lParam);
}

HWND GetWindow(HWND window, unsigned command)
{
    if (window == 0)
        return 0;
    const WindowSystem& system = CurrentWindowSystem();
    if (command == GW_CHILD) {
        const auto kids = system.children(window);
        return kids.empty() ? 0 : kids.front();
    }
    if (command == GW_HWNDNEXT) {
        const HWND parent = system.parent(window);
        if (parent == 0)
            return 0;
        const auto siblings = system.children(parent);
        auto found = std::find(siblings.begin(), siblings.end(), window);
        if (found != siblings.end() && std::next(found) != siblings.end())
            return *std::next(found);
    }
    return 0;
}

int GetWindowTextA(HWND window, char* buffer, int size)
{
    return CopyOut(window ? CurrentWindowSystem().caption(window) : std::string(), buffer, size);
}

std::vector<std::string> GetWindowTexts(const std::vector<HWND>& windows)
{
    return CurrentWindowSystem().captions(windows);
}

int GetClassNameA(HWND window, char* buffer, int size)
{
    return CopyOut(window ? CurrentWindowSystem().className(window) : std::string(), buffer, size);
}

bool GetWindowRect(HWND window, Rect* rect)
{
    return window && rect && CurrentWindowSystem().rect(window, *rect);
}

HWND GetDesktopWindow()
{
    return CurrentWindowSystem().desktop();
}

std::intptr_t SendMessageA(HWND window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (window == 0)
        return 0;
    if (message == WM_GETTEXTLENGTH)
        return static_cast<std::intptr_t>(CurrentWindowSystem().text(window).size());
    if (message == WM_GETTEXT) {
        const int size = static_cast<int>(std::min<std::uintptr_t>(wParam, INT32_MAX));
        return CopyOut(CurrentWindowSystem().text(window), reinterpret_cast<char*>(lParam), size);
    }
    return 0;
}

std::string GetTextByMessage(HWND window)
{
    const std::intptr_t length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return {};
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    const std::intptr_t copied =
        SendMessageA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<std::intptr_t>(buffer.data()));
    // The text may have shrunk between the two messages; never trust a count beyond the buffer.
    buffer.resize(static_cast<size_t>(std::clamp<std::intptr_t>(copied, 0, length)));
    return buffer;
}

#ifndef QUADRANTEL_HAVE_X11
std::unique_ptr<WindowSystem> OpenX11WindowSystem(const char*)
{
    return nullptr;
}
#endif

} // namespace quadrantel::platform
