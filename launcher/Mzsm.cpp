#include "launcher/Mzsm.h"

#include "platform/Appearance.h"
#include "platform/Fonts.h"

#include <QCloseEvent>

TF_Mzsm *F_Mzsm = nullptr;

TF_Mzsm::TF_Mzsm(QWidget *parent) : QWidget(parent)
{
    setupUi(this);
    usePixelFontSizes(this);
    setDialogFrame(this, Qt::Window, QSize(586, 472));
    move(418, 194);

    // The memo has the menu bar's colour and a flat one-pixel border.
    QPalette p = Memo1->palette();
    p.setColor(QPalette::Base, palette().color(QPalette::Window));
    Memo1->setPalette(p);
    Memo1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Memo1->setLineWidth(1);
}

TF_Mzsm::~TF_Mzsm()
{
    if (F_Mzsm == this)
        F_Mzsm = nullptr;
}

void TF_Mzsm::FormClose(QObject *, TCloseAction &action)
{
    action = caFree;
}

void TF_Mzsm::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    FormClose(this, action);
    applyCloseAction(this, event, action);
    if (event->isAccepted())
        emit closed();
}
