// The desktop-from-text builder of the in-memory window system: tests describe the windows of
// the outside programs in a few lines instead of building them call by call.
#include "platform/WindowSystem.h"

#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quadrantel::platform {

// Each line: indentation (two blanks a level), class, optional "text" (escapes \n \r \t \" \\),
// optional <w>x<h>[+<x>+<y>] and "foreign"; "//" starts a comment line.
std::unique_ptr<InMemoryWindowSystem> InMemoryWindowSystem::FromText(std::string_view description)
{
    static const std::regex kLine(
        R"re(( *)(\S+)(?: +"((?:[^"\\]|\\[nrt"\\])*)")?(?: +(\d+)x(\d+)(?:\+(-?\d+)\+(-?\d+))?)?( +foreign)? *\r?)re");
    auto desktop = std::make_unique<InMemoryWindowSystem>();
    std::vector<HWND> path; // path[d] = last window added at depth d
    std::istringstream lines{std::string(description)};
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const size_t first = line.find_first_not_of(" \r");
        if (first == std::string::npos || line.compare(first, 2, "//") == 0)
            continue;
        std::smatch m;
        if (!std::regex_match(line, m, kLine) || m[1].length() % 2 != 0 ||
            static_cast<size_t>(m[1].length() / 2) > path.size())
            throw std::invalid_argument("desktop description line " + std::to_string(number) + " is malformed");
        const auto depth = static_cast<size_t>(m[1].length() / 2);
        std::string text;
        for (auto c = m[3].first; c != m[3].second; ++c)
            text += *c != '\\' ? *c : "\n\r\t\"\\"[std::string_view("nrt\"\\").find(*++c)];
        const int x = m[6].matched ? std::stoi(m[6]) : 0, y = m[7].matched ? std::stoi(m[7]) : 0;
        const Rect rect = m[4].matched ? Rect{x, y, x + std::stoi(m[4]), y + std::stoi(m[5])} : Rect{};
        path.resize(depth);
        path.push_back(desktop->add(path.empty() ? 0 : path.back(), m[2], text, rect, m[8].matched));
    }
    return desktop;
}

} // namespace quadrantel::platform
