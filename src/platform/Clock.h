#pragma once

#include <QDateTime>

namespace quadrantel::platform {

// Source of the current local date and time; tests inject a fake.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The process-wide clock used where no other is injected.
Clock& DefaultClock();

} // namespace quadrantel::platform
