#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Windows of other programs, seen from outside: enumeration in window order, class names,
// texts and rectangles. The functions below keep the contracts of the desktop calls the
// program was designed with and work on the process-wide window system.
namespace quadrantel::platform {

using HWND = std::uintptr_t; // 0 = no window

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

constexpr unsigned WM_GETTEXT = 13;
constexpr unsigned WM_GETTEXTLENGTH = 14;
constexpr unsigned GW_HWNDNEXT = 2;
constexpr unsigned GW_CHILD = 5;

// A backend. Every query on a window that no longer exists answers "nothing" (empty list,
// empty text, false) rather than failing.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    virtual HWND desktop() const = 0;
    // Direct children in window order, topmost first; the desktop's children are the top-level windows.
    virtual std::vector<HWND> children(HWND parent) const = 0;
    // The window whose children list holds this one; 0 when it does not exist.
    virtual HWND parent(HWND window) const = 0;
    virtual std::string className(HWND window) const = 0;
    // The text another process reads by message.
    virtual std::string text(HWND window) const = 0;
    // The text GetWindowTextA sees; edit boxes of other processes hide theirs.
    virtual std::string caption(HWND window) const { return text(window); }
    // The captions of many windows, in the order given; a backend may fetch them together.
    virtual std::vector<std::string> captions(const std::vector<HWND>& windows) const;
    virtual bool rect(HWND window, Rect& out) const = 0;
};

// A desktop held in memory, for tests and as the empty desktop of a machine without a display.
class InMemoryWindowSystem final : public WindowSystem {
public:
    InMemoryWindowSystem();

    // One window per line, nesting by two blanks of indentation per level:
    //   <class> ["<text>"] [<width>x<height>[+<left>+<top>]] [foreign]
    // The text takes \" \\ \r \n \t escapes; "foreign" makes GetWindowTextA see no text, as with
    // an edit box of another process. Blank lines and lines starting with // are skipped.
    // Throws std::invalid_argument naming the line on malformed input. Built into the test
    // support library only; the program never describes a desktop in text.
    static std::unique_ptr<InMemoryWindowSystem> FromText(std::string_view description);

    // Adds a window as the last (bottom-most) child of parent; 0 means the desktop.
    HWND add(HWND parent, std::string className, std::string text, Rect rect = {}, bool foreign = false);
    void setText(HWND window, std::string text);
    // Removes the window and its descendants.
    void remove(HWND window);

    HWND desktop() const override { return kDesktop; }
    std::vector<HWND> children(HWND parent) const override;
    HWND parent(HWND window) const override;
    std::string className(HWND window) const override;
    std::string text(HWND window) const override;
    std::string caption(HWND window) const override;
    bool rect(HWND window, Rect& out) const override;

private:
    static constexpr HWND kDesktop = 0x10;
    struct Window {
        HWND parent = 0;
        std::string className;
        std::string text;
        Rect rect;
        bool foreign = false;
        std::vector<HWND> children;
    };
    std::map<HWND, Window> windows_;
    HWND next_ = kDesktop + 0x10;
};

// The X11 desktop of the given display (nullptr: $DISPLAY); nullptr when it cannot be opened
// or the program was built without X11.
std::unique_ptr<WindowSystem> OpenX11WindowSystem(const char* displayName = nullptr);

// X11 when $DISPLAY is set and the connection opens, otherwise an empty desktop.
std::unique_ptr<WindowSystem> MakeDefaultWindowSystem();

// The process-wide window system, created by MakeDefaultWindowSystem on first use.
WindowSystem& CurrentWindowSystem();
// Installs a window system and returns the previous one (nullptr restores the default on next use).
std::unique_ptr<WindowSystem> InstallWindowSystem(std::unique_ptr<WindowSystem> system);

// Installs a window system for the lifetime of the guard and puts the previous one back.
class ScopedWindowSystem {
public:
    explicit ScopedWindowSystem(std::unique_ptr<WindowSystem> system)
        : system_(system.get()), previous_(InstallWindowSystem(std::move(system)))
    {
    }
    ~ScopedWindowSystem() { InstallWindowSystem(std::move(previous_)); }
    ScopedWindowSystem(const ScopedWindowSystem&) = delete;
    ScopedWindowSystem& operator=(const ScopedWindowSystem&) = delete;
    WindowSystem& get() const { return *system_; }

private:
    WindowSystem* system_;
    std::unique_ptr<WindowSystem> previous_;
};

// Enumeration callbacks return false to stop.
using WNDENUMPROC = std::function<bool(HWND, std::intptr_t)>;

// First top-level window in window order whose class and title match; a null argument matches any.
HWND FindWindowA(const char* className, const char* windowName);
// Top-level windows in window order; returns false when the callback stopped the walk.
bool EnumWindows(const WNDENUMPROC& proc, std::intptr_t lParam);
// Every descendant of parent, each child followed by its own descendants; parent 0 walks the
// top-level windows and theirs.
bool EnumChildWindows(HWND parent, const WNDENUMPROC& proc, std::intptr_t lParam);
// GW_CHILD: topmost child; GW_HWNDNEXT: next sibling below; 0 when there is none.
HWND GetWindow(HWND window, unsigned command);
// Copy at most size - 1 characters and a terminating zero; return the count copied.
int GetWindowTextA(HWND window, char* buffer, int size);
// The whole texts GetWindowTextA sees of many windows, read together.
std::vector<std::string> GetWindowTexts(const std::vector<HWND>& windows);
int GetClassNameA(HWND window, char* buffer, int size);
bool GetWindowRect(HWND window, Rect* rect);
HWND GetDesktopWindow();
// WM_GETTEXTLENGTH returns the text length; WM_GETTEXT copies at most wParam - 1 characters
// and a zero into the buffer at lParam and returns the count copied. Other messages return 0.
std::intptr_t SendMessageA(HWND window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// A window's whole text read by WM_GETTEXTLENGTH and WM_GETTEXT; "" when it has none.
std::string GetTextByMessage(HWND window);

} // namespace quadrantel::platform
