#include "about/SplashForm.h"

#include "about/Routines.h"
#include "platform/DataFolders.h"
#include "platform/Runtime.h"
#include "shell/Config.h"

#include <QCoreApplication>

namespace quadrantel::about {

SplashForm::SplashForm()
{
    Image1.setToolTip(kCloseTip);
    for (platform::Label& t : lblTitle) {
        t.setCaption("Quadrantel");
        t.setToolTip(kCloseTip);
    }
    lblInfo.setToolTip(kCloseTip);
    lblVersion.setCaption("Version: 0.5.0.7 beta");
    lblVersion.setToolTip(kCloseTip);
    lblHome.setCaption("Application Homepage");
    lblHome.setToolTip("Connect to application website");
    Image1.onClick = [this] { Image1_Click(); };
}

void SplashForm::Form_Load(const std::string& programFile)
{
    lblInfo.setCaption("Quadrantel: an Towrix add-on to simulate RadioGonioMeter - ");
    std::string file = programFile;
    if (file.empty() && QCoreApplication::instance())
        file = platform::PathBytes(QCoreApplication::applicationFilePath());
    lblVersion.setCaption(file.empty() ? std::string() : GetFileVersion(file, true));
    const std::string v = platform::Trim(lblVersion.caption());
    shell::globals().sVersion = v.empty() ? "1.0.0" : lblVersion.caption();
}

void SplashForm::Form_Click()
{
    unload();
}

void SplashForm::Image1_Click()
{
    unload();
}

void SplashForm::lblInfo_Click()
{
    unload();
}

void SplashForm::lblTitle_Click(int)
{
    unload();
}

void SplashForm::lblHome_Click()
{
    if (openUrl)
        openUrl(kHomepage);
}

void SplashForm::unload()
{
    if (unloadWindow)
        unloadWindow();
}

} // namespace quadrantel::about
