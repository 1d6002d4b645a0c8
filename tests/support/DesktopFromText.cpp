// The desktop-from-text builder of the in-memory window system: tests describe the windows of
// the outside programs in a few lines instead of building them call by call.
#include "platform/WindowSystem.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quadrantel::platform {

// Each line: indentation (two blanks a level), class, optional "text", optional <w>x<h>[+<x>+<y>]
// and "foreign"; "//" starts a comment line.
std::unique_ptr<InMemoryWindowSystem> InMemoryWindowSystem::FromText(std::string_view description)
{
    auto desktop = std::make_unique<InMemoryWindowSystem>();
    std::vector<HWND> path; // path[d] = last window added at depth d
    std::istringstream lines{std::string(description)};
    int lineNumber = 0;
    for (std::string line; std::getline(lines, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto malformed = [&](const std::string& why) {
            throw std::invalid_argument("desktop description line " + std::to_string(lineNumber) + ": " + why);
        };
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, 2, "//") == 0)
            continue;
        if (first % 2 != 0 || first / 2 > path.size())
            malformed("bad indentation");
        const size_t i = line.find(' ', first);
        const std::string className = line.substr(first, i - first);
        std::string text;
        Rect rect;
        bool foreign = false;
        std::istringstream rest(i == std::string::npos ? std::string() : line.substr(i));
        rest >> std::ws;
        if (rest.peek() == '"') {
            rest.get();
            for (int c = rest.get(); c != '"'; c = rest.get()) {
                if (c == '\\') {
                    const int e = rest.get();
                    const auto at = std::string_view("nrt\"\\").find(static_cast<char>(e));
                    if (at == std::string_view::npos)
                        malformed("unknown escape");
                    c = "\n\r\t\"\\"[at];
                }
                if (c == EOF)
                    malformed("unterminated text");
                text += static_cast<char>(c);
            }
        }
        for (std::string token; rest >> token;) {
            int w = 0, h = 0, x = 0, y = 0, n = 0;
            if (token == "foreign")
                foreign = true;
            else if ((std::sscanf(token.c_str(), "%dx%d%n+%d+%d%n", &w, &h, &n, &x, &y, &n) >= 2) &&
                     static_cast<size_t>(n) == token.size())
                rect = Rect{x, y, x + w, y + h};
            else
                malformed("unexpected \"" + token + "\"");
        }
        path.resize(first / 2);
        path.push_back(desktop->add(path.empty() ? 0 : path.back(), className, text, rect, foreign));
    }
    return desktop;
}

} // namespace quadrantel::platform
