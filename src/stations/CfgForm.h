#pragma once

#include "feed/FeedSettings.h"
#include "platform/Controls.h"

#include <functional>
#include <string>

namespace quadrantel::stations {

class PositionForm;

// What the setup window's behaviour asks of the window it lives in and of the program
// around it. Every hook may be left empty.
struct CfgHooks {
    std::function<void(const std::string&)> setTitle;
    std::function<void(float width, float height)> resize; // twips
    std::function<void()> unloadWindow;                    // closes the setup window
    // The main window lives above this folder: the program tells whether it is loaded,
    // unloads it, and opens it after "Save and Enable".
    std::function<bool()> mainWindowLoaded;
    std::function<void()> unloadMainWindow;
    std::function<void()> onEnable;
    std::function<void()> showAbout;
    // Shows the position window modally and returns when it has closed.
    std::function<void(PositionForm&)> showPosition;
};

// The setup window's behaviour, free of widgets: the station list, the position files and
// the settings of the configuration file.
class CfgForm {
public:
    explicit CfgForm(CfgHooks hooks = {});

    void Form_Load();
    void LoadConfig();
    // False when a setting could not be written; the file is then left as it was.
    bool SaveConfig();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdEnable_Click();
    void cmdExit_Click();
    void cmdAbout_Click();
    void txtMe_LostFocus();
    void txtPort_LostFocus();

    static constexpr const char* kHint = "use alphabet characters and digits only ";
    static constexpr const char* kInvalidHint = "invalid character - use alphabet characters and digits only ";
    static constexpr const char* kLongHint = "name too long - use at most 210 alphabet characters and digits ";

    platform::Label frameConfig, frameOptions, Label1, Label2, Label3, Label6, lblVoice, lblVoiceURL,
        lblVoiceFrequencies, lblPositions, lblFeedURL;
    platform::ComboBox txtStation, cboVoice, cboVoiceFrequencies, cboPositions;
    platform::Button cmdAdd, cmdRemove, cmdAbout, cmdExit, cmdEnable;
    platform::CheckBox chkAutostart, chkOnTop;
    platform::TextBox txtMe, txtAddress, txtPort, txtVoiceURL, txtFeedURL;
    platform::Image Image1;

    CfgHooks hooks;

private:
    void fillList();
    // Names the first voice box the feed cannot use, and puts the focus there.
    bool voiceSettingsValid();
    feed::PositionChoice positionChoice() const;
    // Names the feed's address when the feed is chosen and cannot use it.
    bool feedSettingsValid();

    int feedInterval_ = 15; // kept as the file has it: no box for it
};

} // namespace quadrantel::stations
