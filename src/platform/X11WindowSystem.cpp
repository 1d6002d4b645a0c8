#include "platform/WindowSystem.h"

#include <QString>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

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
    explicit X11WindowSystem(Display* display)
        : display_(display), root_(DefaultRootWindow(display)),
          clientListStacking_(XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False)),
          netWmName_(XInternAtom(display, "_NET_WM_NAME", False)),
          utf8String_(XInternAtom(display, "UTF8_STRING", False)), wmState_(XInternAtom(display, "WM_STATE", False))
    {
    }
    ~X11WindowSystem() override { XCloseDisplay(display_); }

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

    std::string text(HWND window) const override
    {
        std::string name;
        if (readProperty(window, netWmName_, utf8String_, name))
            return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toLatin1().toStdString();
        if (readProperty(window, XA_WM_NAME, AnyPropertyType, name))
            return name;
        return {};
    }

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
        if (windows.empty()) {
            windows = queryChildren(root_);
            for (HWND& window : windows)
                window = clientOf(window);
        }
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

    // The program window inside a frame (breadth first), or the window itself.
    HWND clientOf(HWND frame) const
    {
        if (isClient(frame))
            return frame;
        std::vector<HWND> level = queryChildren(frame);
        for (int depth = 0; depth < 2 && !level.empty(); ++depth) {
            std::vector<HWND> next;
            for (HWND window : level) {
                if (isClient(window))
                    return window;
                const auto kids = queryChildren(window);
                next.insert(next.end(), kids.begin(), kids.end());
            }
            level.swap(next);
        }
        return frame;
    }

    bool readProperty(HWND window, Atom property, Atom wanted, std::string& out) const
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool ok = XGetWindowProperty(display_, window, property, 0, 65536, False, wanted, &type, &format, &count,
                                           &after, &data) == Success &&
                        data && type != None && format == 8;
        if (ok)
            out.assign(reinterpret_cast<const char*>(data), count);
        if (data)
            XFree(data);
        return ok;
    }

    Display* display_;
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
    XSetErrorHandler(IgnoreXErrors);
    return std::make_unique<X11WindowSystem>(display);
}

} // namespace quadrantel::platform
