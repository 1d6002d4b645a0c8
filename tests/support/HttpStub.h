#pragma once

#include "TestPaths.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <list>
#include <memory>
#include <string>

namespace quadrantel::test {

// A scripted HTTP/1.1 server on 127.0.0.1, plain or TLS: each request is answered by the
// handler, one request a connection. Records the requests' head.
class HttpStub {
public:
    struct Answer {
        QByteArray head; // status line and headers, without the empty line
        QByteArray body;
        bool holdOpen = false; // send what there is and keep the connection open
        int delayMs = 0;       // before the answer
        QByteArray drip = {};  // then sent again every `dripEveryMs`, `drips` times (-1: for ever)
        int drips = -1;
        int dripEveryMs = 1;
    };
    using Handler = std::function<Answer(const QByteArray& requestHead)>;

    // "HTTP/1.1 200 OK" with Content-Length and these extra header lines.
    static Answer Ok(const QByteArray& body, const QByteArray& headers = {})
    {
        return {"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + headers, body};
    }
    static Answer Status(int code, const QByteArray& headers = {})
    {
        return {"HTTP/1.1 " + QByteArray::number(code) + " X\r\nContent-Length: 0\r\n" + headers, {}};
    }

    // tls: serve with the test certificate from tests/data.
    explicit HttpStub(Handler handler, bool tls = false) : handler_(std::move(handler))
    {
        if (tls) {
            auto* ssl = new QSslServer;
            QSslConfiguration c = QSslConfiguration::defaultConfiguration();
            c.setLocalCertificate(Certificate());
            QFile key(QString(QUADRANTEL_TEST_DATA_DIR) + "/feed-test-key.pem");
            key.open(QIODevice::ReadOnly);
            c.setPrivateKey(QSslKey(&key, QSsl::Rsa));
            ssl->setSslConfiguration(c);
            server_.reset(ssl);
            QObject::connect(ssl, &QSslServer::pendingConnectionAvailable, ssl, [this] { accept(); });
        } else {
            server_ = std::make_unique<QTcpServer>();
            QObject::connect(server_.get(), &QTcpServer::pendingConnectionAvailable, server_.get(),
                             [this] { accept(); });
        }
        server_->listen(QHostAddress::LocalHost, 0);
    }

    static QSslCertificate Certificate()
    {
        return QSslCertificate::fromPath(QString(QUADRANTEL_TEST_DATA_DIR) + "/feed-test-cert.pem").value(0);
    }

    QUrl url(const QString& path = "/feed.json", const char* scheme = "http") const
    {
        return QUrl(QString("%1://127.0.0.1:%2%3").arg(scheme).arg(server_->serverPort()).arg(path));
    }

    int requests = 0;
    int closed = 0; // connections gone
    QByteArray lastRequest;

private:
    void accept()
    {
        while (QTcpSocket* s = server_->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                *buffer += s->readAll();
                const int end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                ++requests;
                lastRequest = buffer->left(end);
                buffer->clear();
                const Answer a = handler_(lastRequest);
                QTimer::singleShot(a.delayMs, s, [s, a] {
                    s->write(a.head + "\r\n" + a.body);
                    if (a.drip.isEmpty() && !a.holdOpen)
                        s->disconnectFromHost();
                    if (a.drip.isEmpty())
                        return;
                    auto* timer = new QTimer(s);
                    auto left = std::make_shared<int>(a.drips);
                    QObject::connect(timer, &QTimer::timeout, s, [s, a, timer, left] {
                        if (*left == 0) {
                            timer->stop();
                            if (!a.holdOpen)
                                s->disconnectFromHost();
                            return;
                        }
                        if (s->bytesToWrite() > (1 << 20))
                            return; // as fast as the client takes it
                        --*left;
                        s->write(a.drip);
                    });
                    timer->start(a.dripEveryMs);
                });
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, [this, s] {
                ++closed;
                s->deleteLater();
            });
        }
    }

    Handler handler_;
    std::unique_ptr<QTcpServer> server_;
};

} // namespace quadrantel::test
