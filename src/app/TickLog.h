#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quadrantel::app {

// Lateness of a repeating timer, for soak runs: how far each firing came after the one before
// plus the interval, and how long the handler ran. Writes one summary line per period to `out`.
class TickLog {
public:
    using Clock = std::chrono::steady_clock;

    TickLog(std::string name, int intervalMs, std::FILE* out, std::chrono::seconds period = std::chrono::seconds(60));
    ~TickLog();

    // Around each run of the handler.
    void begin(Clock::time_point now = Clock::now());
    void end(Clock::time_point now = Clock::now());

    struct Figures {
        std::int64_t ticks = 0;
        double maxLateMs = 0;
        double maxRunMs = 0;
        std::int64_t over50 = 0; // ticks that started more than 50 ms late
    };
    const Figures& total() const { return total_; }

private:
    void report(const char* what, const Figures& f);

    std::string name_;
    double intervalMs_;
    std::FILE* out_;
    Clock::duration period_;
    Clock::time_point last_{}, started_{}, periodStart_{};
    Figures total_, current_;
};

} // namespace quadrantel::app
