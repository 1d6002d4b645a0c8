#include "feed/FeedSettings.h"

#include "feed/HttpGet.h"
#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/Settings.h"

#include <QUrl>

#include <charconv>

namespace quadrantel::feed {

FeedSettings ReadFeedSettings(const std::string& configFile)
{
    FeedSettings s;
    const std::string source =
        platform::UCase(platform::Trim(shell::ReadIniValue(configFile, "PositionSource", "Link", shell::kSetup)));
    s.source = source == "FEED" ? PositionChoice::Feed : source == "BOTH" ? PositionChoice::Both : PositionChoice::Link;
    s.url = platform::Trim(shell::ReadIniValue(configFile, "FeedURL", "", shell::kSetup));
    const std::string interval = platform::Trim(shell::ReadIniValue(configFile, "FeedInterval", "15", shell::kSetup));
    int seconds = 0;
    const auto r = std::from_chars(interval.data(), interval.data() + interval.size(), seconds);
    if (r.ec == std::errc() && r.ptr == interval.data() + interval.size())
        s.intervalSeconds = std::clamp(seconds, kMinIntervalSeconds, kMaxIntervalSeconds);
    return s;
}

bool WriteFeedSettings(const std::string& configFile, const FeedSettings& s)
{
    // A file that never named a position source stays as it was while the choice is the default.
    if (s.source == PositionChoice::Link && s.url.empty() &&
        shell::ReadIniValue(configFile, "PositionSource", "", shell::kSetup).empty())
        return true;
    static const char* const kNames[] = {"Link", "Feed", "Both"};
    bool ok = shell::WriteIniValue(configFile, shell::kSetup, "PositionSource", kNames[static_cast<int>(s.source)]);
    ok = shell::WriteIniValue(configFile, shell::kSetup, "FeedURL", s.url) && ok;
    ok = shell::WriteIniValue(configFile, shell::kSetup, "FeedInterval", std::to_string(s.intervalSeconds)) && ok;
    return ok;
}

std::string FeedURLProblem(const std::string& url)
{
    if (!UsableAddress(QUrl(QString::fromStdString(platform::Trim(url)), QUrl::StrictMode)))
        return "The data feed's address must be an http:// or https:// address, e.g. "
               "https://data.example.net/v3/data.json";
    return {};
}

} // namespace quadrantel::feed
