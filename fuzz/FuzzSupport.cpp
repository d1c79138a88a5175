#include "fuzz/FuzzSupport.h"

#include <QHash>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

// Present when a sanitizer runtime is linked in.
extern "C" void __sanitizer_set_report_fd(void *fd) __attribute__((weak));

namespace fuzz {

namespace {

bool g_replay = false;

// The process's own standard error, kept before any catch replaces descriptor 2. Under libFuzzer
// sanitizer reports go there directly; a replay copies the caught output out when it dies.
int realStderr()
{
    static const int fd = [] {
        const int d = dup(STDERR_FILENO);
        if (!g_replay && __sanitizer_set_report_fd && d >= 0)
            __sanitizer_set_report_fd(reinterpret_cast<void *>(intptr_t(d)));
        return d;
    }();
    return fd;
}

int realStdout()
{
    static const int fd = dup(STDOUT_FILENO);
    return fd;
}

int catchFile()
{
    static const int fd = memfd_create("lss-fuzz-output", MFD_CLOEXEC);
    return fd;
}

void writeAll(int fd, const char *p, size_t n)
{
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w <= 0)
            return;
        p += w;
        n -= size_t(w);
    }
}

} // namespace

MemoryFile::MemoryFile(const uint8_t *data, size_t size)
{
    m_fd = memfd_create("lss-fuzz-input", MFD_CLOEXEC);
    if (m_fd < 0)
        fail("memfd_create failed");
    writeAll(m_fd, reinterpret_cast<const char *>(data), size);
    m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

MemoryFile::~MemoryFile()
{
    close(m_fd);
}

OutputCatcher::OutputCatcher()
{
    const int err = realStderr();
    const int out = realStdout();
    const int file = catchFile();
    if (err < 0 || out < 0 || file < 0)
        fail("cannot set up the output catch");
    std::fflush(stdout);
    std::fflush(stderr);
    if (ftruncate(file, 0) != 0 || lseek(file, 0, SEEK_SET) != 0)
        fail("cannot reset the output catch");
    dup2(file, STDOUT_FILENO);
    dup2(file, STDERR_FILENO);
}

OutputCatcher::~OutputCatcher()
{
    if (m_active)
        take();
}

QByteArray OutputCatcher::take()
{
    m_active = false;
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(realStdout(), STDOUT_FILENO);
    dup2(realStderr(), STDERR_FILENO);
    const int file = catchFile();
    const off_t size = lseek(file, 0, SEEK_END);
    QByteArray text(qsizetype(size > 0 ? size : 0), '\0');
    if (size > 0 && pread(file, text.data(), size_t(size), 0) != size)
        text.clear();
    return text;
}

void setReplay()
{
    g_replay = true;
}

void releaseCaughtOutput()
{
    const int err = realStderr();
    const int out = realStdout();
    if (err < 0 || out < 0)
        return;
    // Only calls that are safe in a signal handler.
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    const int file = catchFile();
    char buf[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t n = pread(file, buf, sizeof buf, at);
        if (n <= 0)
            break;
        writeAll(err, buf, size_t(n));
        at += n;
    }
    if (ftruncate(file, 0) != 0)
        return;
}

void fail(const char *what, const QString &detail)
{
    QByteArray text = QByteArrayLiteral("FUZZ CHECK FAILED: ") + what;
    if (!detail.isEmpty())
        text += QByteArrayLiteral(": ") + detail.left(2000).toUtf8();
    text += '\n';
    const int fd = realStderr();
    writeAll(fd >= 0 ? fd : STDERR_FILENO, text.constData(), size_t(text.size()));
    std::abort();
}

bool matchesOneOf(const QString &text, const QStringList &templates)
{
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    static QHash<QString, QRegularExpression> compiled;
    for (const QString &t : templates) {
        auto known = compiled.constFind(t);
        if (known != compiled.constEnd()) {
            if (known->match(text).hasMatch())
                return true;
            continue;
        }
        QString pattern;
        qsizetype from = 0;
        for (auto it = placeholder.globalMatch(t); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            pattern += QRegularExpression::escape(t.mid(from, m.capturedStart() - from)) + QStringLiteral("(.*)");
            from = m.capturedEnd();
        }
        pattern += QRegularExpression::escape(t.mid(from));
        const QRegularExpression re(QRegularExpression::anchoredPattern(pattern),
                                    QRegularExpression::DotMatchesEverythingOption);
        compiled.insert(t, re);
        if (re.match(text).hasMatch())
            return true;
    }
    return false;
}

bool hasChinese(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff)
            return true;
    return false;
}

} // namespace fuzz
