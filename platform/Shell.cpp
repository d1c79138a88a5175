#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

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
