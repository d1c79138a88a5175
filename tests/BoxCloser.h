#pragma once

// Closes the modal message boxes that the code under test shows, recording what each said.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            ShownBox shown{box->windowTitle(), box->text(), box->icon(), {}};
            for (QAbstractButton *b : box->buttons())
                shown.buttons.append(b->text());
            boxes.append(shown);
            box->accept();
        });
        m_timer.start();
    }

    QList<ShownBox> boxes;

private:
    QTimer m_timer;
};
