#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <string>

namespace quadrantel::test {

// A peer that plays the interface program on a real loopback socket: records what it
// receives and answers on cue.
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

    QTcpServer server;
    QTcpSocket* client = nullptr;
    int accepted = 0;
    std::string received;
};

} // namespace quadrantel::test
