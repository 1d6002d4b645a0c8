#include "shell/TextRoutines.h"

#include "platform/Runtime.h"

namespace quadrantel::shell {
namespace {

std::size_t Find(std::string_view text, std::string_view find, std::size_t from, Compare compare)
{
    if (compare == Compare::Binary)
        return text.find(find, from);
    if (find.size() > text.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + find.size() <= text.size(); ++i)
        if (platform::EqualsNoCase(text.substr(i, find.size()), find))
            return i;
    return std::string_view::npos;
}

} // namespace

std::string TakeToken(std::string& text, std::string_view delimiter)
{
    const auto p = delimiter.empty() ? std::string::npos : text.find(delimiter);
    if (p == std::string::npos) {
        std::string all = std::move(text);
        text.clear();
        return all;
    }
    std::string token = text.substr(0, p);
    text.erase(0, p + 1);
    return token;
}

std::string GetField(std::string_view text, long n, char delimiter)
{
    if (n < 1)
        return {};
    std::size_t start = 0;
    for (long field = 1; field < n; ++field) {
        const auto p = text.find(delimiter, start);
        if (p == std::string_view::npos)
            return {};
        start = p + 1;
    }
    const auto end = text.find(delimiter, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string ReplaceText(std::string_view text, std::string_view find, std::string_view replacement, long start,
                        long count, Compare compare)
{
    if (start < 1)
        start = 1;
    if (static_cast<std::size_t>(start - 1) > text.size())
        return {};
    const std::string_view rest = text.substr(static_cast<std::size_t>(start - 1));
    if (find.empty() || count == 0)
        return std::string(rest);
    std::string out;
    out.reserve(rest.size());
    std::size_t pos = 0;
    long done = 0;
    while (count < 0 || done < count) {
        const auto hit = Find(rest, find, pos, compare);
        if (hit == std::string_view::npos)
            break;
        out.append(rest.substr(pos, hit - pos));
        out.append(replacement);
        pos = hit + find.size();
        ++done;
    }
    out.append(rest.substr(pos));
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement)
{
    return ReplaceText(text, find, replacement, 1, -1, Compare::Binary);
}

std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter, long limit, Compare compare)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    if (delimiter.empty() || limit == 1) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t pos = 0;
    while (true) {
        if (limit > 0 && static_cast<long>(pieces.size()) == limit - 1)
            break;
        const auto hit = Find(text, delimiter, pos, compare);
        if (hit == std::string_view::npos)
            break;
        pieces.emplace_back(text.substr(pos, hit - pos));
        pos = hit + delimiter.size();
    }
    pieces.emplace_back(text.substr(pos));
    return pieces;
}

} // namespace quadrantel::shell
