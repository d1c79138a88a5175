#pragma once

// What the fuzz targets share: the input as a file the code under test can open by name, the
// output that code writes while it runs, and the way a target reports a wrong answer.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The input as an anonymous in-memory file, named by /proc/self/fd/N while the object lives.
class MemoryFile
{
public:
    MemoryFile(const uint8_t *data, size_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;
    const QString &path() const { return m_path; }

private:
    int m_fd = -1;
    QString m_path;
};

// Catches everything written to standard output and standard error (by us, Qt or a library)
// from construction until take(). Sanitizer reports still go to the real standard error.
class OutputCatcher
{
public:
    OutputCatcher();
    ~OutputCatcher();
    OutputCatcher(const OutputCatcher &) = delete;
    OutputCatcher &operator=(const OutputCatcher &) = delete;
    // Ends the catch and returns what was written.
    QByteArray take();

private:
    bool m_active = true;
};

// For the replay program, before any input runs: sanitizer reports stay on descriptor 2.
void setReplay();
// Ends a catch in progress and writes what it caught to the real standard error: the replay
// calls it when the process dies in the middle of an input, so that no report is lost.
void releaseCaughtOutput();

// A wrong answer: says what and stops the process, so that the fuzzer keeps the input and the
// replay fails.
[[noreturn]] void fail(const char *what, const QString &detail = QString());

inline void check(bool ok, const char *what, const QString &detail = QString())
{
    if (!ok)
        fail(what, detail);
}

// True when the text is one of `templates`, each %1 to %9 standing for any text.
bool matchesOneOf(const QString &text, const QStringList &templates);

// True when the text holds a CJK character (the tools' messages are Chinese).
bool hasChinese(const QString &text);

} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
