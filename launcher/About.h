#pragma once

#include "platform/CloseAction.h"
#include "ui_About.h"

#include <QWidget>

// The about window: the company's particulars and the version.
class TF_About : public QWidget, public Ui_TF_About
{
    Q_OBJECT
public:
    explicit TF_About(QWidget *parent = nullptr);
    ~TF_About() override;

    void FormClose(QObject *sender, TCloseAction &action);

signals:
    // The window has accepted closing and goes once the event has finished.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
};

extern TF_About *F_About;
