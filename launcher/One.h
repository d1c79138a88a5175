#pragma once

#include <QIcon>
#include <QWidget>

class QAction;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QMenu;
class QMouseEvent;
class QPushButton;
class TImageList;
class TTrayIcon;

// The launcher: the application's main window. Opens the query windows, the about and the
// disclaimer windows, and the pages of the web site.
class TF_one : public QWidget
{
    Q_OBJECT
public:
    explicit TF_one(QWidget *parent = nullptr);
    ~TF_one() override;

    // Components, in their designed order. The windows that the launcher opens re-enable their
    // button through these when they close.
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QPushButton *Button5 = nullptr;
    QPushButton *Button6 = nullptr;
    QPushButton *Button7 = nullptr;
    QPushButton *Button8 = nullptr;
    QGroupBox *GroupBox4 = nullptr;
    QPushButton *Button9 = nullptr;
    QPushButton *Button10 = nullptr;
    QPushButton *Button11 = nullptr;
    QPushButton *Button12 = nullptr;
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
    QLabel *Label3 = nullptr;

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
