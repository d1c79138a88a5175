#include "widgets/DBGrid.h"

#include "data/DataSource.h"
#include "widgets/GridModel.h"
#include "data/Query.h"

#include <QHeaderView>
#include <QMouseEvent>

DBGrid::DBGrid(QWidget *parent) : QTableView(parent), m_model(new GridModel(this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    // Uniform rows keep a result of a million records as cheap to scroll as a short one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    applyRowHeight();
    verticalHeader()->setMinimumWidth(14);
    verticalHeader()->setSectionsClickable(true);
    verticalHeader()->setHighlightSections(false);

    connect(m_model, &GridModel::currentRecordChanged, this, [this](int row) {
        if (row < 0 || row >= m_model->rowCount())
            return;
        const QModelIndex target = m_model->index(row, qBound(0, m_column, qMax(0, m_model->columnCount() - 1)));
        if (currentIndex() != target) {
            m_following = true;
            selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
            m_following = false;
        }
        scrollTo(target);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyWidths();
        const int row = m_model->query() && m_model->showsRows() ? m_model->query()->RecNo() : -1;
        if (row >= 0 && row < m_model->rowCount()) {
            const QModelIndex target = m_model->index(row, qBound(0, m_column, qMax(0, m_model->columnCount() - 1)));
            m_following = true;
            selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
            m_following = false;
            scrollTo(target);
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &) {
                if (!current.isValid())
                    return;
                m_column = current.column();
                if (m_following)
                    return;
                // Clicking (or keying) onto a row makes it the query's current record.
                if (Query *q = m_model->query(); q && m_model->showsRows() && q->RecNo() != current.row())
                    q->MoveTo(current.row());
            });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) { m_model->setColumnWidth(section, size); });
}

DBGrid::~DBGrid() = default;

void DBGrid::setDataSource(DataSource *source)
{
    m_model->setDataSource(source);
}

DataSource *DBGrid::dataSource() const
{
    return m_model->dataSource();
}

void DBGrid::setColumns(const QVector<GridColumn> &columns)
{
    m_model->setColumns(columns);
    applyWidths();
    applyRowHeight();
}

void DBGrid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyRowHeight();
}

// Rows as high as the tallest cell font needs, and no higher, as in a classic data grid.
void DBGrid::applyRowHeight()
{
    int text = QFontMetrics(font()).height();
    for (const GridColumn &column : m_model->columns())
        if (column.font)
            text = qMax(text, QFontMetrics(*column.font).height());
    // The header's own minimum follows the application font, which may be taller.
    verticalHeader()->setMinimumSectionSize(text + 4);
    verticalHeader()->setDefaultSectionSize(text + 4);
}

const QVector<GridColumn> &DBGrid::columns() const
{
    return m_model->columns();
}

void DBGrid::setGridColumnWidth(int column, int width)
{
    m_model->setColumnWidth(column, width);
    setColumnWidth(column, width);
}

void DBGrid::setTitleFont(const QFont &font)
{
    m_model->setTitleFont(font);
    horizontalHeader()->setFont(font);
}

void DBGrid::applyWidths()
{
    const QVector<GridColumn> columns = m_model->columns();
    for (int i = 0; i < columns.size(); ++i)
        setColumnWidth(i, columns.at(i).width);
}

QString DBGrid::selectedField() const
{
    if (!m_model->showsRows())
        return QString();
    const QVector<GridColumn> &columns = m_model->columns();
    if (m_column < 0 || m_column >= columns.size())
        return QString();
    return columns.at(m_column).field;
}

int DBGrid::selectedFieldPosition() const
{
    const QString field = selectedField();
    if (field.isEmpty() || !m_model->query())
        return 0;
    return m_model->query()->fieldIndex(field) + 1;
}

int DBGrid::currentColumn() const
{
    return m_column;
}

void DBGrid::setCurrentColumn(int column)
{
    m_column = column;
    if (m_model->showsRows() && m_model->query()) {
        const int row = m_model->query()->RecNo();
        if (row >= 0 && row < m_model->rowCount() && column >= 0 && column < m_model->columnCount()) {
            m_following = true;
            selectionModel()->setCurrentIndex(m_model->index(row, column), QItemSelectionModel::ClearAndSelect);
            m_following = false;
        }
    }
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT dblClick();
}
