#include "platform/Appearance.h"

#include "platform/Fonts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>

namespace {
class ClassicStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QRect subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const override
    {
        // The whole control's rectangle, as the layouts give it, not only the square and caption.
        if (element == SE_CheckBoxClickRect || element == SE_RadioButtonClickRect)
            return option->rect;
        return QProxyStyle::subElementRect(element, option, widget);
    }
};

// Qt presses a focused button on Enter only where it is a dialog's default candidate; these
// windows keep Enter for their searches otherwise, so the button under the focus is pressed here.
class EnterPressesButton : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        auto *button = qobject_cast<QPushButton *>(watched);
        if (!button || !button->isEnabled())
            return false;
        if (!key->isAutoRepeat())
            button->click();
        return true;
    }
};
} // namespace

void installAppearance()
{
    installFontFallbacks();
    if (QStyle *windows = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(new ClassicStyle(windows));
    static QPointer<EnterPressesButton> enter;
    if (!enter) {
        enter = new EnterPressesButton(qApp);
        qApp->installEventFilter(enter);
    }
}

void setDialogFrame(QWidget *window, Qt::WindowType kind, const QSize &client)
{
    window->setWindowFlags(kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
    window->setFixedSize(client);
}
