#include "launcher/About.h"

#include "platform/Appearance.h"
#include "platform/Fonts.h"

#include <QCloseEvent>

TF_About *F_About = nullptr;

TF_About::TF_About(QWidget *parent) : QWidget(parent)
{
    setupUi(this);
    usePixelFontSizes(this);
    setDialogFrame(this, Qt::Window, QSize(440, 273));
    move(344, 332);

    // The company's particulars are settings of the build.
    Label9->setText(QString::fromUtf8(LSS_COMPANY));
    Label7->setText(QString::fromUtf8(LSS_COMPANY_ADDRESS));
    Label13->setText(QString::fromUtf8(LSS_COMPANY_PHONE));
    Label11->setText(QString::fromUtf8(LSS_COMPANY_FAX));
    Label3->setText(QString::fromUtf8(LSS_COPYRIGHT));

    // Labels are as large as their text; Label3 keeps its designed width.
    for (QLabel *label :
         {Label1, Label2, Label4, Label5, Label6, Label7, Label8, Label9, Label10, Label11, Label12, Label13})
        label->adjustSize();
    Label3->resize(282, Label3->sizeHint().height());
}

TF_About::~TF_About()
{
    if (F_About == this)
        F_About = nullptr;
}

void TF_About::FormClose(QObject *, TCloseAction &action)
{
    action = caFree;
}

void TF_About::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    FormClose(this, action);
    applyCloseAction(this, event, action);
    if (event->isAccepted())
        emit closed();
}
