// Window tests: the start-up order and the windows themselves, offscreen.
#include "app/Startup.h"
#include "about/frmSplash.h"
#include "app/frmGonio.h"
#include "shell/Config.h"
#include "stations/frmCfg.h"
#include "stations/frmPosition.h"
#include "support/FakeAtcClient.h"
#include "support/FakeVoiceClient.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/Wait.h"
#include "support/Widgets.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <sys/resource.h>

#include <csignal>

using namespace quadrantel;
using test::ButtonNamed;

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("AppData", QByteArray::fromStdString(dir.path()));
        shell::globals() = shell::Globals{};
        folder = dir.file("Quadrantel");
        QDir().mkpath(QString::fromStdString(folder));
        options.gonio.atc = &atc;
        options.gonio.voice = &voice;
        options.gonio.dump = [](std::string_view) {};
        options.quit = [this] { ++quits; };
        options.pumpingSleep = [this](int ms) { slept += ms; };
    }
    void TearDown() override { qunsetenv("AppData"); }

    void config(const std::string& text) { test::WriteFile(folder + "/Config.ini", "[Setup]\r\n" + text); }

    std::unique_ptr<app::Startup> start(const std::string& commandLine = {})
    {
        auto s = std::make_unique<app::Startup>(options);
        s->Main(commandLine);
        return s;
    }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    std::string folder;
    test::FakeAtcClient atc;
    test::FakeVoiceClient voice;
    app::StartupOptions options;
    int quits = 0;
    int slept = 0;
};

TEST_F(StartupTest, FirstRunShowsTheSetupWindowAndEndsWithIt)
{
    config("Debug=1\r\n");
    auto s = start("--station KJFK  -x");
    EXPECT_EQ(slept, 500);
    ASSERT_TRUE(s->setupWindow());
    EXPECT_TRUE(s->setupWindow()->isVisible());
    EXPECT_EQ(s->mainWindow(), nullptr);
    const QStringList logs = QDir(QString::fromStdString(folder)).entryList({"Log_*.TXT"});
    ASSERT_EQ(logs.size(), 1);
    const std::string log = test::ReadFile(folder + "/" + logs[0].toStdString());
    EXPECT_NE(log.find(" " + folder + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" CommandLine=--station KJFK  -x\r\n"), std::string::npos) << log;

    // The splash waits behind the setup window, with its loading notice.
    ASSERT_TRUE(s->splashWindow());
    EXPECT_TRUE(s->splashWindow()->isVisible());
    EXPECT_TRUE(s->splashWindow()->form().lblInfo.caption().ends_with("\r\n\nLoading ..."));

    ButtonNamed(*s->setupWindow(), "&Exit")->click();
    EXPECT_TRUE(test::WaitUntil([&] { return quits == 1; }));
    EXPECT_EQ(s->setupWindow(), nullptr);
    EXPECT_EQ(s->splashWindow(), nullptr);
}

TEST_F(StartupTest, SaveAndEnableSwapsToTheMainWindowAndClosingItBringsSetupBack)
{
    test::WriteFile(folder + "/gonio_KJFK_N040.38.23.000_W073.46.44.000.position",
                    "[Setup]\r\nId=KJFK N040.38.23.000 W073.46.44.000\r\n");
    auto s = start();
    ASSERT_TRUE(s->setupWindow());
    s->setupWindow()->form().txtStation.setListIndex(0);
    ButtonNamed(*s->setupWindow(), "&Save and Enable")->click();
    ASSERT_TRUE(s->mainWindow());
    EXPECT_TRUE(s->mainWindow()->isVisible());
    EXPECT_TRUE(s->mainWindow()->form().chkAutoConnect.checked());
    EXPECT_TRUE(test::WaitUntil([&] { return !s->setupWindow() && !s->splashWindow(); }));
    EXPECT_EQ(s->mainWindow()->form().txtStation.text(), "KJFK N040.38.23.000 W073.46.44.000");

    s->mainWindow()->close();
    ASSERT_TRUE(s->setupWindow());
    EXPECT_TRUE(test::WaitUntil([&] { return !s->mainWindow(); }));
    EXPECT_EQ(quits, 0);

    // Opening the setup window while the main window is up unloads the main window.
    s->OpenMainWindow();
    ASSERT_TRUE(s->mainWindow());
    s->setupWindow()->close();
    EXPECT_TRUE(test::WaitUntil([&] { return !s->setupWindow(); }));
    s->ShowSetupWindow();
    EXPECT_TRUE(test::WaitUntil([&] { return !s->mainWindow(); }));
}

// Guards against the start-up leaving the file-size limit's signal as it was: the first log
// line past the limit ended the program.
TEST_F(StartupTest, ALogLinePastTheFileSizeLimitDoesNotEndTheProgram)
{
    config("Debug=1\r\n");
    std::signal(SIGXFSZ, SIG_DFL);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    auto s = start();
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(s->setupWindow());
}

// Typing, clicks and colours pass between the widgets and the behaviour behind them.
TEST_F(StartupTest, PositionWindowTurnsInvalidBoxesRedAndClosesOnValidInput)
{
    stations::PositionForm form;
    form.Form_Load();
    stations::frmPosition window(form);
    window.show();
    const auto boxes = window.findChildren<QLineEdit*>();
    ASSERT_EQ(boxes.size(), 3);
    QTest::keyClicks(boxes[1], "-74.044636");
    QTest::mouseClick(ButtonNamed(window, "OK"), Qt::LeftButton);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(boxes[0]->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(boxes[1]->text(), "W074.02.40.690");
    EXPECT_EQ(boxes[2]->maxLength(), 4);

    QTest::keyClicks(boxes[0], "+40.689060");
    QTest::mouseClick(ButtonNamed(window, "OK"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

TEST_F(StartupTest, AboutWindowClosesOnClicksBesideTheVersionAndLink)
{
    about::frmSplash window;
    int opened = 0;
    window.form().openUrl = [&](const std::string&) { ++opened; };
    window.show();
    int clicked = 0; // the link, and the version label that swallows its clicks
    for (QLabel* l : window.findChildren<QLabel*>())
        if (l->text() == "Application Homepage" || l->text() == QUADRANTEL_VERSION) {
            QTest::mouseClick(l, Qt::LeftButton);
            ++clicked;
        }
    ASSERT_EQ(clicked, 2);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(opened, 1);
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(window.isVisible());
}

} // namespace

// Guards against a long address widening the window past the designed size (buttons pushed
// off the screen); the whole text goes to the tooltip.
TEST_F(StartupTest, LongTextsAreElidedInsteadOfWideningAWindow)
{
    const auto labelWithTip = [](QWidget& w, const QString& tip) {
        for (QLabel* l : w.findChildren<QLabel*>())
            if (l->toolTip() == tip && l->text() != tip)
                return true;
        return false;
    };
    config("Autostart=1\r\n");
    auto s = start();
    ASSERT_TRUE(s->mainWindow()); // an autostart goes straight to the main window
    EXPECT_EQ(s->setupWindow(), nullptr);
    EXPECT_TRUE(test::WaitUntil([&] { return s->splashWindow() == nullptr; }));
    QWidget& main = *s->mainWindow();
    const int designed = main.width();
    const std::string error = "Unable to Connect to Linkar - " + std::string(200, '1') + ":6809";
    s->mainWindow()->form().lblError.setCaption(error);
    test::RunEventsFor(50);
    EXPECT_EQ(main.width(), designed);
    EXPECT_TRUE(labelWithTip(*s->mainWindow(), QString::fromStdString(error)));
}
