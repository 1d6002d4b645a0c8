#pragma once

#include "platform/Clock.h"

namespace quadrantel::test {

// A clock that stands still until the test moves it.
class FakeClock final : public platform::Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2024, 1, 31), QTime(12, 0, 0))) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(const QDateTime& t) { now_ = t; }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }
    void advance(qint64 seconds) { now_ = now_.addSecs(seconds); }

private:
    QDateTime now_;
};

} // namespace quadrantel::test
