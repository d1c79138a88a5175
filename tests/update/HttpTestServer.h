#pragma once

// A small HTTP server on 127.0.0.1 for the download tests. It runs on a thread of its own, so it
// answers while the test's thread waits for a download. Each request's path goes to the handler,
// on the server's thread, which answers through the helpers below (or not at all).

#include <QHash>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <functional>

class HttpTestServer
{
public:
    using Handler = std::function<void(QTcpSocket *socket, const QByteArray &path)>;

    HttpTestServer()
    {
        m_anchor = new QObject;
        m_anchor->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_anchor, [this] { start(); }, Qt::BlockingQueuedConnection);
    }

    ~HttpTestServer()
    {
        QMetaObject::invokeMethod(
            m_anchor,
            [this] {
                // Sockets still open must not report back into a server that is going.
                for (QTcpSocket *s : m_buffers.keys())
                    s->disconnect();
                delete m_server;
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_anchor;
    }

    HttpTestServer(const HttpTestServer &) = delete;
    HttpTestServer &operator=(const HttpTestServer &) = delete;

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    void setHandler(Handler h)
    {
        QMutexLocker lock(&m_mutex);
        m_handler = std::move(h);
    }
    int requests() const { return m_requests; }

    static void reply(QTcpSocket *s, int status, const QByteArray &body, const QByteArray &extraHeaders = {})
    {
        s->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body);
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

private:
    // On the server's thread.
    void start()
    {
        m_server = new QTcpServer;
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] { accept(); });
        m_server->listen(QHostAddress::LocalHost);
        m_port = m_server->serverPort();
    }

    void accept()
    {
        while (QTcpSocket *s = m_server->nextPendingConnection()) {
            m_buffers.insert(s, QByteArray());
            QObject::connect(s, &QTcpSocket::disconnected, s, [this, s] {
                m_buffers.remove(s);
                s->deleteLater();
            });
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                QByteArray &buf = m_buffers[s];
                buf += s->readAll();
                if (!buf.contains("\r\n\r\n"))
                    return;
                const QList<QByteArray> first = buf.left(buf.indexOf("\r\n")).split(' ');
                const QByteArray path = first.size() > 1 ? first.at(1) : QByteArray();
                buf.clear();
                ++m_requests;
                Handler handler;
                {
                    QMutexLocker lock(&m_mutex);
                    handler = m_handler;
                }
                if (handler)
                    handler(s, path);
            });
        }
    }

    QThread m_thread;
    QObject *m_anchor = nullptr; // lives on m_thread: what runs there is invoked on it
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QMutex m_mutex;
    Handler m_handler;
    std::atomic<int> m_requests{0};
};
