#pragma once

#include <QCache>
#include <QFont>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <memory>
#include <vector>

// Paints the grid's cells as the stock delegate does, pixel for pixel, for a fraction of the
// work. The stock painting lays a cell's text out five times each time it is painted (three
// measurements, the elision check, the drawing): three quarters of what the window did for a
// first search besides the statement. Here a cell's text is laid out once and kept, per column,
// for the rows painted again (scrolling, a moved record). Only a plain one-line cell is painted
// here, elided where too wide as the stock delegate elides it; any other goes to the stock one.
class GridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    // The texts of a column, laid out in its font (kept while the font stays): whole, and elided
    // to a width (under the text and the width).
    struct Column
    {
        QFont font;
        QCache<QString, QTextLayout> texts{256};
        QCache<QString, QTextLayout> elided{256};
    };
    Column &columnOf(int column, const QFont &font) const;
    // `text` laid out once, kept in `kept` under `key`; null where it makes more than one line.
    const QTextLayout *layoutOf(QCache<QString, QTextLayout> &kept, const QFont &font, const QString &key,
                                const QString &text) const;
    mutable std::vector<std::unique_ptr<Column>> m_columns;
};
