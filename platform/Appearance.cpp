#include "platform/Appearance.h"

#include "platform/Fonts.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

void installAppearance()
{
    installFontFallbacks();
    // The classic Windows style draws group boxes with the caption set into the frame and the
    // controls in the proportions the layouts were designed for.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
}
