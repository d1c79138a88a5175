#pragma once

#include <QCache>
#include <QFont>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <memory>
#include <vector>

// Paints the grid's cells as the stock delegate does, pixel for pixel, for a fraction of the
// work. The stock painting lays a cell's text out five times each time it is painted (three
// measurements, the elision check, the drawing), which made a screenful of new rows cost more
// than a search on a small table. Here a cell's text is laid out once and kept, per column,
// for the rows painted again (scrolling, a moved record). Only a plain one-line cell that fits
// is painted here; every other cell goes to the stock delegate.
class GridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    // Laid out once in the column's font; null where the text takes the stock path.
    const QTextLayout *layoutOf(int column, const QString &text, const QFont &font) const;

    struct Column
    {
        QFont font;
        QCache<QString, QTextLayout> texts{256};
    };
    mutable std::vector<std::unique_ptr<Column>> m_columns;
};
