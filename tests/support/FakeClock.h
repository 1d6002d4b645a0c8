#pragma once

#include "platform/Clock.h"

namespace quadrantel::test {

// A clock that stands still until the test moves it. Time that passes moves both the date and
// the monotonic count; setting the date moves only the date, as a user setting the PC's clock.
class FakeClock final : public platform::Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2024, 1, 31), QTime(12, 0, 0))) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    qint64 monotonicMSecs() const override { return monotonic_; }
    void set(const QDateTime& t) { now_ = t; }
    void advanceMs(qint64 ms)
    {
        now_ = now_.addMSecs(ms);
        monotonic_ += ms;
    }
    void advance(qint64 seconds) { advanceMs(seconds * 1000); }

private:
    QDateTime now_;
    qint64 monotonic_ = 0;
};

} // namespace quadrantel::test
