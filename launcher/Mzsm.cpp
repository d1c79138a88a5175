#include "launcher/Mzsm.h"

#include "launcher/One.h"
#include "platform/Fonts.h"
#include "ui_Mzsm.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

TF_Mzsm *F_Mzsm = nullptr;

TF_Mzsm::TF_Mzsm(QWidget *parent) : QWidget(parent)
{
    Ui::TF_Mzsm ui;
    ui.setupUi(this);
    usePixelFontSizes(this);
    setDialogFrame(this, Qt::Window, QSize(586, 472));
    move(418, 194);

    Memo1 = ui.Memo1;
    // The memo has the menu bar's colour and a flat one-pixel border.
    QPalette p = Memo1->palette();
    p.setColor(QPalette::Base, palette().color(QPalette::Window));
    Memo1->setPalette(p);
    Memo1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Memo1->setLineWidth(1);
}

TF_Mzsm::~TF_Mzsm() = default;

void TF_Mzsm::FormClose(QObject *, TCloseAction &action)
{
    F_one->Button11->setEnabled(true);
    action = caFree;
}

void TF_Mzsm::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    FormClose(this, action);
    applyCloseAction(this, event, action);
}
