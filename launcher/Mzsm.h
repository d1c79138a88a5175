#pragma once

#include "launcher/CloseAction.h"

#include <QWidget>

class QPlainTextEdit;

// The disclaimer window.
class TF_Mzsm : public QWidget
{
    Q_OBJECT
public:
    explicit TF_Mzsm(QWidget *parent = nullptr);
    ~TF_Mzsm() override;

    QPlainTextEdit *Memo1 = nullptr;

    void FormClose(QObject *sender, TCloseAction &action);

protected:
    void closeEvent(QCloseEvent *event) override;
};

extern TF_Mzsm *F_Mzsm;
