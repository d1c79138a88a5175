#include "launcher/About.h"

#include "launcher/One.h"
#include "platform/Fonts.h"
#include "ui_About.h"

#include <QCloseEvent>
#include <QPushButton>

TF_About *F_About = nullptr;

TF_About::TF_About(QWidget *parent) : QWidget(parent)
{
    Ui::TF_About ui;
    ui.setupUi(this);
    usePixelFontSizes(this);
    setDialogFrame(this, Qt::Window, QSize(440, 273));
    move(344, 332);

    Label1 = ui.Label1;
    Label2 = ui.Label2;
    Label3 = ui.Label3;
    Label4 = ui.Label4;
    Label5 = ui.Label5;
    Label6 = ui.Label6;
    Label7 = ui.Label7;
    Label8 = ui.Label8;
    Label9 = ui.Label9;
    Label10 = ui.Label10;
    Label11 = ui.Label11;
    Label12 = ui.Label12;
    Label13 = ui.Label13;

    // The company's particulars are settings of the build.
    Label9->setText(QString::fromUtf8(LSS_COMPANY));
    Label7->setText(QString::fromUtf8(LSS_COMPANY_ADDRESS));
    Label13->setText(QString::fromUtf8(LSS_COMPANY_PHONE));
    Label11->setText(QString::fromUtf8(LSS_COMPANY_FAX));
    Label3->setText(QString::fromUtf8(LSS_COPYRIGHT));

    // Labels are as large as their text; Label3 keeps its designed width.
    for (QLabel *label : {Label1, Label2, Label4, Label5, Label6, Label7, Label8, Label9, Label10,
                          Label11, Label12, Label13})
        label->adjustSize();
    Label3->resize(282, Label3->sizeHint().height());
}

TF_About::~TF_About() = default;

void TF_About::FormClose(QObject *, TCloseAction &action)
{
    F_one->Button12->setEnabled(true);
    action = caFree;
}

void TF_About::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    FormClose(this, action);
    applyCloseAction(this, event, action);
}
