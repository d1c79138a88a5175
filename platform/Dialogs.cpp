#include "platform/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {
QString g_title;

void centreOnScreen(QMessageBox &box)
{
    box.adjustSize();
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        box.move(r.center() - QPoint(box.width() / 2, box.height() / 2));
    }
}

int runBox(QMessageBox::Icon icon, const QString &caption, const QString &text, const QString &ok = {})
{
    // A box needs a widget application; without one (a command-line tool) the text goes to the
    // error stream instead of being lost.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        qWarning("%s: %s", qUtf8Printable(caption), qUtf8Printable(text));
        return 0;
    }
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton *button = box.addButton(ok.isEmpty() ? QStringLiteral("OK") : ok, QMessageBox::AcceptRole);
    box.setDefaultButton(button);
    box.setEscapeButton(button);
    centreOnScreen(box);
    return box.exec();
}
} // namespace

void setApplicationTitle(const QString &title)
{
    g_title = title;
}

QString applicationTitle()
{
    return g_title;
}

void ShowMessage(const QString &text)
{
    runBox(QMessageBox::NoIcon, g_title, text);
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBox(const QString &message)
{
    runBox(QMessageBox::Critical, g_title, errorBoxText(message));
}

int ConfirmDialog(const QString &text)
{
    return runBox(QMessageBox::Question, QStringLiteral("Confirm"), text);
}

QString SaveFileDialog(const QString &caption, const QString &fileName, const QString &filter)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return QString();
    QFileDialog dialog(QApplication::activeWindow(), caption, fileName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without the suggested one's ending gets it.
    dialog.setDefaultSuffix(QFileInfo(fileName).suffix());
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
