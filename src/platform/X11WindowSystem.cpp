#include "platform/WindowSystem.h"

#include <QString>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace quadrantel::platform {
namespace {

// Windows of other programs vanish at any moment; Xlib's default handler would end the
// program on the resulting BadWindow. Failed requests report failure through their status instead.
int IgnoreXErrors(Display*, XErrorEvent*)
{
    return 0;
}

class X11WindowSystem final : public WindowSystem {
public:
    X11WindowSystem(Display* display, xcb_connection_t* xcb)
        : display_(display), xcb_(xcb), root_(DefaultRootWindow(display)),
          clientListStacking_(XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False)),
          netWmName_(XInternAtom(display, "_NET_WM_NAME", False)),
          utf8String_(XInternAtom(display, "UTF8_STRING", False)), wmState_(XInternAtom(display, "WM_STATE", False))
    {
    }
    ~X11WindowSystem() override
    {
        xcb_disconnect(xcb_);
        XCloseDisplay(display_);
    }

    HWND desktop() const override { return root_; }

    std::vector<HWND> children(HWND parent) const override
    {
        if (parent == root_)
            return topLevel();
        std::vector<HWND> kids = queryChildren(parent);
        std::reverse(kids.begin(), kids.end()); // XQueryTree lists bottom first
        return kids;
    }

    HWND parent(HWND window) const override
    {
        if (window == root_)
            return 0;
        ::Window root = 0, parent = 0, *kids = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &kids, &count))
            return 0;
        if (kids)
            XFree(kids);
        // A managed window sits inside its frame but counts as top-level.
        return parent == root_ || isClient(window) ? root_ : parent;
    }

    std::string className(HWND window) const override
    {
        XClassHint hint{nullptr, nullptr};
        if (!XGetClassHint(display_, window, &hint))
            return {};
        std::string name = hint.res_class ? hint.res_class : "";
        if (hint.res_name)
            XFree(hint.res_name);
        if (hint.res_class)
            XFree(hint.res_class);
        return name;
    }

    std::string text(HWND window) const override { return texts({window}).front(); }

    std::vector<std::string> captions(const std::vector<HWND>& windows) const override { return texts(windows); }

    bool rect(HWND window, Rect& out) const override
    {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window, &attributes))
            return false;
        int x = 0, y = 0;
        ::Window child = 0;
        if (!XTranslateCoordinates(display_, window, root_, 0, 0, &x, &y, &child))
            return false;
        out = Rect{x, y, x + attributes.width, y + attributes.height};
        return true;
    }

private:
    struct Property {
        xcb_atom_t type = XCB_NONE;
        std::uint8_t format = 0;
        std::string value;
    };

    // Requests go out together and the replies are collected after: one wait for the lot
    // instead of one per window. Nothing for a window that is gone.
    std::vector<std::optional<Property>> properties(const std::vector<HWND>& windows, Atom property, Atom type,
                                                    std::uint32_t length) const
    {
        std::vector<xcb_get_property_cookie_t> cookies;
        cookies.reserve(windows.size());
        for (HWND window : windows)
            cookies.push_back(xcb_get_property(xcb_, 0, static_cast<xcb_window_t>(window),
                                               static_cast<xcb_atom_t>(property), static_cast<xcb_atom_t>(type), 0,
                                               length));
        std::vector<std::optional<Property>> out(windows.size());
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            xcb_generic_error_t* error = nullptr; // taken here, or it would queue up as an event nobody reads
            xcb_get_property_reply_t* reply = xcb_get_property_reply(xcb_, cookies[i], &error);
            std::free(error);
            if (!reply)
                continue;
            const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
            const int size = xcb_get_property_value_length(reply);
            out[i] =
                Property{reply->type, reply->format, std::string(data, static_cast<std::size_t>(std::max(size, 0)))};
            std::free(reply);
        }
        return out;
    }

    // Children of each window, bottom first like XQueryTree; empty for a window that is gone.
    std::vector<std::vector<HWND>> trees(const std::vector<HWND>& windows) const
    {
        std::vector<xcb_query_tree_cookie_t> cookies;
        cookies.reserve(windows.size());
        for (HWND window : windows)
            cookies.push_back(xcb_query_tree(xcb_, static_cast<xcb_window_t>(window)));
        std::vector<std::vector<HWND>> out(windows.size());
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            xcb_generic_error_t* error = nullptr;
            xcb_query_tree_reply_t* reply = xcb_query_tree_reply(xcb_, cookies[i], &error);
            std::free(error);
            if (!reply)
                continue;
            const xcb_window_t* kids = xcb_query_tree_children(reply);
            out[i].assign(kids, kids + xcb_query_tree_children_length(reply));
            std::free(reply);
        }
        return out;
    }

    std::vector<bool> areClients(const std::vector<HWND>& windows) const
    {
        const auto states = properties(windows, wmState_, XCB_GET_PROPERTY_TYPE_ANY, 0);
        std::vector<bool> out(windows.size());
        for (std::size_t i = 0; i < states.size(); ++i)
            out[i] = states[i] && states[i]->type != XCB_NONE;
        return out;
    }

    // A text property of 8-bit characters, as the window's name is stored.
    static bool IsText(const std::optional<Property>& p) { return p && p->type != XCB_NONE && p->format == 8; }

    std::vector<std::string> texts(const std::vector<HWND>& windows) const
    {
        std::vector<std::string> out(windows.size());
        const auto utf8 = properties(windows, netWmName_, utf8String_, 65536);
        std::vector<HWND> rest;
        std::vector<std::size_t> restAt;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            if (IsText(utf8[i])) {
                const std::string& name = utf8[i]->value;
                out[i] = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toLatin1().toStdString();
            } else {
                rest.push_back(windows[i]);
                restAt.push_back(i);
            }
        }
        const auto plain = properties(rest, XA_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 65536);
        for (std::size_t k = 0; k < rest.size(); ++k)
            if (IsText(plain[k]))
                out[restAt[k]] = plain[k]->value;
        return out;
    }

    std::vector<HWND> queryChildren(HWND parent) const
    {
        ::Window root = 0, up = 0, *kids = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, parent, &root, &up, &kids, &count))
            return {};
        std::vector<HWND> result(kids, kids + count);
        if (kids)
            XFree(kids);
        return result;
    }

    std::vector<HWND> topLevel() const
    {
        std::vector<HWND> windows;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        // With a window manager, its stacking list holds the program windows rather than their frames.
        if (XGetWindowProperty(display_, root_, clientListStacking_, 0, 65536, False, XA_WINDOW, &type, &format, &count,
                               &after, &data) == Success &&
            data && type == XA_WINDOW && format == 32) {
            const auto* ids = reinterpret_cast<const unsigned long*>(data);
            windows.assign(ids, ids + count);
        }
        if (data)
            XFree(data);
        if (windows.empty())
            windows = clientsOf(queryChildren(root_));
        std::reverse(windows.begin(), windows.end()); // both lists run bottom to top
        return windows;
    }

    bool isClient(HWND window) const
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool ok = XGetWindowProperty(display_, window, wmState_, 0, 0, False, AnyPropertyType, &type, &format,
                                           &count, &after, &data) == Success;
        if (data)
            XFree(data);
        return ok && type != None;
    }

    // For each frame the program window inside it (breadth first, two levels down), or the
    // frame itself; all frames a level at a time.
    std::vector<HWND> clientsOf(const std::vector<HWND>& frames) const
    {
        constexpr int kLevels = 2; // children and grandchildren
        std::vector<HWND> out = frames;
        const std::vector<bool> framed = areClients(frames);
        std::vector<std::size_t> open; // frames still searched
        for (std::size_t i = 0; i < frames.size(); ++i)
            if (!framed[i])
                open.push_back(i);
        std::vector<HWND> parents;
        parents.reserve(open.size());
        for (std::size_t i : open)
            parents.push_back(frames[i]);
        std::vector<std::vector<HWND>> levels = trees(parents);
        for (int depth = 0; depth < kLevels && !open.empty(); ++depth) {
            std::vector<HWND> all;
            for (const auto& level : levels)
                all.insert(all.end(), level.begin(), level.end());
            const std::vector<bool> clients = areClients(all);
            std::vector<std::size_t> stillOpen;
            std::vector<std::vector<HWND>> stillLevels;
            std::size_t at = 0;
            for (std::size_t f = 0; f < open.size(); ++f) {
                const auto& level = levels[f];
                const auto first = std::find(clients.begin() + static_cast<std::ptrdiff_t>(at),
                                             clients.begin() + static_cast<std::ptrdiff_t>(at + level.size()), true);
                const auto index = static_cast<std::size_t>(first - clients.begin());
                at += level.size();
                if (index < at) {
                    out[open[f]] = all[index];
                } else if (!level.empty() && depth + 1 < kLevels) {
                    stillOpen.push_back(open[f]);
                    stillLevels.push_back(level);
                }
            }
            if (stillOpen.empty())
                break;
            // The next level of each frame: the children of its windows, in the order of the level.
            std::vector<HWND> grown;
            for (const auto& level : stillLevels)
                grown.insert(grown.end(), level.begin(), level.end());
            const auto kids = trees(grown);
            levels.assign(stillLevels.size(), {});
            std::size_t k = 0;
            for (std::size_t f = 0; f < stillLevels.size(); ++f)
                for (std::size_t n = 0; n < stillLevels[f].size(); ++n, ++k)
                    levels[f].insert(levels[f].end(), kids[k].begin(), kids[k].end());
            open.swap(stillOpen);
        }
        return out;
    }

    Display* display_;
    xcb_connection_t* xcb_; // a second connection for requests sent together
    ::Window root_;
    Atom clientListStacking_;
    Atom netWmName_;
    Atom utf8String_;
    Atom wmState_;
};

} // namespace

std::unique_ptr<WindowSystem> OpenX11WindowSystem(const char* displayName)
{
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return nullptr;
    xcb_connection_t* xcb = xcb_connect(displayName, nullptr);
    if (xcb_connection_has_error(xcb)) {
        xcb_disconnect(xcb);
        XCloseDisplay(display);
        return nullptr;
    }
    XSetErrorHandler(IgnoreXErrors);
    return std::make_unique<X11WindowSystem>(display, xcb);
}

} // namespace quadrantel::platform
