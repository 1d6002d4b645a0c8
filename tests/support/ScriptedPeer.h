#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <string>
#include <sys/socket.h>

namespace quadrantel::test {

// A peer that plays the interface program on a real loopback socket: records what it
// receives, answers on cue, and can misbehave the way a broken peer does.
class ScriptedPeer {
public:
    ScriptedPeer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            client = server.nextPendingConnection();
            ++accepted;
            QObject::connect(client, &QTcpSocket::readyRead, [this] { received += client->readAll().toStdString(); });
        });
    }
    std::string port() const { return std::to_string(server.serverPort()); }
    void send(const std::string& text)
    {
        client->write(text.data(), static_cast<qint64>(text.size()));
        client->flush();
    }
    // Ends the connection with a reset instead of an orderly close.
    void reset()
    {
        const linger l{1, 0};
        ::setsockopt(static_cast<int>(client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
        client->abort();
    }

    QTcpServer server;
    QTcpSocket* client = nullptr;
    int accepted = 0;
    std::string received;
};

} // namespace quadrantel::test
