#include "launcher/CloseAction.h"

#include <QCloseEvent>
#include <QWidget>

void applyCloseAction(QWidget *window, QCloseEvent *event, TCloseAction action)
{
    switch (action) {
    case caNone:
        event->ignore();
        return;
    case caMinimize:
        event->ignore();
        window->showMinimized();
        return;
    case caFree:
        window->setAttribute(Qt::WA_DeleteOnClose);
        break;
    case caHide:
        break;
    }
    event->accept();
}

void setDialogFrame(QWidget *window, Qt::WindowType kind, const QSize &client)
{
    window->setWindowFlags(kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window->setFixedSize(client);
}
