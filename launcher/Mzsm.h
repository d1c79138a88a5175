#pragma once

#include "platform/CloseAction.h"
#include "ui_Mzsm.h"

#include <QWidget>

// The disclaimer window.
class TF_Mzsm : public QWidget, public Ui_TF_Mzsm
{
    Q_OBJECT
public:
    explicit TF_Mzsm(QWidget *parent = nullptr);
    ~TF_Mzsm() override;

    void FormClose(QObject *sender, TCloseAction &action);

signals:
    // The window has accepted closing and goes once the event has finished.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
};

extern TF_Mzsm *F_Mzsm;
