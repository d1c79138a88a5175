#pragma once

// Runs the program as a child process with the probe loaded (ProgramProbe.cpp): boxes answered
// at once, the desktop's openings recorded, the loop ended as soon as it runs.

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>

struct ProgramRun
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QStringList boxes; // "[caption] [text] icon=N"
    QStringList shell; // "[address]"
    QString run;       // "owned=... main=... visible=N"; empty when the loop never ran
    QString stderrText;
};

// Waits in an event loop, so that servers of this process go on answering the program.
inline ProgramRun runProgram(const QString &exe, const QString &workingDir,
                             const QProcessEnvironment &extra = QProcessEnvironment())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LSS_PROBE_PATH));
    // In a sanitizer build the preloaded probe comes before the sanitizer's runtime, which that
    // runtime refuses unless told the order is fine.
    QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    if (!asan.isEmpty())
        asan += QLatin1Char(':');
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral("verify_asan_link_order=0"));
    // The program's update check goes to a closed local port unless the suite serves one: it
    // fails at once instead of waiting for a name lookup.
    if (!env.contains(QStringLiteral("LSS_SITE_BASE")))
        env.insert(QStringLiteral("LSS_SITE_BASE"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(extra);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingDir);
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    p.start(exe, {});
    loop.exec();

    ProgramRun r;
    r.exitCode = p.exitCode();
    r.status = p.exitStatus();
    r.stderrText = QString::fromUtf8(p.readAllStandardError());
    const QString probe = QStringLiteral("PROBE ");
    for (const QString &line : r.stderrText.split(QLatin1Char('\n'))) {
        if (!line.startsWith(probe))
            continue;
        const QString report = line.mid(probe.size());
        if (report.startsWith(QStringLiteral("BOX ")))
            r.boxes << report.mid(4);
        else if (report.startsWith(QStringLiteral("SHELL ")))
            r.shell << report.mid(6);
        else if (report.startsWith(QStringLiteral("RUN ")))
            r.run = report.mid(4);
    }
    return r;
}

// Lays out a program directory: a copy of the built program in dir and, when asked, a small
// generated directory database beside it. Returns the copy's path, or an empty text on failure.
inline QString installProgram(const QString &dir, bool withDatabase)
{
    if (withDatabase) {
        QProcess gen;
        gen.start(QStringLiteral(LSSDB_PATH),
                  {QStringLiteral("generate"), QDir(dir).filePath(QStringLiteral("lss.dll")),
                   QStringLiteral("--lawyers"), QStringLiteral("20"), QStringLiteral("--seed"), QStringLiteral("1")});
        if (!gen.waitForFinished(-1) || gen.exitCode() != 0)
            return {};
    }
    const QString exe = QDir(dir).filePath(QStringLiteral("lss"));
    QFile::remove(exe);
    if (!QFile::copy(QStringLiteral(LSS_BUILD_DIR "/lss"), exe))
        return {};
    return exe;
}
