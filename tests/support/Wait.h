#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace quadrantel::test {

// Runs the event loop until the condition holds or the deadline passes.
template <typename Condition> bool WaitUntil(Condition condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Runs the event loop for a while, for checks that something does not happen.
inline void RunEventsFor(int ms)
{
    WaitUntil([] { return false; }, ms);
}

} // namespace quadrantel::test
