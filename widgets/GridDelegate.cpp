#include "widgets/GridDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextLine>

namespace {

// What the quick path paints like the stock one: text alone, left-aligned on one line, no
// check box, icon or wrapping, not being edited, left to right, under a style that draws the
// item as the common style does (a style sheet may draw anything).
bool plainCell(const QStyleOptionViewItem &opt, const QStyle *style)
{
    const auto others =
        QStyleOptionViewItem::WrapText | QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration;
    if (!(opt.features & QStyleOptionViewItem::HasDisplay) || (opt.features & others) || opt.text.isEmpty())
        return false;
    if (opt.state & QStyle::State_Editing)
        return false;
    if (opt.direction != Qt::LeftToRight || (opt.displayAlignment & Qt::AlignHorizontal_Mask) != Qt::AlignLeft)
        return false;
    if (style->inherits("QStyleSheetStyle"))
        return false;
    // A line break (the stock text turns '\n' into one) or a paragraph separator makes lines.
    for (QChar c : opt.text)
        if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator || c == QLatin1Char('\n'))
            return false;
    return true;
}

} // namespace

GridDelegate::Column &GridDelegate::columnOf(int column, const QFont &font) const
{
    if (size_t(column) >= m_columns.size())
        m_columns.resize(size_t(column) + 1);
    std::unique_ptr<Column> &c = m_columns[size_t(column)];
    if (!c)
        c = std::make_unique<Column>();
    if (!(c->font == font)) {
        c->texts.clear();
        c->elided.clear();
        c->font = font;
    }
    return *c;
}

const QTextLayout *GridDelegate::layoutOf(QCache<QString, QTextLayout> &kept, const QFont &font, const QString &key,
                                          const QString &text) const
{
    if (QTextLayout *known = kept.object(key))
        return known;
    auto layout = std::make_unique<QTextLayout>(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::ManualWrap);
    option.setTextDirection(Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft);
    layout->setTextOption(option);
    layout->setCacheEnabled(true); // keeps the shaped glyphs for every later drawing
    layout->beginLayout();
    QTextLine line = layout->createLine();
    if (line.isValid()) {
        line.setLineWidth(1e6); // no wrapping: only explicit breaks would make a second line
        line.setPosition(QPointF(0, 0));
    }
    const bool oneLine = line.isValid() && !layout->createLine().isValid();
    layout->endLayout();
    if (!oneLine)
        return nullptr;
    QTextLayout *made = layout.release();
    kept.insert(key, made);
    return made;
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    if (!plainCell(opt, style)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect = opt.rect.adjusted(margin, 0, -margin, 0);
    Column &column = columnOf(qMax(0, index.column()), opt.font);
    const QTextLayout *layout = layoutOf(column.texts, column.font, opt.text, opt.text);
    if (!layout) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The whole text's height places the line, elided or not, as in the stock painting.
    const QTextLine line = layout->lineAt(0);
    const int height = qRound(line.height());
    if (line.naturalTextWidth() > textRect.width()) {
        if (opt.textElideMode == Qt::ElideNone) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // Kept under the width and the way of eliding too: another column width elides it
        // elsewhere.
        const QString key =
            opt.text + QChar(0) + QString::number(textRect.width()) + QLatin1Char(char('a' + int(opt.textElideMode)));
        layout = column.elided.object(key);
        if (!layout) {
            const QString elided = QFontMetrics(opt.font).elidedText(opt.text, opt.textElideMode, textRect.width());
            layout = layoutOf(column.elided, column.font, key, elided);
        }
        if (!layout) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
    }

    painter->save();
    painter->setClipRegion(painter->hasClipping() ? (painter->clipRegion() & opt.rect) : QRegion(opt.rect));
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    QPalette::ColorGroup group = (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
        group = QPalette::Inactive;
    painter->setPen(
        opt.palette.color(group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
    // Centred as the stock painting centres the text's rounded height in the cell.
    int top = textRect.y();
    if (opt.displayAlignment & Qt::AlignVCenter)
        top += textRect.height() / 2 - height / 2;
    else if (opt.displayAlignment & Qt::AlignBottom)
        top += textRect.height() - height;
    layout->draw(painter, QPointF(textRect.x(), top));
    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &opt, widget);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor =
            opt.palette.color((opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled,
                              (opt.state & QStyle::State_Selected) ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}
