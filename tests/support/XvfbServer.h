#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace quadrantel::test {

// A private X display: Xvfb on the first free display number, which it reports through a pipe
// once it accepts connections. Stopped when the object goes.
class XvfbServer {
public:
    static bool Available() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

    // The display name (":N"), or empty when the server did not come up within the time.
    std::string start(int timeoutMs = 20000)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        process_.setProgram(QStandardPaths::findExecutable(QStringLiteral("Xvfb")));
        process_.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-nolisten"),
                               QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                               QStringLiteral("1280x800x24")});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        ::close(fds[1]);
        std::string number;
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            pollfd p{fds[0], POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            if (ready < 0 && errno == EINTR)
                continue;
            char c = 0;
            if (ready <= 0 || ::read(fds[0], &c, 1) != 1)
                break;
            if (c == '\n') {
                ::close(fds[0]);
                display_ = ":" + number;
                return display_;
            }
            number += c;
        }
        ::close(fds[0]);
        return {};
    }

    ~XvfbServer()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }

    const std::string& display() const { return display_; }

private:
    QProcess process_;
    std::string display_;
};

} // namespace quadrantel::test
