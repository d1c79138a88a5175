#pragma once

#include "data/DataSource.h"
#include "data/Query.h"
#include "widgets/DBGrid.h"
#include "widgets/GridSort.h"

#include <functional>

#include <QAbstractTableModel>
#include <QPointer>
#include <QVector>

// The rows of a data source's query in a grid's fixed columns. Cells are read from the result
// on demand; nothing is copied. A column whose field the result lacks shows empty. The rows may
// be shown sorted by a column: row numbers of the model (view rows) then differ from the
// result's (the query's record numbers), and every new result starts in the statement's order.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit GridModel(QObject *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    Query *query() const;
    void setColumns(const QVector<GridColumn> &columns);
    const QVector<GridColumn> &columns() const { return m_columns; }
    void setColumnWidth(int column, int width);
    void setTitleFont(const QFont &font);

    // true when the grid shows the rows of an open result.
    bool showsRows() const;

    // The result's row shown at a view row, and the other way; the same while unsorted.
    int resultRow(int viewRow) const;
    int viewRow(int resultRow) const;
    // The row the indicator marks (the query's record), or -1, and what marks it.
    int markedRow() const { return viewRow(m_current); }
    static QString rowMarker() { return QStringLiteral("▶"); }
    // The column the rows are sorted by, -1 when in the statement's order.
    int sortColumn() const { return m_sortColumn; }
    bool sortDescending() const { return m_sortDescending; }
    // Reads a column's cells in the result's order, for sorting off the GUI thread: made on the
    // GUI thread, called on any, it holds the result it reads.
    std::function<gridsort::Column()> columnCells(int column) const;
    // Shows the rows in `order` (result rows in view order, one each), sorted by `column`.
    void setOrder(int column, bool descending, const QVector<int> &order);
    // Changes with every new result, so work done on an older one can tell.
    quint64 generation() const { return m_generation; }
    // The text of a cell as UTF-8, without a copy; empty when the result lacks the field. Safe
    // off the GUI thread while the result stays open.
    std::string_view cellBytes(int viewRow, int column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void currentRecordChanged(int viewRow);

private:
    void rebind();
    void resultChanged();
    void recordMoved(int row);

    QPointer<DataSource> m_source;
    QPointer<Query> m_query;
    QVector<GridColumn> m_columns;
    QVector<int> m_fieldOfColumn; // index into the result's fields, -1 when absent
    QFont m_titleFont;
    bool m_hasTitleFont = false;
    int m_rows = 0;
    int m_current = -1;      // the query's record (a result row)
    QVector<int> m_order;    // view row -> result row; empty while unsorted
    QVector<int> m_position; // result row -> view row; empty while unsorted
    int m_sortColumn = -1;
    bool m_sortDescending = false;
    quint64 m_generation = 0;
    QVector<QMetaObject::Connection> m_links;
};
