#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace quadrantel::test {

// Answers message and input boxes from a script and records what was asked.
class ScriptedDialogs final : public platform::Dialogs {
public:
    struct Asked {
        bool input;
        std::string text;
        int buttons;
        std::string title;
    };

    ScriptedDialogs() { platform::SetDialogs(this); }
    ~ScriptedDialogs() override { platform::SetDialogs(nullptr); }

    std::deque<int> buttonAnswers;        // defaults to Ok when empty
    std::deque<std::string> inputAnswers; // defaults to "" (cancel) when empty
    std::vector<Asked> asked;

    int messageBox(const std::string& text, int buttons, const std::string& title) override
    {
        asked.push_back({false, text, buttons, title});
        if (buttonAnswers.empty())
            return Ok;
        const int b = buttonAnswers.front();
        buttonAnswers.pop_front();
        return b;
    }

    std::string inputBox(const std::string& prompt, const std::string& title, const std::string&) override
    {
        asked.push_back({true, prompt, 0, title});
        if (inputAnswers.empty())
            return {};
        std::string a = inputAnswers.front();
        inputAnswers.pop_front();
        return a;
    }
};

} // namespace quadrantel::test
