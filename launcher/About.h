#pragma once

#include "launcher/CloseAction.h"

#include <QWidget>

class QLabel;

// The about window: the company's particulars and the version.
class TF_About : public QWidget
{
    Q_OBJECT
public:
    explicit TF_About(QWidget *parent = nullptr);
    ~TF_About() override;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label13 = nullptr;

    void FormClose(QObject *sender, TCloseAction &action);

protected:
    void closeEvent(QCloseEvent *event) override;
};

extern TF_About *F_About;
