#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The network's public data file: every pilot's position, in either of its two layouts.
namespace quadrantel::feed {

// Longer callsigns are no pilot's.
inline constexpr std::size_t kMaxCallsign = 32;

struct Pilot {
    std::string callsign;
    double latitude = 0;              // degrees, north positive
    double longitude = 0;             // degrees, east positive
    std::optional<double> altitudeFt; // none: not given, or not a number
    double groundSpeedKt = -1;        // below 0: not given
    double headingDeg = -1;           // 0 to 360; below 0: not given
    std::int64_t positionMs = 0;      // when the position was taken, epoch ms; 0: not given
    std::string squawk;               // as given, or empty
};

// Status: not the file but the network's status document, which names the file's addresses.
enum class Layout { A, B, Status };

struct Snapshot {
    Layout layout = Layout::A;
    std::int64_t updatedMs = 0;         // the file's own update time; 0: not given
    std::vector<Pilot> pilots;          // one per callsign (case-blind)
    std::size_t skipped = 0;            // pilot entries without a usable position
    std::vector<std::string> addresses; // a status document's addresses of the file
};

// Reads the fields it needs and nothing else. A pilot entry without a callsign or a usable
// position is skipped; a file that is no complete JSON, or of neither layout, is refused as a
// whole with a short reason. What is never read cannot refuse a file: a byte-order mark, bytes
// that are no UTF-8 and raw control characters are mended before reading, and a text that
// cannot be read costs only its entry. Keeps its buffers between files.
class FeedParser {
public:
    FeedParser();
    ~FeedParser();
    FeedParser(const FeedParser&) = delete;
    FeedParser& operator=(const FeedParser&) = delete;

    // True and `out` filled, or false and `error` says why ("not JSON", "neither layout").
    bool Parse(std::string_view json, Snapshot& out, std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quadrantel::feed
