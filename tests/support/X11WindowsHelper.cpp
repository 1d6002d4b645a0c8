// Opens X11 windows described like an in-memory desktop (see InMemoryWindowSystem::FromText),
// read from the file named by argv[1]: class -> WM_CLASS, text -> WM_NAME and _NET_WM_NAME,
// geometry relative to the parent. Prints "ready" once the server has them all and keeps them
// until its standard input closes.
#include "platform/WindowSystem.h"

#include <QString>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

using quadrantel::platform::HWND;
using quadrantel::platform::InMemoryWindowSystem;

namespace {

void Create(Display* display, ::Window parent, const InMemoryWindowSystem& model, HWND node)
{
    const auto kids = model.children(node);
    // A new window goes on top of its siblings: create bottom-most first.
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        quadrantel::platform::Rect r;
        model.rect(*it, r);
        const unsigned width = r.right > r.left ? static_cast<unsigned>(r.right - r.left) : 1;
        const unsigned height = r.bottom > r.top ? static_cast<unsigned>(r.bottom - r.top) : 1;
        const ::Window window = XCreateSimpleWindow(display, parent, r.left, r.top, width, height, 0, 0, 0);
        std::string className = model.className(*it);
        std::string instance = "helper";
        XClassHint hint{instance.data(), className.data()};
        XSetClassHint(display, window, &hint);
        const std::string text = model.text(*it);
        XStoreName(display, window, text.c_str());
        const QByteArray utf8 = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                        XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.constData()), static_cast<int>(utf8.size()));
        Create(display, window, model, *it);
        XMapWindow(display, window);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DESCRIPTION-FILE\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string description((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto model = InMemoryWindowSystem::FromText(description);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open display\n");
        return 1;
    }
    Create(display, DefaultRootWindow(display), *model, model->desktop());
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    XCloseDisplay(display);
    return 0;
}
