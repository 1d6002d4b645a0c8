#include "platform/WindowSystem.h"

#include "atcclient/TowrixProbe.h"
#include "support/TempDir.h"
#include "support/Wait.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace quadrantel;
using platform::HWND;

namespace {

// Reads the display number Xvfb writes to the -displayfd pipe once it accepts connections.
std::string ReadDisplayNumber(int fd, int timeoutMs)
{
    std::string number;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return number;
        number += c;
    }
    return {};
}

class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            GTEST_SKIP() << "Xvfb is not installed; the X11 window system is not tested";
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        server.setProgram(xvfb);
        server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1024x768x24")});
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start();
        ::close(fds[1]);
        const std::string number = ReadDisplayNumber(fds[0], 20000);
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not report a display";
        display = ":" + number;
    }

    void TearDown() override
    {
        for (QProcess* process : {&helper, &server}) {
            if (process->state() != QProcess::NotRunning) {
                process->closeWriteChannel();
                process->terminate();
                if (!process->waitForFinished(5000)) {
                    process->kill();
                    process->waitForFinished(5000);
                }
            }
        }
    }

    void OpenWindows(const std::string& description)
    {
        test::WriteFile(dir.file("desktop"), description);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display));
        helper.setProcessEnvironment(environment);
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(X11_WINDOWS_HELPER), {QString::fromStdString(dir.file("desktop"))});
        ASSERT_TRUE(
            test::WaitUntil([&] { return helper.canReadLine() || helper.state() == QProcess::NotRunning; }, 20000));
        ASSERT_EQ(helper.readLine().trimmed(), "ready");
    }

    QProcess server;
    QProcess helper;
    std::string display;
    test::TempDir dir;
};

} // namespace

TEST_F(X11Desktop, ProbesWindowsOfAnotherProcess)
{
    OpenWindows("TowrixMain \"Towrix 1.2 - Z\xfcrich\" 600x400+0+0\n"
                "  ReBarWindow32 \"\" 600x30\n"
                "    #32770 \"\" 300x30\n"
                "      Button \"Connect\" 60x20\n"
                "      Button \"DISCONNECT\" 60x20+70+0\n"
                "#32770 \"COMMBox\" 300x200+100+100\n"
                "  Edit \"QNH 1013\" 71x20\n"
                "  Edit \" DLH123 \" 70x20+10+40\n"
                "Other \"Towrix 2\" 10x10\n");

    platform::ScopedWindowSystem guard(platform::OpenX11WindowSystem(display.c_str()));
    const platform::WindowSystem& x11 = guard.get();
    const auto top = x11.children(x11.desktop());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(x11.className(top[0]), "TowrixMain");
    EXPECT_EQ(x11.text(top[0]), "Towrix 1.2 - Z\xfcrich");
    EXPECT_EQ(x11.className(top[1]), "#32770");
    EXPECT_EQ(x11.text(top[2]), "Towrix 2");
    EXPECT_EQ(platform::FindWindowA("#32770", "COMMBox"), top[1]);

    const HWND edit = platform::GetWindow(platform::GetWindow(top[1], platform::GW_CHILD), platform::GW_HWNDNEXT);
    platform::Rect rect;
    ASSERT_TRUE(platform::GetWindowRect(edit, &rect));
    EXPECT_EQ(rect.left, 110);
    EXPECT_EQ(rect.top, 140);
    EXPECT_EQ(rect.right - rect.left, 70);
    EXPECT_EQ(platform::GetTextByMessage(edit), " DLH123 ");

    EXPECT_EQ(atcclient::CheckTowrixConnection(), atcclient::TowrixConnection::Connected);
    EXPECT_EQ(atcclient::TowrixWindow, top[0]);
    EXPECT_EQ(atcclient::GetTowrixCallsign(), "DLH123");

    // The windows vanish with their program: stale handles answer nothing instead of failing.
    helper.closeWriteChannel();
    ASSERT_TRUE(helper.waitForFinished(10000));
    ASSERT_TRUE(test::WaitUntil([&] { return x11.children(x11.desktop()).empty(); }));
    EXPECT_EQ(x11.className(edit), "");
    EXPECT_FALSE(platform::GetWindowRect(edit, &rect));
    EXPECT_EQ(platform::GetTextByMessage(edit), "");
    EXPECT_EQ(atcclient::CheckTowrixConnection(), atcclient::TowrixConnection::NotRunning);
}

// Guards the search for the program window inside a frame when no window manager lists them:
// breadth first, at most two levels down, the frame itself when none is found.
TEST_F(X11Desktop, ProgramWindowsAreFoundInsideTheirFrames)
{
    Display* d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    auto make = [&](::Window parent, bool client = false) {
        const ::Window w = XCreateSimpleWindow(d, parent, 0, 0, 10, 10, 0, 0, 0);
        if (client) {
            const long state[2] = {1, 0};
            XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(state),
                            2);
        }
        return w;
    };
    const ::Window root = DefaultRootWindow(d);
    const ::Window bare = make(root);
    XStoreName(d, bare, "Old-style name"); // no _NET_WM_NAME: read from WM_NAME
    const ::Window itself = make(root, true);
    make(itself, true);
    const ::Window frame1 = make(root);
    make(frame1);
    const ::Window first = make(frame1, true);
    make(frame1, true);
    const ::Window frame2 = make(root);
    make(make(frame2), true);
    const ::Window sibling = make(frame2, true); // one level up beats a grandchild
    const ::Window frame3 = make(root);
    make(make(make(frame3)), true); // too deep
    const ::Window frame4 = make(root);
    const ::Window grandchild = make(make(frame4), true);
    XSync(d, False);

    const auto x11 = platform::OpenX11WindowSystem(display.c_str());
    EXPECT_EQ(x11->children(x11->desktop()),
              (std::vector<HWND>{grandchild, frame3, sibling, first, itself, bare})); // topmost first
    EXPECT_EQ(x11->captions({bare, itself, 0}), (std::vector<std::string>{"Old-style name", "", ""}));
    XCloseDisplay(d);
}

TEST_F(X11Desktop, DefaultWindowSystemFollowsTheDisplayVariable)
{
    OpenWindows("TowrixMain \"Towrix 1.2\" 100x100\n");
    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    ::setenv("DISPLAY", display.c_str(), 1);
    auto seen = platform::MakeDefaultWindowSystem();
    ::unsetenv("DISPLAY");
    auto blind = platform::MakeDefaultWindowSystem();
    ::setenv("DISPLAY", ":65000", 1); // nobody listens there
    auto unreachable = platform::MakeDefaultWindowSystem();
    if (saved)
        ::setenv("DISPLAY", previous.c_str(), 1);
    else
        ::unsetenv("DISPLAY");

    ASSERT_EQ(seen->children(seen->desktop()).size(), 1u);
    EXPECT_EQ(seen->className(seen->children(seen->desktop())[0]), "TowrixMain");
    EXPECT_TRUE(blind->children(blind->desktop()).empty());
    EXPECT_TRUE(unreachable->children(unreachable->desktop()).empty());
}
