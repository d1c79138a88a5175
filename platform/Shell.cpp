#include "platform/Shell.h"

#include <QDesktopServices>
#include <QtGlobal>
#include <QUrl>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

#include <cstdio>

namespace {
Shell *g_override = nullptr;
}

Shell &Shell::instance()
{
    static DesktopShell desktop;
    return g_override ? *g_override : desktop;
}

void Shell::setInstance(Shell *shell)
{
    g_override = shell;
}

QString Shell::toUrlText(const QString &file)
{
    if (file.isEmpty())
        return {};
    const QUrl url(file);
    // A text without a scheme (or a host-looking "www.x.com:80" parsed as scheme "www.x.com")
    // is what the shell opens as a web host.
    if (url.scheme().isEmpty() || file.startsWith(url.scheme() + QLatin1Char('.'))
        || (url.scheme().contains(QLatin1Char('.'))))
        return QStringLiteral("http://") + file;
    return file;
}

void DesktopShell::execute(QWidget *owner, const QString &verb, const QString &file, int showCommand)
{
    // Test hook: tests that run the program as a child process set LSS_TEST_SHELL_LOG=1 to have
    // each request reported on stderr instead of opening a browser.
    if (qEnvironmentVariableIntValue("LSS_TEST_SHELL_LOG") == 1) {
        std::fprintf(stderr, "SHELL [%s] [%s] show=%d\n", verb.toUtf8().constData(),
                     file.toUtf8().constData(), showCommand);
        std::fflush(stderr);
        return;
    }
#ifdef Q_OS_WIN
    HWND hwnd = owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    ShellExecuteW(hwnd, verb.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(verb.utf16()),
                  reinterpret_cast<LPCWSTR>(file.utf16()), nullptr, nullptr, showCommand);
#else
    Q_UNUSED(owner);
    Q_UNUSED(verb);
    Q_UNUSED(showCommand);
    const QString text = toUrlText(file);
    if (!text.isEmpty())
        QDesktopServices::openUrl(QUrl(text));
#endif
}
