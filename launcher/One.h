#pragma once

#include "ui_One.h"

#include <QIcon>
#include <QWidget>

class QAction;
class QCloseEvent;
class QMenu;
class QMouseEvent;
class TImageList;
class TTrayIcon;

// The launcher: the application's main window. Opens the query windows, the about and the
// disclaimer windows, and the pages of the web site. A window-opening button stays disabled
// while its window is open; the launcher enables it again when the window closes.
class TF_one : public QWidget, public Ui_TF_one
{
    Q_OBJECT
public:
    explicit TF_one(QWidget *parent = nullptr);
    ~TF_one() override;

    // The group boxes, labels and buttons come from the layout; the other components follow.
    QMenu *PopupMenu1 = nullptr;
    // The tray icon's picture (16 x 16).
    TImageList *ImageList1 = nullptr;
    QAction *N1 = nullptr;
    QAction *N2 = nullptr;
    TTrayIcon *TrayIcon1 = nullptr;
    QAction *N3 = nullptr;
    QAction *N4 = nullptr;
    QAction *N5 = nullptr;
    QAction *N6 = nullptr;
    QAction *N7 = nullptr;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void FormCreate();
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void Label3Click();
    void Label3MouseMove();
    void FormMouseMove();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

extern TF_one *F_one;
