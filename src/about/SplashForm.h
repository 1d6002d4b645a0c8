#pragma once

#include "platform/Controls.h"

#include <array>
#include <functional>
#include <string>

namespace quadrantel::about {

// Where "Application Homepage" leads.
inline constexpr const char* kHomepage = "https://quadrantel.example.org/";

// The splash and about window's behaviour, free of widgets.
class SplashForm {
public:
    SplashForm();

    // Fills the labels from the program file's version resource and sets the program's
    // version text. programFile: default, the running program.
    void Form_Load(const std::string& programFile = {});
    void Form_Click();
    void Image1_Click();
    void lblInfo_Click();
    void lblTitle_Click(int index);
    void lblHome_Click();

    static constexpr const char* kCloseTip = "click anywhere to close this window";

    platform::Image Image1, Image2;
    std::array<platform::Label, 2> lblTitle;
    platform::Label lblInfo, lblVersion, lblHome;

    // Closes the window; set by the window.
    std::function<void()> unloadWindow;
    // Opens an address with the desktop's handler; set by the window.
    std::function<void(const std::string&)> openUrl;

private:
    void unload();
};

} // namespace quadrantel::about
