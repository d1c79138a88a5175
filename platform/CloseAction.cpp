#include "platform/CloseAction.h"

#include <QCloseEvent>
#include <QWidget>

void applyCloseAction(QWidget *window, QCloseEvent *event, TCloseAction action)
{
    switch (action) {
    case caNone: event->ignore(); return;
    case caMinimize:
        event->ignore();
        window->showMinimized();
        return;
    case caFree: window->setAttribute(Qt::WA_DeleteOnClose); break;
    case caHide: break;
    }
    event->accept();
}
