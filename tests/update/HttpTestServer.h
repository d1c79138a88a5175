#pragma once

// A small HTTP server on 127.0.0.1 for the download tests. Each request's path goes to the
// handler, which answers through the helpers below (or not at all).

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(QTcpSocket *socket, const QByteArray &path)>;

    explicit HttpTestServer(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &HttpTestServer::accept);
        m_server.listen(QHostAddress::LocalHost);
    }

    ~HttpTestServer() override
    {
        // Sockets still open must not report back into a half-destroyed server.
        for (QTcpSocket *s : findChildren<QTcpSocket *>())
            disconnect(s, nullptr, this, nullptr);
        for (QTcpSocket *s : m_server.findChildren<QTcpSocket *>())
            disconnect(s, nullptr, this, nullptr);
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void setHandler(Handler h) { m_handler = std::move(h); }
    int requests() const { return m_requests; }

    static void reply(QTcpSocket *s, int status, const QByteArray &body,
                      const QByteArray &extraHeaders = {})
    {
        s->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders
                 + "\r\n" + body);
        s->disconnectFromHost();
    }
    static void redirect(QTcpSocket *s, const QByteArray &location)
    {
        reply(s, 302, QByteArray(), "Location: " + location + "\r\n");
    }
    // Chunked, so no length is announced in advance.
    static void replyChunked(QTcpSocket *s, const QByteArray &body, int chunk = 4096)
    {
        s->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        for (int i = 0; i < body.size(); i += chunk) {
            const QByteArray part = body.mid(i, chunk);
            s->write(QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n");
        }
        s->write("0\r\n\r\n");
        s->disconnectFromHost();
    }
    // Announces more than it sends, then closes.
    static void replyTruncated(QTcpSocket *s, const QByteArray &body)
    {
        s->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size() * 2)
                 + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }

private slots:
    void accept()
    {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                m_buffers.remove(s);
                s->deleteLater();
            });
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                m_buffers[s] += s->readAll();
                const QByteArray &buf = m_buffers[s];
                if (!buf.contains("\r\n\r\n"))
                    return;
                const QList<QByteArray> first = buf.left(buf.indexOf("\r\n")).split(' ');
                const QByteArray path = first.size() > 1 ? first.at(1) : QByteArray();
                m_buffers.remove(s);
                ++m_requests;
                if (m_handler)
                    m_handler(s, path);
            });
        }
    }

private:
    Handler m_handler;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    int m_requests = 0;
    // Last, so its sockets go (and report their disconnection) while the rest still exists.
    QTcpServer m_server;
};
