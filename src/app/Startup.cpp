#include "app/Startup.h"

#include "about/frmSplash.h"
#include "app/frmGonio.h"
#include "forms/Artwork.h"
#include "forms/Bindings.h"
#include "platform/Pump.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "stations/frmCfg.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

namespace quadrantel::app {

using platform::IgnoreErrors;

Startup::Startup(StartupOptions options) : options_(std::move(options))
{
    if (!options_.quit)
        options_.quit = [] { QCoreApplication::quit(); };
    if (!options_.pumpingSleep)
        options_.pumpingSleep = platform::PumpingSleep;
}

Startup::~Startup()
{
    // Tearing down is not the user closing the main window: no setup window comes back.
    if (main_)
        main_->onShowSetupWindow = nullptr;
    delete main_.data();
    delete setup_.data();
    delete splash_.data();
}

stations::frmCfg* Startup::setupWindow() const
{
    return setup_.data();
}

frmGonio* Startup::mainWindow() const
{
    return main_.data();
}

about::frmSplash* Startup::splashWindow() const
{
    return splash_.data();
}

void Startup::Main(const std::string& commandLine)
{
    // Before the first log line: past a file-size limit a line is lost, not the program.
    shell::PrepareFileWrites();
    IgnoreErrors([] { shell::SetupDataFolder(shell::ChooseDataRoot()); });
    double autostart = 0;
    IgnoreErrors([&] { autostart = shell::ReadConfig(); });
    IgnoreErrors([&] {
        if (shell::globals().bDebug) {
            shell::WriteLog(shell::globals().sDataFolder);
            shell::WriteLog("CommandLine=" + commandLine);
        }
    });

    IgnoreErrors([&] {
        splash_ = new about::frmSplash(options_.programFile);
        splash_->setAttribute(Qt::WA_DeleteOnClose);
        watch(splash_);
        platform::Label& info = splash_->form().lblInfo;
        info.setCaption(info.caption() + "\r\n\nLoading ...");
        splash_->show();
    });
    IgnoreErrors([] { platform::DoEvents(); });
    IgnoreErrors([&] { options_.pumpingSleep(500); });
    IgnoreErrors([] { platform::DoEvents(); });
    IgnoreErrors([&] {
        if (splash_)
            splash_->repaint();
    });

    if (!shell::IsAutostart(autostart)) {
        ShowSetupWindow();
        // The splash stays up behind the setup window and goes with it.
        if (setup_)
            QObject::connect(setup_, &QObject::destroyed, &context_, [this] { closeSplash(); });
        else
            closeSplash();
        return;
    }
    closeSplash();
    OpenMainWindow();
}

void Startup::ShowSetupWindow()
{
    if (setup_ && setup_->isVisible()) {
        setup_->raise();
        setup_->activateWindow();
        return;
    }
    stations::CfgHooks hooks;
    hooks.mainWindowLoaded = [this] { return main_ && main_->form().loaded(); };
    hooks.unloadMainWindow = [this] {
        if (!main_)
            return;
        // The setup window is the one being shown: closing the main window must not ask again.
        main_->onShowSetupWindow = nullptr;
        main_->close();
    };
    hooks.onEnable = [this] { OpenMainWindow(); };
    hooks.showAbout = [this] {
        about::frmSplash window(options_.programFile, setup_);
        window.exec();
    };
    setup_ = new stations::frmCfg(std::move(hooks));
    watch(setup_);
    setup_->show();
}

void Startup::OpenMainWindow()
{
    if (main_ && main_->form().loaded()) {
        main_->raise();
        return;
    }
    main_ = new frmGonio(options_.gonio);
    main_->onShowSetupWindow = [this] { ShowSetupWindow(); };
    watch(main_);
    IgnoreErrors([] { platform::DoEvents(); });
    if (!main_)
        return;
    main_->form().SetAutostart();
    main_->show();
    IgnoreErrors([] { platform::DoEvents(); });
}

void Startup::watch(QWidget* window)
{
    // The program ends when the last of its windows has gone; checked once the event that
    // closed one has finished, so a window opened in its place counts.
    QObject::connect(window, &QObject::destroyed, &context_, [this] {
        QTimer::singleShot(0, &context_, [this] {
            if (!setup_ && !main_ && !splash_)
                options_.quit();
        });
    });
}

void Startup::closeSplash()
{
    if (splash_)
        splash_->close();
}

namespace {

// "--help" and "--version" answer on the terminal and end the program; they need no display,
// so they are read before the windowing application exists.
void AnswerInfoOptions(int argc, char** argv)
{
    bool asked = false;
    for (int i = 1; i < argc; ++i)
        asked = asked || std::string(argv[i]) == "--help" || std::string(argv[i]) == "--version";
    if (!asked)
        return;
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName("quadrantel");
    QCoreApplication::setApplicationVersion(QUADRANTEL_VERSION);
    // Only these two are options; every other argument is accepted and merely logged.
    QCommandLineParser parser;
    parser.setApplicationDescription("Quadrantel: a radio direction finder for virtual air-traffic controllers.");
    const QCommandLineOption help(QStringList{"help"}, "Show this help and exit.");
    const QCommandLineOption version(QStringList{"version"}, "Show the version and exit.");
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument("arguments", "Anything else is written to the debug log only.", "[arguments...]");
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
}

} // namespace

int Run(int argc, char** argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    AnswerInfoOptions(argc, argv);

    QApplication qapp(argc, argv);
    QCoreApplication::setApplicationName("quadrantel");
    QCoreApplication::setApplicationVersion(QUADRANTEL_VERSION);
    QGuiApplication::setDesktopFileName("quadrantel");
    QApplication::setWindowIcon(forms::ProgramIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    forms::InstallWidgetDialogs();
    Startup startup;
    startup.Main(commandLine);
    return qapp.exec();
}

} // namespace quadrantel::app
