#pragma once

#include <QDateTime>

namespace quadrantel::platform {

// Source of the current local date and time; tests inject a fake.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // The same moment as milliseconds since the epoch; cheaper where no local time is needed.
    virtual qint64 nowMSecs() const { return now().toMSecsSinceEpoch(); }
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 nowMSecs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

// The process-wide clock used where no other is injected.
Clock& DefaultClock();

} // namespace quadrantel::platform
