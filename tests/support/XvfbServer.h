#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <string>

namespace quadrantel::test {

// Asks a child process to end, and ends it when it has not within the grace time.
inline void StopProcess(QProcess& p, int graceMs = 5000)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(graceMs)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

// A private X display: Xvfb on the first free display number, which it prints once it
// accepts connections. Stopped when the object goes.
class XvfbServer {
public:
    static bool Available() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

    // The display name (":N"), or empty when the server did not come up within the time.
    std::string start(int timeoutMs = 20000)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                       {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
        QDeadlineTimer deadline(timeoutMs);
        while (!process_.canReadLine() && process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        if (!process_.canReadLine())
            return {};
        return ":" + process_.readLine().trimmed().toStdString();
    }

    ~XvfbServer() { StopProcess(process_); }

private:
    QProcess process_;
};

} // namespace quadrantel::test
