#pragma once

#include <QString>

// A synchronous download of one address into one file.
class Downloader
{
public:
    virtual ~Downloader() = default;
    // Returns true only when the whole answer was received and the file written; on false the
    // file is left as it was.
    virtual bool downloadToFile(const QString &url, const QString &path) = 0;
};

// HTTP(S) download with Qt Network. The transfer runs on a thread of its own while the calling
// thread waits without handling any event, so nothing else of the program (a click, a timer, a
// close request) runs until the download is over. Only a complete answer with a 2xx status
// counts; redirects are followed up to a limit, never from https to http. The body is kept in
// memory and written with QSaveFile, so the target is replaced atomically or not at all.
class NetworkDownloader : public Downloader
{
public:
    static constexpr int DefaultTimeoutMs = 15000;
    static constexpr int DefaultMaxRedirects = 5;
    static constexpr qint64 DefaultMaxBytes = 64 * 1024;

    // timeoutMs bounds the whole transfer (connect, redirects and body).
    explicit NetworkDownloader(int timeoutMs = DefaultTimeoutMs, int maxRedirects = DefaultMaxRedirects,
                               qint64 maxBytes = DefaultMaxBytes);

    bool downloadToFile(const QString &url, const QString &path) override;

private:
    bool transfer(const QString &url, const QString &path) const;

    int m_timeoutMs;
    int m_maxRedirects;
    qint64 m_maxBytes;
};
