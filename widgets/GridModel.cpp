#include "widgets/GridModel.h"

#include "data/ColumnStore.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "data/ResultSet.h"

#include <QBrush>

GridModel::GridModel(QObject *parent) : QAbstractTableModel(parent) {}

Query *GridModel::query() const
{
    return m_query.data();
}

void GridModel::setDataSource(DataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &DataSource::dataSetChanged, this, &GridModel::rebind);
        connect(source, &DataSource::enabledChanged, this, &GridModel::resultChanged);
    }
    rebind();
}

void GridModel::rebind()
{
    for (const auto &link : m_links)
        disconnect(link);
    m_links.clear();
    m_query = m_source ? m_source->DataSet() : nullptr;
    if (m_query) {
        m_links << connect(m_query, &Query::activeChanged, this, &GridModel::resultChanged);
        m_links << connect(m_query, &Query::currentChanged, this, &GridModel::recordMoved);
        m_links << connect(m_query, &QObject::destroyed, this, &GridModel::resultChanged);
    }
    resultChanged();
}

bool GridModel::showsRows() const
{
    return m_source && m_source->Enabled() && m_query && m_query->Active();
}

void GridModel::resultChanged()
{
    beginResetModel();
    ++m_generation;
    m_order.clear();
    m_position.clear();
    m_sortColumn = -1;
    m_sortDescending = false;
    m_fieldOfColumn.clear();
    const bool rows = showsRows();
    for (const GridColumn &c : m_columns)
        m_fieldOfColumn << (rows ? m_query->fieldIndex(c.field) : -1);
    m_rows = rows ? m_query->RecordCount() : 0;
    m_current = rows ? m_query->RecNo() : -1;
    endResetModel();
    Q_EMIT currentRecordChanged(viewRow(m_current));
}

void GridModel::recordMoved(int row)
{
    if (!showsRows())
        return;
    const int old = viewRow(m_current);
    m_current = row;
    const int now = viewRow(row);
    if (old >= 0 && old < m_rows)
        Q_EMIT headerDataChanged(Qt::Vertical, old, old);
    if (now >= 0 && now < m_rows)
        Q_EMIT headerDataChanged(Qt::Vertical, now, now);
    Q_EMIT currentRecordChanged(now);
}

int GridModel::resultRow(int viewRow) const
{
    if (m_order.isEmpty() || viewRow < 0 || viewRow >= m_order.size())
        return viewRow;
    return m_order.at(viewRow);
}

int GridModel::viewRow(int resultRow) const
{
    if (m_position.isEmpty() || resultRow < 0 || resultRow >= m_position.size())
        return resultRow;
    return m_position.at(resultRow);
}

std::function<gridsort::Column()> GridModel::columnCells(int column) const
{
    const int field = m_fieldOfColumn.value(column, -1);
    std::shared_ptr<const ResultSet> result = field >= 0 && m_query ? m_query->result() : nullptr;
    const int rows = m_rows;
    return [result = std::move(result), field, rows] {
        gridsort::Column cells;
        const DecodedColumn *table = result && rows <= result->rowCount() ? result->tableField(field) : nullptr;
        const DecodedColumn *coded = table && table->dictionary ? table : nullptr;
        if (coded) {
            // A field the table keeps once per value: its values and a code a row, no cell copied.
            std::vector<std::string_view> values(coded->texts());
            for (size_t v = 0; v < values.size(); ++v) {
                size_t size;
                const char *text = coded->valueAt(v, size);
                values[v] = std::string_view(text, size);
            }
            std::vector<quint32> valueOfRow(static_cast<size_t>(rows));
            for (int r = 0; r < rows; ++r) {
                const quint32 row = result->sourceRowOf(r);
                valueOfRow[size_t(r)] = coded->isNull(row) ? gridsort::Column::kNone : quint32(coded->codeAt(row));
            }
            cells.setValues(std::move(values), std::move(valueOfRow), result);
            return cells;
        }
        const DecodedColumn *plain = table && !table->dictionary ? table : nullptr;
        if (plain && plain->kind != StorageClass::Integer && plain->kind != StorageClass::Real) {
            // A field the table keeps as a text a row: read where it lies, no cell copied (a
            // null row's text is empty, as its cell is).
            std::vector<quint32> textOfRow(static_cast<size_t>(rows));
            for (int r = 0; r < rows; ++r)
                textOfRow[size_t(r)] = result->sourceRowOf(r);
            cells.setTexts(plain->text.data(), plain->ends.data(), std::move(textOfRow), result);
            return cells;
        }
        cells.reserve(rows, 0);
        for (int r = 0; r < rows; ++r)
            cells.append(result ? result->bytes(r, field) : std::string_view());
        return cells;
    };
}

void GridModel::setOrder(int column, bool descending, const QVector<int> &order)
{
    if (order.size() != m_rows || column < 0 || column >= m_columns.size())
        return;
    beginResetModel();
    m_order = order;
    m_position = QVector<int>(m_rows);
    for (int v = 0; v < m_rows; ++v)
        m_position[m_order.at(v)] = v;
    m_sortColumn = column;
    m_sortDescending = descending;
    endResetModel();
    Q_EMIT currentRecordChanged(viewRow(m_current));
}

std::string_view GridModel::cellBytes(int viewRow, int column) const
{
    const int field = m_fieldOfColumn.value(column, -1);
    if (field < 0 || !m_query || viewRow < 0 || viewRow >= m_rows)
        return {};
    return m_query->bytes(resultRow(viewRow), field);
}

void GridModel::setColumns(const QVector<GridColumn> &columns)
{
    m_columns = columns;
    resultChanged();
}

void GridModel::setColumnWidth(int column, int width)
{
    if (column >= 0 && column < m_columns.size())
        m_columns[column].width = width;
}

void GridModel::setTitleFont(const QFont &font)
{
    m_titleFont = font;
    m_hasTitleFont = true;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, qMax(0, int(m_columns.size()) - 1));
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns.size())
        return QVariant();
    const GridColumn &c = m_columns.at(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const int field = m_fieldOfColumn.value(index.column(), -1);
        if (field < 0 || !m_query)
            return QString();
        return m_query->value(resultRow(index.row()), field);
    }
    case Qt::FontRole:
        if (c.font)
            return *c.font;
        return QVariant();
    case Qt::ForegroundRole:
        if (c.color.isValid())
            return QBrush(c.color);
        return QVariant();
    default: return QVariant();
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_columns.at(section).title;
        if (role == Qt::FontRole && m_hasTitleFont)
            return m_titleFont;
        return QVariant();
    }
    // The row indicator: a marker on the current record, nothing elsewhere.
    if (role == Qt::DisplayRole)
        return section == viewRow(m_current) ? rowMarker() : QString();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
