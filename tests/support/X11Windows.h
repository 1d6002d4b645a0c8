#pragma once

#include "support/TempDir.h"
#include "support/Wait.h"
#include "support/XvfbServer.h"

#include <QProcess>

#include <string>

namespace quadrantel::test {

// Windows of another process on a private X display: x11_windows_helper opens them from a
// desktop description (the in-memory desktop's text form) and keeps them until close().
class X11Windows {
public:
    // An empty text on success, otherwise what went wrong.
    std::string open(const std::string& description)
    {
        if (server_.display().empty() && server_.start().empty())
            return "Xvfb did not report a display";
        WriteFile(dir_.file("desktop"), description);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(server_.display()));
        helper_.setProcessEnvironment(environment);
        helper_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper_.start(QStringLiteral(X11_WINDOWS_HELPER), {QString::fromStdString(dir_.file("desktop"))});
        if (!WaitUntil([&] { return helper_.canReadLine() || helper_.state() == QProcess::NotRunning; }, 20000))
            return "the window helper did not answer";
        return helper_.readLine().trimmed() == "ready" ? "" : "the window helper failed";
    }

    // The helper ends and its windows go with it.
    bool close()
    {
        helper_.closeWriteChannel();
        return helper_.waitForFinished(10000);
    }

    const std::string& display() const { return server_.display(); }

    ~X11Windows()
    {
        if (helper_.state() != QProcess::NotRunning) {
            close();
            if (helper_.state() != QProcess::NotRunning)
                helper_.kill();
            helper_.waitForFinished(5000);
        }
    }

private:
    XvfbServer server_; // declared first: outlives the helper
    QProcess helper_;
    TempDir dir_;
};

} // namespace quadrantel::test
