#pragma once

#include <string>

namespace quadrantel::feed {

// The position source chosen in [Setup]; a configuration file without the keys keeps the link.
struct FeedSettings {
    bool feed = false;        // PositionSource: "Link" (default) or "Feed"
    std::string url;          // FeedURL
    int intervalSeconds = 15; // FeedInterval, never below 15
};

FeedSettings ReadFeedSettings(const std::string& configFile);
// False when the file could not be written.
bool WriteFeedSettings(const std::string& configFile, const FeedSettings& settings);

// Why a feed address cannot be used, or the empty text when it can.
std::string FeedURLProblem(const std::string& url);

} // namespace quadrantel::feed
