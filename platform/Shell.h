#pragma once

#include <QString>

class QWidget;

// Show commands as the Windows shell knows them; passed on where the platform has the notion.
namespace ShowCommand {
constexpr int Normal = 1;      // SW_SHOWNORMAL
constexpr int Show = 5;        // SW_SHOW
constexpr int MinNoActive = 7; // SW_SHOWMINNOACTIVE
} // namespace ShowCommand

// Opens an address with the user's default handler. The one door to the browser, so tests can
// see exactly what was asked. Failures are not reported to the caller.
class Shell
{
public:
    virtual ~Shell() = default;
    // verb: "open" or empty for the default action; file: the address as given by the caller.
    virtual void execute(QWidget *owner, const QString &verb, const QString &file, int showCommand) = 0;

    static Shell &instance();
    // Replaces the shell (tests); nullptr restores the desktop shell. Does not take ownership.
    static void setInstance(Shell *shell);

    // The URL the Windows shell would open for this text: a bare host such as "www.example.com"
    // opens as http. An empty result means nothing to open.
    static QString toUrlText(const QString &file);

    // Whether a text from outside (a stored web site, a downloaded address) may be opened: an
    // http or https URL, or a bare host name (with optional port and path) that opens as http.
    // Anything else, such as a local file, a program or another scheme, is not opened.
    static bool isWebAddress(const QString &text);
};

// The real shell: QDesktopServices on Linux, ShellExecuteW on Windows.
class DesktopShell : public Shell
{
public:
    void execute(QWidget *owner, const QString &verb, const QString &file, int showCommand) override;
};
