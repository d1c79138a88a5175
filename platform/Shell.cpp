#include "platform/Shell.h"

#include <QDesktopServices>
#include <QRegularExpression>
#include <QUrl>
#include <QWidget>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <shellapi.h>
#include <windows.h>
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

bool Shell::isWebAddress(const QString &text)
{
    if (text.isEmpty())
        return false;
    static const QRegularExpression scheme(QStringLiteral("^https?://"), QRegularExpression::CaseInsensitiveOption);
    if (scheme.match(text).hasMatch()) {
        const QUrl url(text, QUrl::StrictMode);
        return url.isValid() && !url.host().isEmpty();
    }
    // A bare host: dotted labels of letters, digits and hyphens, then an optional port and
    // path. No blanks, backslashes or drive letters, so no local path passes.
    static const QRegularExpression host(QStringLiteral("^[\\p{L}\\p{N}](?:[\\p{L}\\p{N}-]*[\\p{L}\\p{N}])?"
                                                        "(?:\\.[\\p{L}\\p{N}](?:[\\p{L}\\p{N}-]*[\\p{L}\\p{N}])?)+"
                                                        "(?::[0-9]{1,5})?(?:/[^\\s\\\\]*)?$"));
    const QRegularExpressionMatch m = host.match(text);
    if (!m.hasMatch())
        return false;
    // A name that the shell would rather run as a program or script than browse to.
    static const QRegularExpression program(
        QStringLiteral("\\.(?:exe|bat|cmd|msi|scr|pif|vbs|vbe|js|jse|wsf|wsh|lnk|hta|cpl|ps1|reg|"
                       "dll|jar|sys|inf)(?:[:/]|$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString hostPart = text.section(QLatin1Char('/'), 0, 0);
    if (program.match(hostPart).hasMatch())
        return false;
    const QUrl url(toUrlText(text), QUrl::StrictMode);
    return url.isValid() && url.scheme() == QLatin1String("http") && !url.host().isEmpty();
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
