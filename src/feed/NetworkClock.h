#pragma once

#include <cstdint>

namespace quadrantel::platform {
class Clock;
}

namespace quadrantel::feed {

// A file older than this at its delivery is not dated by its delivery.
inline constexpr std::int64_t kMaxDeliveryMs = 120'000;

// The network's time as its data file tells it: the time of the latest file when it arrived,
// moved on by the local monotonic clock. The PC's own clock, minutes off after a sleep, sets
// no age, no projection and no expiry.
class NetworkClock {
public:
    explicit NetworkClock(const platform::Clock& local) : local_(local) {}

    // A new file arrived: its own update time, and the time the server gave in its answer
    // (the HTTP Date), each 0 when not given.
    void FileArrived(std::int64_t updatedMs, std::int64_t serverMs);
    // Ms since the epoch on the network's clock; the PC's before the first file.
    std::int64_t NowMs() const;
    // Ms since the latest file arrived, on the monotonic clock.
    std::int64_t SinceArrivalMs() const;

private:
    const platform::Clock& local_;
    bool known_ = false;
    std::int64_t atArrivalMs_ = 0; // network time when the latest file arrived
    std::int64_t arrivalMono_ = 0;
};

} // namespace quadrantel::feed
