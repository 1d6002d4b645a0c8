#pragma once

#include <string>

namespace quadrantel::platform {

// Message boxes and input boxes; tests inject a scripted service so nothing blocks.
class Dialogs {
public:
    enum Button { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
    enum Icon { NoIcon = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };

    virtual ~Dialogs() = default;
    // buttons: 0 OK, 1 OK/Cancel, 4 Yes/No; returns the button pressed.
    virtual int messageBox(const std::string& text, int buttonsAndIcon, const std::string& title) = 0;
    // Returns the text entered, or the empty text when cancelled.
    virtual std::string inputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
};

// The service in use; windows install a widget-backed one, the core defaults to one that
// answers OK and empty input without showing anything.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs); // nullptr restores the default

} // namespace quadrantel::platform
