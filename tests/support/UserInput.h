#pragma once

// Keys as a user presses them: handed to the window system for the widget's window, which gives
// them to its focus widget, or to the popup that is open (a drop-down list), as on a desktop.
// typeText() instead hands the keys straight to one widget, whatever has the focus. And
// flushDeletes(), which lets the windows a user closed go.

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>
#include <QtTest>

inline void pressKey(QWidget *w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(w->window()->windowHandle(), key, modifiers);
}

// Text in any script, one key per character (QTest::keyClicks takes Latin-1 only).
inline void pressText(QWidget *w, const QString &text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w->window()->windowHandle(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Text in any script, one key per character, straight to the widget.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &release);
    }
}

// Lets windows that freed themselves on close go.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
