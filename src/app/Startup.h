#pragma once

#include "app/GonioForm.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

namespace quadrantel::about {
class frmSplash;
}
namespace quadrantel::stations {
class frmCfg;
}

namespace quadrantel::app {

class frmGonio;

// What the start-up is made of; tests replace any of it.
struct StartupOptions {
    GonioServices gonio;                   // what each main window is built from
    std::function<void()> quit;            // ends the program; default: leaves the event loop
    std::function<void(int)> pumpingSleep; // default: waits with the event loop running
    std::string programFile;               // whose version the splash shows; default: this program
};

// The program's windows and their order: the splash, then the setup window or the main
// window, never both of the last two, and the end of the program with its last window.
class Startup {
public:
    explicit Startup(StartupOptions options = {});
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // The start-up steps; returns once the first window is up. commandLine: the arguments
    // as passed, which only reach the debug log.
    void Main(const std::string& commandLine);

    // Shows the setup window (which unloads an open main window), or raises the open one.
    void ShowSetupWindow();
    // Loads the main window, lets messages run, switches automatic connection on and shows it.
    void OpenMainWindow();

    stations::frmCfg* setupWindow() const;
    frmGonio* mainWindow() const;
    about::frmSplash* splashWindow() const;

private:
    void watch(QWidget* window);
    void closeSplash();

    StartupOptions options_;
    QObject context_; // ties queued work to this object's life
    QPointer<stations::frmCfg> setup_;
    QPointer<frmGonio> main_;
    QPointer<about::frmSplash> splash_;
};

// The program: "--help" and "--version", otherwise Main and the event loop.
int Run(int argc, char** argv);

} // namespace quadrantel::app
