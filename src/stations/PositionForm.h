#pragma once

#include "platform/Controls.h"

#include <functional>
#include <string>

namespace quadrantel::stations {

// The coordinates the position window confirmed; both empty unless the user pressed OK on
// a valid position.
inline std::string sLatitude;
inline std::string sLongitude;

// The position window's behaviour, free of widgets: asks for a new station's latitude and
// longitude, typed or taken from an airport code.
class PositionForm {
public:
    PositionForm();

    void Form_Load();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdApt_Click();
    // Validate the box and rewrite it in hemisphere form when valid.
    void CheckLatitude(bool& ok);
    void CheckLongitude(bool& ok);

    static constexpr const char* kTitle = "Define Position";

    platform::Label lblPosition, lblInfo, Label2, Label3, Label4;
    platform::TextBox txtLat, txtLong, txtApt;
    platform::Button cmdApt, cmdOk, cmdCancel;

    // Closes the window; set by the window.
    std::function<void()> unloadWindow;
    // The airports file; default: airports.dat in the program's folder.
    std::string airportsFile;

    bool closed() const { return closed_; }

private:
    void unload();
    bool closed_ = false;
};

} // namespace quadrantel::stations
