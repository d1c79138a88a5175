#include "platform/Fonts.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

void installFontFallbacks()
{
    const QStringList chinese{QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                              QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")};
    // Families of about the same width as the bitmap sans serif, so that texts fit as designed.
    QStringList sans{QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                     QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")};
    sans += chinese;
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("宋体"), chinese);
}

namespace {
void convert(QWidget *w)
{
    if (w->testAttribute(Qt::WA_SetFont)) {
        QFont f = w->font();
        const int size = f.pointSize();
        if (size > 0) {
            f.setPixelSize(size);
            w->setFont(f);
        }
    }
    // Parents first, so children that inherit their size pick up the pixel size.
    const QObjectList children = w->children();
    for (QObject *child : children)
        if (auto *c = qobject_cast<QWidget *>(child))
            convert(c);
}
} // namespace

void usePixelFontSizes(QWidget *root)
{
    if (root)
        convert(root);
}
