// Plain Xlib windows for the simulators: the window tree, classes and texts are exactly what
// is asked for, since programs that inspect them from outside rely on them.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <sstream>
#include <string>
#include <sys/select.h>
#include <unistd.h>
#include <vector>

namespace simx {

struct Box {
    int x, y;
    unsigned width, height;
};

// Texts are Latin-1 in WM_NAME; _NET_WM_NAME carries the same text as UTF-8.
// A number given on the command line, with a point whatever the locale (atof would read
// "1.5" as 1 under de_DE); the fallback when it is none.
inline double Number(const std::string& text, double fallback = 0)
{
    double v = fallback;
    const char* first = text.data();
    if (!text.empty() && *first == '+')
        ++first;
    const auto r = std::from_chars(first, text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() ? v : fallback;
}

// The non-empty items of a comma-separated option value.
inline std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ','))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

inline std::string Utf8(const std::string& latin1)
{
    std::string out;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline void SetText(Display* d, Window w, const std::string& text)
{
    XStoreName(d, w, text.c_str());
    const std::string utf8 = Utf8(text);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
    XClearArea(d, w, 0, 0, 0, 0, True); // redraw with the new text
}

inline Window Open(Display* d, Window parent, const std::string& className, const std::string& text, Box b,
                   unsigned long background = 0xF0F0F0)
{
    const Window w = XCreateSimpleWindow(d, parent, b.x, b.y, b.width, b.height, parent == DefaultRootWindow(d) ? 0 : 1,
                                         0x808080, background);
    std::string instance = "simulator";
    std::string klass = className;
    XClassHint hint{instance.data(), klass.data()};
    XSetClassHint(d, w, &hint);
    if (parent == DefaultRootWindow(d)) {
        XSizeHints size{};
        size.flags = USPosition | PPosition;
        size.x = b.x;
        size.y = b.y;
        XSetWMNormalHints(d, w, &size);
        Atom close = XInternAtom(d, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(d, w, &close, 1);
    }
    SetText(d, w, text);
    XSelectInput(d, w, ExposureMask | ButtonPressMask | StructureNotifyMask);
    return w;
}

inline std::string TextOf(Display* d, Window w)
{
    char* name = nullptr;
    std::string text;
    if (XFetchName(d, w, &name) && name) {
        text = name;
        XFree(name);
    }
    return text;
}

// Draws the window's own text, one line per line, last lines kept when they do not fit.
inline void DrawText(Display* d, Window w, GC gc, bool centred = false)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return;
    const std::string text = TextOf(d, w);
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        const auto end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    const int lineHeight = 14;
    const int fit = std::max(1, (a.height - 4) / lineHeight);
    const std::size_t first = lines.size() > static_cast<std::size_t>(fit) ? lines.size() - fit : 0;
    int y = centred ? (a.height + 10) / 2 : 14;
    for (std::size_t i = first; i < lines.size(); ++i, y += lineHeight) {
        const int x = centred ? std::max(2, (a.width - 6 * static_cast<int>(lines[i].size())) / 2) : 4;
        XDrawString(d, w, gc, x, y, lines[i].c_str(), static_cast<int>(lines[i].size()));
    }
}

inline volatile std::sig_atomic_t g_stop = 0;
inline void RequestStop(int)
{
    g_stop = 1;
}
inline void StopOnSignals()
{
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGINT, RequestStop);
    std::signal(SIGHUP, RequestStop);
    std::signal(SIGPIPE, SIG_IGN);
}

// Waits for X events or input on fd (-1: none) at most timeoutMs; returns true when fd is readable.
inline bool Wait(Display* d, int fd, int timeoutMs)
{
    if (XPending(d) > 0)
        return false;
    fd_set set;
    FD_ZERO(&set);
    const int x = ConnectionNumber(d);
    FD_SET(x, &set);
    if (fd >= 0)
        FD_SET(fd, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = select(std::max(x, fd) + 1, &set, nullptr, nullptr, &tv);
    return n > 0 && fd >= 0 && FD_ISSET(fd, &set);
}

// Reads whole lines from a non-blocking descriptor; returns false at end of input.
inline bool ReadLines(int fd, std::string& pending, std::vector<std::string>& lines)
{
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0)
        return false;
    if (n > 0)
        pending.append(buffer, static_cast<std::size_t>(n));
    std::string::size_type end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return true;
}

} // namespace simx
