#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <string>

namespace quadrantel::test {

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
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1280x800x24")});
        QDeadlineTimer deadline(timeoutMs);
        while (!process_.canReadLine() && process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        if (process_.canReadLine())
            display_ = ":" + process_.readLine().trimmed().toStdString();
        return display_;
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
