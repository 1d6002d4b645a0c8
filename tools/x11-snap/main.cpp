// Finds a top-level window by the beginning of its title, prints the title and saves what the
// window shows as a PNG: how the demo lets a user of a machine without a screen see the program.
#include <QImage>
#include <QString>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int IgnoreXErrors(Display*, XErrorEvent*)
{
    return 0;
}

std::string Title(Display* d, Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 4096, False,
                           XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after, &data) == Success &&
        data && format == 8)
        title.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

std::vector<Window> Children(Display* d, Window w)
{
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    std::vector<Window> result;
    if (XQueryTree(d, w, &root, &parent, &kids, &n) && kids) {
        result.assign(kids, kids + n);
        XFree(kids);
    }
    return result;
}

// Top-level windows and, under a window manager, the program windows inside their frames.
Window Find(Display* d, Window parent, const std::string& prefix, int depth)
{
    const auto kids = Children(d, parent);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, *it, &a) || a.map_state != IsViewable)
            continue;
        if (Title(d, *it).starts_with(prefix))
            return *it;
        if (depth > 0)
            if (Window w = Find(d, *it, prefix, depth - 1))
                return w;
    }
    return 0;
}

bool Save(Display* d, Window w, const char* file)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return false;
    // The server gives pictures only of the part of a window that lies on the screen.
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    const int left = std::max(0, -x), top = std::max(0, -y);
    const int width = std::min(a.width, DisplayWidth(d, DefaultScreen(d)) - x) - left;
    const int height = std::min(a.height, DisplayHeight(d, DefaultScreen(d)) - y) - top;
    if (width <= 0 || height <= 0)
        return false;
    XImage* image =
        XGetImage(d, w, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    a.width = width;
    a.height = height;
    QImage out(a.width, a.height, QImage::Format_RGB32);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const auto channel = [&](unsigned long mask) {
                if (!mask)
                    return 0;
                int shift = 0;
                while (!((mask >> shift) & 1))
                    ++shift;
                const unsigned long max = mask >> shift;
                return static_cast<int>(((p & mask) >> shift) * 255 / max);
            };
            out.setPixel(x, y, qRgb(channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask)));
        }
    XDestroyImage(image);
    return out.save(QString::fromLocal8Bit(file), "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    std::string prefix;
    const char* png = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--title-prefix") && i + 1 < argc)
            prefix = argv[++i];
        else if (!std::strcmp(argv[i], "--png") && i + 1 < argc)
            png = argv[++i];
        else {
            std::fprintf(stderr, "usage: x11-snap --title-prefix TEXT [--png FILE]\n"
                                 "Prints the title of the first top-level window whose title begins with TEXT\n"
                                 "and saves its picture; exits 1 when there is none.\n");
            return 2;
        }
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "x11-snap: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreXErrors);
    const Window w = Find(d, DefaultRootWindow(d), prefix, 2);
    int result = 1;
    if (w) {
        std::printf("%s\n", Title(d, w).c_str());
        result = 0;
        if (png && !Save(d, w, png)) {
            std::fprintf(stderr, "x11-snap: cannot save %s\n", png);
            result = 2;
        }
    }
    XCloseDisplay(d);
    return result;
}
