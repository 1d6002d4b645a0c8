#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace quadrantel::test {

// Answers message boxes with Ok and input boxes from a script, and records what was asked.
class ScriptedDialogs final : public platform::Dialogs {
public:
    struct Asked {
        std::string text;
        std::string title;
    };

    ScriptedDialogs() { platform::SetDialogs(this); }
    ~ScriptedDialogs() override { platform::SetDialogs(nullptr); }

    std::deque<std::string> inputAnswers; // defaults to "" (cancel) when empty
    std::vector<Asked> asked;

    int messageBox(const std::string& text, int, const std::string& title) override
    {
        asked.push_back({text, title});
        return Ok;
    }

    std::string inputBox(const std::string& prompt, const std::string& title, const std::string&) override
    {
        asked.push_back({prompt, title});
        if (inputAnswers.empty())
            return {};
        std::string a = inputAnswers.front();
        inputAnswers.pop_front();
        return a;
    }
};

} // namespace quadrantel::test
