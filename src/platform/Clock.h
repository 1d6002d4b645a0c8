#pragma once

#include <QDateTime>
#include <QElapsedTimer>

namespace quadrantel::platform {

// Source of the current local date and time, and of time that passes; tests inject a fake.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // The same moment as milliseconds since the epoch; cheaper where no local time is needed.
    virtual qint64 nowMSecs() const { return now().toMSecsSinceEpoch(); }
    // Milliseconds from some fixed moment, never set back nor forward with the date and time:
    // how long something took. A clock without such a count of its own counts with its date.
    virtual qint64 monotonicMSecs() const { return nowMSecs(); }
};

class SystemClock final : public Clock {
public:
    SystemClock() { started_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 nowMSecs() const override { return QDateTime::currentMSecsSinceEpoch(); }
    qint64 monotonicMSecs() const override { return started_.elapsed(); }

private:
    QElapsedTimer started_;
};

// The process-wide clock used where no other is injected.
Clock& DefaultClock();

} // namespace quadrantel::platform
