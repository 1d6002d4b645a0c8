// The desktop-from-text builder of the in-memory window system: tests describe the windows of
// the outside programs in a few lines instead of building them call by call.
#include "platform/WindowSystem.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace quadrantel::platform {

namespace {

[[noreturn]] void Malformed(int lineNumber, const std::string& why)
{
    throw std::invalid_argument("desktop description line " + std::to_string(lineNumber) + ": " + why);
}

// Reads "<w>x<h>[+<x>+<y>]".
bool ParseGeometry(const std::string& token, Rect& rect)
{
    int w = 0, h = 0, x = 0, y = 0;
    char tail = 0;
    const int fields = std::sscanf(token.c_str(), "%dx%d+%d+%d%c", &w, &h, &x, &y, &tail);
    if (fields == 2) {
        if (token.find('+') != std::string::npos)
            return false;
    } else if (fields != 4) {
        return false;
    }
    if (w < 0 || h < 0)
        return false;
    rect = Rect{x, y, x + w, y + h};
    return true;
}

} // namespace

std::unique_ptr<InMemoryWindowSystem> InMemoryWindowSystem::FromText(std::string_view description)
{
    auto desktop = std::make_unique<InMemoryWindowSystem>();
    std::vector<HWND> path; // path[d] = last window added at depth d
    int lineNumber = 0;
    size_t pos = 0;
    while (pos <= description.size()) {
        size_t end = description.find('\n', pos);
        if (end == std::string_view::npos)
            end = description.size();
        std::string line(description.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, 2, "//") == 0)
            continue;
        if (first % 2 != 0)
            Malformed(lineNumber, "indentation must be a multiple of two blanks");
        const size_t depth = first / 2;
        if (depth > path.size())
            Malformed(lineNumber, "indented deeper than its parent");

        size_t i = first;
        auto skipBlanks = [&] {
            while (i < line.size() && line[i] == ' ')
                ++i;
        };
        auto word = [&] {
            const size_t start = i;
            while (i < line.size() && line[i] != ' ')
                ++i;
            return line.substr(start, i - start);
        };

        const std::string className = word();
        if (className.front() == '"')
            Malformed(lineNumber, "class name missing");
        std::string text;
        Rect rect;
        bool foreign = false;
        skipBlanks();
        if (i < line.size() && line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\') {
                    if (i >= line.size())
                        break;
                    switch (char e = line[i++]) {
                    case 'n':
                        c = '\n';
                        break;
                    case 'r':
                        c = '\r';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case '"':
                    case '\\':
                        c = e;
                        break;
                    default:
                        Malformed(lineNumber, std::string("unknown escape \\") + e);
                    }
                }
                text += c;
            }
            if (!closed)
                Malformed(lineNumber, "unterminated text");
        }
        for (skipBlanks(); i < line.size(); skipBlanks()) {
            const std::string token = word();
            if (token == "foreign")
                foreign = true;
            else if (!ParseGeometry(token, rect))
                Malformed(lineNumber, "unexpected \"" + token + "\"");
        }
        path.resize(depth);
        const HWND parent = depth == 0 ? 0 : path[depth - 1];
        path.push_back(desktop->add(parent, className, text, rect, foreign));
    }
    return desktop;
}
} // namespace quadrantel::platform
