#include "about/SplashForm.h"
#include "shell/Config.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using namespace quadrantel;
using about::SplashForm;

namespace {

TEST(SplashTest, LoadingShowsTheProgramsOwnFileVersionAndMakesItTheVersionText)
{
    shell::globals().sVersion = "stale";
    SplashForm form;
    form.Form_Load(); // this test program carries the build's version resource
    EXPECT_EQ(form.lblVersion.caption(), QUADRANTEL_VERSION);
    EXPECT_EQ(shell::globals().sVersion, QUADRANTEL_VERSION);
}

TEST(SplashTest, WithoutAFileVersionTheLabelIsEmptyAndTheVersionTextIsTheDefault)
{
    test::ScriptedDialogs dialogs; // a damaged file may be reported; that is not the point here
    test::TempDir dir;
    test::WriteFile(dir.file("plain"), "no version resource in here");
    shell::globals().sVersion = "stale";
    SplashForm form;
    form.Form_Load(dir.file("plain"));
    EXPECT_EQ(form.lblVersion.caption(), "");
    EXPECT_EQ(shell::globals().sVersion, "1.0.0");
}

TEST(SplashTest, ClicksCloseTheWindowExceptOnTheHomepageLink)
{
    SplashForm form;
    int closes = 0;
    std::vector<std::string> opened;
    form.unloadWindow = [&] { ++closes; };
    form.openUrl = [&](const std::string& url) { opened.push_back(url); };

    form.lblHome_Click();
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(opened, std::vector<std::string>{about::kHomepage});

    form.Form_Click();
    form.Image1.click();
    form.lblTitle_Click(0);
    EXPECT_EQ(closes, 3);
}

} // namespace
