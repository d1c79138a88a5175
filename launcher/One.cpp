#include "launcher/One.h"

#include "app/Application.h"
#include "components/ImageList.h"
#include "components/Trayicon.h"
#include "launcher/UpdateCheck.h"
#include "launcher/WindowCommands.h"
#include "platform/Appearance.h"
#include "platform/Dialogs.h"
#include "platform/Fonts.h"
#include "platform/Shell.h"
#include "platform/Site.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>

TF_one *F_one = nullptr;

// The icons and pictures live in the GUI library; make sure they are linked in and registered.
static void registerResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(lss);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {
void openSitePage(QWidget *owner, const char *path)
{
    Shell::instance().execute(owner, QStringLiteral("open"), siteBaseAddress() + QLatin1String(path),
                              ShowCommand::MinNoActive);
}

void setLabelColour(QLabel *label, const QColor &colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}
} // namespace

TF_one::TF_one(QWidget *parent) : QWidget(parent)
{
    registerResources();
    setupUi(this);
    usePixelFontSizes(this);
    // A dialog frame with the close box only; not resizable.
    setDialogFrame(this, Qt::Window, QSize(779, 484));
    move(286, 230);

    Label1->adjustSize();
    Label2->adjustSize();
    // The link shows the site's address and opens it.
    Label3->setText(siteBaseAddress());
    setLabelColour(Label3, QColor(0, 0, 255));
    Label3->adjustSize();
    Label3->installEventFilter(this);
    // Mouse moves over the bare window surface turn the link back to blue.
    setMouseTracking(true);

    ImageList1 = new TImageList(this);
    ImageList1->AddFromFile(QStringLiteral(":/icons/lss16.png"));

    PopupMenu1 = new QMenu(this);
    N1 = new QAction(QStringLiteral("显示窗体"), this);
    N2 = new QAction(QStringLiteral("退出程序"), this);
    N3 = new QAction(QStringLiteral("更多信息"), this);
    N4 = new QAction(QStringLiteral("在线律师"), this);
    N5 = new QAction(QStringLiteral("用户注册"), this);
    N6 = new QAction(QStringLiteral("用户登陆"), this);
    N7 = new QAction(QStringLiteral("关于我们"), this);
    PopupMenu1->addActions({N1, N6, N5, N4, N7, N3, N2});

    const std::pair<QPushButton *, void (TF_one::*)()> buttons[] = {
        {Button1, &TF_one::Button1Click},   {Button2, &TF_one::Button2Click},   {Button3, &TF_one::Button3Click},
        {Button4, &TF_one::Button4Click},   {Button5, &TF_one::Button5Click},   {Button6, &TF_one::Button6Click},
        {Button7, &TF_one::Button7Click},   {Button8, &TF_one::Button8Click},   {Button9, &TF_one::Button9Click},
        {Button10, &TF_one::Button10Click}, {Button11, &TF_one::Button11Click}, {Button12, &TF_one::Button12Click},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, guardedSlot([this, handler = handler] { (this->*handler)(); }));
    const std::pair<QAction *, void (TF_one::*)()> items[] = {
        {N1, &TF_one::N1Click}, {N2, &TF_one::N2Click}, {N3, &TF_one::N3Click}, {N4, &TF_one::N4Click},
        {N5, &TF_one::N5Click}, {N6, &TF_one::N6Click}, {N7, &TF_one::N7Click},
    };
    for (const auto &[item, handler] : items)
        connect(item, &QAction::triggered, this, guardedSlot([this, handler = handler] { (this->*handler)(); }));

    // The tray icon's stored settings, in their stored order. Visible adds the icon at once; a
    // refusal leaves the constructor, so the launcher is never created.
    ApplicationWindow::attach(this);
    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->Loading();
    TrayIcon1->SetVisible(true);
    TrayIcon1->SetHint(QStringLiteral("青穹阁信息查询系统"));
    TrayIcon1->SetPopupMenu(PopupMenu1);
    TrayIcon1->SetHide(true);
    TrayIcon1->SetRestoreOn(tray::imLeftClickUp);
    TrayIcon1->SetPopupMenuOn(tray::imRightClickUp);
    TrayIcon1->SetIcons(ImageList1);
    TrayIcon1->Loaded();

    guarded([this] { FormCreate(); });
}

TF_one::~TF_one()
{
    if (F_one == this)
        F_one = nullptr;
}

void TF_one::Button1Click()
{
    runWindowCommand(this, &TF_one::Button1);
}
void TF_one::Button2Click()
{
    runWindowCommand(this, &TF_one::Button2);
}
void TF_one::Button3Click()
{
    runWindowCommand(this, &TF_one::Button3);
}
void TF_one::Button4Click()
{
    runWindowCommand(this, &TF_one::Button4);
}
void TF_one::Button5Click()
{
    runWindowCommand(this, &TF_one::Button5);
}
void TF_one::Button6Click()
{
    runWindowCommand(this, &TF_one::Button6);
}

void TF_one::Button7Click()
{
    ConfirmDialog(QStringLiteral("暂时没有信息"));
}

void TF_one::Button8Click()
{
    ConfirmDialog(QStringLiteral("暂时没有信息"));
}

void TF_one::Button9Click()
{
    openSitePage(this, "/quillhall/findlawyer/findlawyerdl_zx_list.jsp");
}

void TF_one::Button10Click()
{
    openSitePage(this, "/quillhall/reg/register.jsp");
}

void TF_one::Button11Click()
{
    runWindowCommand(this, &TF_one::Button11);
}
void TF_one::Button12Click()
{
    runWindowCommand(this, &TF_one::Button12);
}

void TF_one::FormCreate()
{
    CheckForUpdate(this);
}

void TF_one::N1Click()
{
    // Also brings the launcher back after it was minimized to the tray.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TF_one::N2Click()
{
    close();
}

void TF_one::N3Click()
{
    openSitePage(this, "/");
}

void TF_one::N4Click()
{
    openSitePage(this, "/quillhall/findlawyer/findlawyerdl_zx_list.jsp");
}

void TF_one::N5Click()
{
    openSitePage(this, "/quillhall/reg/register.jsp");
}

void TF_one::N6Click()
{
    openSitePage(this, "/quillhall/reg/login.jsp");
}

// Not disabled while an about window is open: each choice opens one more.
void TF_one::N7Click()
{
    runWindowCommand(this, &TF_one::Button12);
}

void TF_one::Label3Click()
{
    Shell::instance().execute(this, QString(), Label3->text(), ShowCommand::Normal);
}

void TF_one::Label3MouseMove()
{
    setLabelColour(Label3, QColor(255, 0, 0));
}

void TF_one::FormMouseMove()
{
    setLabelColour(Label3, QColor(0, 0, 255));
}

void TF_one::mouseMoveEvent(QMouseEvent *event)
{
    FormMouseMove();
    QWidget::mouseMoveEvent(event);
}

bool TF_one::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label3) {
        if (event->type() == QEvent::MouseMove) {
            Label3MouseMove();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress)
            return true; // so that the release comes here too
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton && Label3->rect().contains(mouse->position().toPoint()))
                guarded([this] { Label3Click(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TF_one::closeEvent(QCloseEvent *event)
{
    // The launcher is the main window: closing it ends the program, whatever else is open.
    event->accept();
    if (Application *app = Application::instance())
        app->Terminate();
}
