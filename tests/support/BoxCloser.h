#pragma once

// Closes the modal boxes that the code under test shows, recording what each message box said,
// and any other modal dialog without recording it. While one lives, the modal guard
// (ModalGuard.h) leaves dialogs to it.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

struct ShownBox
{
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QStringList buttons;
};

class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        ++s_waiting;
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->isVisible())
                return;
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                ShownBox shown{box->windowTitle(), box->text(), box->icon(), {}};
                for (QAbstractButton *b : box->buttons())
                    shown.buttons.append(b->text());
                boxes.append(shown);
                box->accept();
            } else if (auto *dialog = qobject_cast<QDialog *>(w)) {
                dialog->done(0);
            }
        });
        m_timer.start();
    }
    ~BoxCloser() override { --s_waiting; }
    BoxCloser(const BoxCloser &) = delete;
    BoxCloser &operator=(const BoxCloser &) = delete;

    // How many closers are waiting for boxes now.
    static int waiting() { return s_waiting; }

    QStringList texts() const
    {
        QStringList result;
        for (const ShownBox &b : boxes)
            result.append(b.text);
        return result;
    }

    QList<ShownBox> boxes;

private:
    QTimer m_timer;
    inline static int s_waiting = 0;
};

// Runs f and returns the texts of the message boxes it showed.
inline QStringList boxesDuring(const std::function<void()> &f)
{
    BoxCloser closer;
    f();
    return closer.texts();
}
