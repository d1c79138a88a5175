#include "support/ModalGuard.h"

#include "support/BoxCloser.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QtTest>

namespace {
ModalGuard *g_guard = nullptr;
ModalGuard::Recording *g_recording = nullptr;

// Every suite gets the guard with its application, whichever main() it uses; a suite without
// widgets cannot show a box and gets none.
void installModalGuard()
{
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        new ModalGuard(app);
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(installModalGuard)

QString ModalGuard::Report::describe() const
{
    return QStringLiteral("an unexpected modal %1 stayed open and was closed: [%2] %3").arg(className, caption, text);
}

ModalGuard::Recording::Recording()
{
    g_recording = this;
}

ModalGuard::Recording::~Recording()
{
    if (g_recording == this)
        g_recording = nullptr;
}

ModalGuard::ModalGuard(QObject *parent) : QObject(parent)
{
    g_guard = this;
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    m_timer.start();
}

ModalGuard::~ModalGuard()
{
    if (g_guard == this)
        g_guard = nullptr;
}

ModalGuard *ModalGuard::instance()
{
    return g_guard;
}

void ModalGuard::poll()
{
    QWidget *w = QApplication::activeModalWidget();
    // A BoxCloser answers every dialog within milliseconds; only what it cannot close is ours.
    if (!w || !w->isVisible() || (BoxCloser::waiting() > 0 && qobject_cast<QDialog *>(w))) {
        m_seen = nullptr;
        return;
    }
    if (w != m_seen) {
        m_seen = w;
        m_since.start();
        return;
    }
    if (m_since.elapsed() < kGraceMs)
        return;
    m_seen = nullptr;
    const Report report = describe(w);
    dismiss(w);
    if (g_recording) {
        g_recording->reports.append(report);
        return;
    }
    // Marks the running test function failed; it goes on from the closed box and ends as usual.
    // Outside any test function (the application ending) there is nothing to fail but the text
    // still shows.
    const QByteArray message = report.describe().toUtf8();
    if (QTest::currentTestFunction())
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    else
        qCritical("%s", message.constData());
}

ModalGuard::Report ModalGuard::describe(QWidget *w)
{
    Report r{QString::fromLatin1(w->metaObject()->className()), w->windowTitle(), QString()};
    if (auto *box = qobject_cast<QMessageBox *>(w)) {
        r.text = box->text();
        if (!box->informativeText().isEmpty())
            r.text += QLatin1Char(' ') + box->informativeText();
    } else if (auto *files = qobject_cast<QFileDialog *>(w)) {
        r.text = files->directory().path();
    } else {
        QStringList labels;
        for (const QLabel *label : w->findChildren<QLabel *>())
            if (!label->text().isEmpty())
                labels << label->text();
        r.text = labels.join(QLatin1Char(' '));
    }
    return r;
}

void ModalGuard::dismiss(QWidget *w)
{
    // done() rather than reject(): a window may refuse Escape by overriding reject().
    if (auto *dialog = qobject_cast<QDialog *>(w))
        dialog->done(QDialog::Rejected);
    else
        w->close();
    // A widget that refuses to close still leaves: hiding a modal window ends its loop.
    if (w->isVisible())
        w->hide();
}
