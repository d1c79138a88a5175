#include "platform/Download.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>

NetworkDownloader::NetworkDownloader(int timeoutMs, int maxRedirects, qint64 maxBytes)
    : m_timeoutMs(timeoutMs), m_maxRedirects(maxRedirects), m_maxBytes(maxBytes)
{
}

bool NetworkDownloader::downloadToFile(const QString &url, const QString &path)
{
    bool ok = false;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        // Nothing may escape a thread's function; a failure there is a failed download.
        try {
            ok = transfer(url, path);
        } catch (...) {
            ok = false;
        }
    }));
    worker->start();
    worker->wait();
    return ok;
}

// Runs on the worker thread, with an event loop of that thread for the network's events only.
bool NetworkDownloader::transfer(const QString &url, const QString &path) const
{
    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;

    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_maxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);

    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QByteArray body;
    bool aborted = false;
    QEventLoop loop;

    auto tooLarge = [&](qint64 size) {
        if (size > m_maxBytes && !aborted) {
            aborted = true;
            reply->abort();
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            tooLarge(length.toLongLong());
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        if (aborted)
            return;
        body += reply->readAll();
        tooLarge(body.size());
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    // One deadline for the whole transfer: a server that trickles bytes must not hold the
    // start-up any longer than one that sends nothing.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        aborted = true;
        reply->abort();
    });
    deadline.start(m_timeoutMs);

    if (!reply->isFinished())
        loop.exec();
    deadline.stop();

    if (aborted || reply->error() != QNetworkReply::NoError)
        return false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return false;
    body += reply->readAll();
    if (body.size() > m_maxBytes)
        return false;

    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        return false;
    QSaveFile file(target.absoluteFilePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(body) != body.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
