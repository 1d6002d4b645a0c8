#include "app/TickLog.h"

#include "platform/Numbers.h"

#include <algorithm>

namespace quadrantel::app {

namespace {
double Ms(TickLog::Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}
} // namespace

TickLog::TickLog(std::string name, int intervalMs, std::FILE* out, std::chrono::seconds period)
    : name_(std::move(name)), intervalMs_(intervalMs), out_(out), period_(period)
{
}

TickLog::~TickLog()
{
    report("total", total_);
}

void TickLog::begin(Clock::time_point now)
{
    if (last_ != Clock::time_point{}) {
        const double late = std::max(0.0, Ms(now - last_) - intervalMs_);
        for (Figures* f : {&total_, &current_}) {
            f->maxLateMs = std::max(f->maxLateMs, late);
            if (late > 50)
                ++f->over50;
        }
    } else {
        periodStart_ = now;
    }
    ++total_.ticks;
    ++current_.ticks;
    last_ = started_ = now;
}

void TickLog::end(Clock::time_point now)
{
    const double run = Ms(now - started_);
    total_.maxRunMs = std::max(total_.maxRunMs, run);
    current_.maxRunMs = std::max(current_.maxRunMs, run);
    if (now - periodStart_ >= period_) {
        report("period", current_);
        current_ = {};
        periodStart_ = now;
    }
}

void TickLog::report(const char* what, const Figures& f)
{
    if (!out_)
        return;
    // The scripts that read these lines expect a decimal point in any locale.
    std::fprintf(out_, "ticklog %s %s ticks=%lld max_late_ms=%s over_50ms=%lld max_run_ms=%s\n", name_.c_str(), what,
                 static_cast<long long>(f.ticks), platform::NumberText(f.maxLateMs, 'f', 1).c_str(),
                 static_cast<long long>(f.over50), platform::NumberText(f.maxRunMs, 'f', 1).c_str());
    std::fflush(out_);
}

} // namespace quadrantel::app
