#include "app/frmGonio.h"
#include "shell/Config.h"

#include "support/FakeClock.h"
#include "support/FakeLinkSocket.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace quadrantel;

namespace {

QAbstractButton* ButtonNamed(QWidget& w, const QString& text)
{
    for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

TEST(frmGonio, OpensWithItsControlsAndBringsTheSetupBackWhenClosed)
{
    test::TempDir dir;
    shell::globals() = shell::Globals{};
    shell::SetupDataFolder(dir.path());
    test::FakeClock clock;
    app::GonioServices s;
    s.clock = &clock;
    test::FakeLinkSocket* sck = nullptr;
    s.makeSocket = [&](link::LinkEvents) {
        auto p = std::make_unique<test::FakeLinkSocket>();
        sck = p.get();
        return p;
    };
    QPointer<app::frmGonio> w = new app::frmGonio(std::move(s));
    int setupShown = 0;
    w->onShowSetupWindow = [&] { ++setupShown; };
    w->form().SetAutostart();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));

    EXPECT_EQ(w->windowTitle(), "Quadrantel - ");
    EXPECT_TRUE(w->topmost());
    for (const char* caption : {"TEST", "Last", "Gonio Active", "WinOnTop", "Lock Station", "Connect", "AutoConnect"})
        EXPECT_NE(ButtonNamed(*w, caption), nullptr) << caption;
    EXPECT_EQ(ButtonNamed(*w, "Last")->shortcut(), QKeySequence("Ctrl+L"));
    EXPECT_EQ(ButtonNamed(*w, "Last")->toolTip(), "Show the last caller's bearing again");
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
    w->form().link().UpdateState();
    EXPECT_TRUE(disconnect->isVisible());

    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(setupShown, 1);
}
