#pragma once

#include "data/DataSource.h"
#include "data/Query.h"
#include "widgets/DBGrid.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QVector>

// The rows of a data source's query in a grid's fixed columns. Cells are read from the result
// on demand; nothing is copied. A column whose field the result lacks shows empty.
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

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void currentRecordChanged(int row);

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
    int m_current = -1;
    QVector<QMetaObject::Connection> m_links;
};
