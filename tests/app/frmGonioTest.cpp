#include "app/frmGonio.h"
#include "platform/Pump.h"

#include "FormFixture.h"
#include "support/Wait.h"
#include "support/Widgets.h"

#include <QPointer>
#include <QTest>
#include <QTimer>

using namespace quadrantel;

using test::ButtonNamed;

namespace {
class frmGonioTest : public test::FormTest {};
} // namespace

TEST_F(frmGonioTest, OpensWithItsControlsBoundToTheBehaviour)
{
    QPointer<app::frmGonio> w = new app::frmGonio(services());
    w->form().SetAutostart();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));

    EXPECT_TRUE(w->topmost());
    ASSERT_NE(ButtonNamed(*w, "Last"), nullptr);
    EXPECT_EQ(ButtonNamed(*w, "Last")->shortcut(), QKeySequence("Ctrl+L"));
    QAbstractButton* disconnect = ButtonNamed(*w, "Disconnect");
    ASSERT_NE(disconnect, nullptr);
    EXPECT_FALSE(disconnect->isVisible());
    EXPECT_TRUE(ButtonNamed(*w, "AutoConnect")->isChecked());

    // A click on the widget reaches the behaviour and back.
    QTest::mouseClick(ButtonNamed(*w, "Gonio Active"), Qt::LeftButton);
    EXPECT_TRUE(w->form().chkGonio.checked());
    QTest::mouseClick(ButtonNamed(*w, "Connect"), Qt::LeftButton);
    ASSERT_NE(sck, nullptr);
    EXPECT_EQ(sck->connects, 1);
    w->form().sources().link->controller().UpdateState();
    EXPECT_TRUE(disconnect->isVisible());
    delete w.data();
}

// Guards against closing the window while a handler waits on the event loop: the window was
// freed under the handler, which then crashed, or the close was lost.
TEST_F(frmGonioTest, ClosingDuringAWaitBringsTheSetupBack)
{
    enum Moment { ConnectionWait, LoginWait, AfterRefusal, DataArriving };
    for (const Moment moment : {ConnectionWait, LoginWait, AfterRefusal, DataArriving}) {
        SCOPED_TRACE(moment);
        shell::globals() = shell::Globals{};
        shell::SetupDataFolder(dir.path());
        test::ScriptedPeer linkar;
        writeConfig("VID=1\r\nPort=" + linkar.port() + "\r\n");
        if (moment == ConnectionWait)
            linkar.server.close(); // nobody listening: the attempt waits its full time
        QObject::connect(&linkar.server, &QTcpServer::newConnection, [&] {
            linkar.send(moment == AfterRefusal ? "#TMSERVER:Quadrantel:NO such VID / Password\r\n" : kDlh);
        });

        QPointer<app::frmGonio> w;
        bool asked = false;
        const auto closeNow = [&] {
            if (!asked && w) {
                asked = true;
                QTimer::singleShot(0, w, &QWidget::close); // as the user's click arrives
            }
        };
        app::GonioServices s = services(false);
        s.sleep = [&](int ms) {
            if ((moment == LoginWait && ms == 200) || (moment == AfterRefusal && ms == 1000))
                closeNow();
        };
        s.pumpingSleep = [&](int ms) {
            if (moment == ConnectionWait)
                closeNow();
            platform::PumpingSleep(ms);
        };
        s.dump = [&](std::string_view) {
            if (moment == DataArriving)
                closeNow();
        };
        w = new app::frmGonio(std::move(s));
        int setupShown = 0;
        w->onShowSetupWindow = [&] { ++setupShown; };
        w->show();
        w->form().cmdConnect.click(); // the attempt waits; timer ticks and socket events run inside
        EXPECT_TRUE(test::WaitUntil([&] { return w.isNull() && setupShown > 0; }));
        EXPECT_TRUE(asked);
        delete w.data();
    }
}

// Guards against a saved place being dropped while its title bar is on a screen, or kept when
// the monitor it was on is gone.
TEST_F(frmGonioTest, ASavedPlaceIsKeptOnlyWhileItsTitleBarIsOnAScreen)
{
    writeConfig("LastX=000000000300\r\nLastY=000000000300\r\n");
    QPointer<app::frmGonio> onScreen = new app::frmGonio(services());
    EXPECT_NEAR(onScreen->left(), 300, 15);
    EXPECT_NEAR(onScreen->top(), 300, 15);
    delete onScreen.data();

    writeConfig("LastX=000009000000\r\nLastY=000009000000\r\n");
    QPointer<app::frmGonio> offScreen = new app::frmGonio(services());
    EXPECT_LT(offScreen->left(), offScreen->screenWidth());
    EXPECT_LT(offScreen->top(), offScreen->screenHeight());
    delete offScreen.data();
}
