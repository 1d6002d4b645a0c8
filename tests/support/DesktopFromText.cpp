// The desktop-from-text builder of the in-memory window system: tests describe the windows of
// the outside programs in a few lines instead of building them call by call.
#include "platform/WindowSystem.h"

#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quadrantel::platform {

namespace {

// A line is read by hand, not with <regex>: GCC 12 reports a false -Wmaybe-uninitialized
// inside <regex>'s std::function at -O2 with the sanitizers, which stops that build under
// -Werror; <regex> also took most of a minute to compile.
struct Cursor {
    std::string_view rest;

    size_t Skip(char c)
    {
        size_t n = 0;
        while (n < rest.size() && rest[n] == c)
            ++n;
        rest.remove_prefix(n);
        return n;
    }
    bool Take(std::string_view s)
    {
        if (rest.substr(0, s.size()) != s)
            return false;
        rest.remove_prefix(s.size());
        return true;
    }
    std::string_view Word()
    {
        const std::string_view word = rest.substr(0, rest.find_first_of(" \t\n\v\f\r"));
        rest.remove_prefix(word.size());
        return word;
    }
    // Digits; too large a number throws like std::stoi.
    bool Number(int& out)
    {
        const size_t digits = rest.find_first_not_of("0123456789");
        const size_t end = digits == std::string_view::npos ? rest.size() : digits;
        if (end == 0)
            return false;
        out = std::stoi(std::string(rest.substr(0, end)));
        rest.remove_prefix(end);
        return true;
    }
    // A quoted text with the escapes \n \r \t \" \\; the opening quote is already taken.
    bool Quoted(std::string& text)
    {
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '"') {
                rest.remove_prefix(i + 1);
                return true;
            }
            if (rest[i] != '\\') {
                text += rest[i];
                continue;
            }
            const size_t escape =
                i + 1 < rest.size() ? std::string_view("nrt\"\\").find(rest[i + 1]) : std::string_view::npos;
            if (escape == std::string_view::npos)
                return false;
            text += "\n\r\t\"\\"[escape];
            ++i;
        }
        return false;
    }
};

} // namespace

// Each line: indentation (two blanks a level), class, optional "text" (escapes \n \r \t \" \\),
// optional <w>x<h>[+<x>+<y>] and "foreign"; "//" starts a comment line.
std::unique_ptr<InMemoryWindowSystem> InMemoryWindowSystem::FromText(std::string_view description)
{
    auto desktop = std::make_unique<InMemoryWindowSystem>();
    std::vector<HWND> path; // path[d] = last window added at depth d
    std::istringstream lines{std::string(description)};
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const size_t first = line.find_first_not_of(" \r");
        if (first == std::string::npos || line.compare(first, 2, "//") == 0)
            continue;
        const auto malformed = [&] {
            return std::invalid_argument("desktop description line " + std::to_string(number) + " is malformed");
        };
        Cursor at{line};
        const size_t indent = at.Skip(' ');
        const std::string_view className = at.Word();
        if (className.empty() || indent % 2 != 0 || indent / 2 > path.size())
            throw malformed();
        // Each optional part is tried after its blanks and left untaken when it does not fit.
        Cursor before = at;
        std::string text;
        if (at.Skip(' ') == 0 || !at.Take("\"") || !at.Quoted(text)) {
            at = before;
            text.clear();
        }
        before = at;
        int w = 0, h = 0, x = 0, y = 0;
        const bool sized = at.Skip(' ') > 0 && at.Number(w) && at.Take("x") && at.Number(h);
        if (!sized)
            at = before;
        before = at;
        if (sized && !(at.Take("+") && at.Number(x) && at.Take("+") && at.Number(y))) {
            at = before;
            x = y = 0;
        }
        before = at;
        const bool foreign = at.Skip(' ') > 0 && at.Take("foreign");
        if (!foreign)
            at = before;
        at.Skip(' ');
        at.Take("\r");
        if (!at.rest.empty())
            throw malformed();
        const Rect rect = sized ? Rect{x, y, x + w, y + h} : Rect{};
        path.resize(indent / 2);
        path.push_back(desktop->add(path.empty() ? 0 : path.back(), std::string(className), text, rect, foreign));
    }
    return desktop;
}

} // namespace quadrantel::platform
