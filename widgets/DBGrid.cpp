#include "widgets/DBGrid.h"

#include "app/Application.h"
#include "base/Exception.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "platform/Dialogs.h"
#include "widgets/BusyWait.h"
#include "widgets/GridDelegate.h"
#include "widgets/GridExport.h"
#include "widgets/GridModel.h"
#include "widgets/GridSort.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QSaveFile>
#include <QShowEvent>

namespace {

// The row indicator. Every section but the marked record's shows nothing, so that one and an
// empty one are the widest; QHeaderView would measure up to 200 sections after each new result
// and each move of the current record, which cost a search about a millisecond.
class IndicatorHeader : public QHeaderView
{
public:
    IndicatorHeader(GridModel *model, QWidget *parent) : QHeaderView(Qt::Vertical, parent), m_model(model) {}

    QSize sizeHint() const override
    {
        const int sections = count();
        if (sections == 0 || m_model->rowCount() != sections)
            return QHeaderView::sizeHint();
        const int marked = m_model->markedRow();
        QSize hint = sectionSizeFromContents(marked == 0 && sections > 1 ? 1 : 0);
        if (marked >= 0 && marked < sections)
            hint = hint.expandedTo(sectionSizeFromContents(marked));
        return hint;
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        // The marker's glyph mostly comes from a fallback font, which is looked up once per font
        // (about a millisecond): as the grid appears, not when the first result comes. A
        // section's size is measured in the bold face (the header's rule), the marker drawn in
        // the plain one.
        (void)fontMetrics().horizontalAdvance(GridModel::rowMarker());
        QFont bold = font();
        bold.setBold(true);
        (void)QFontMetrics(bold).size(0, GridModel::rowMarker());
        QHeaderView::showEvent(event);
    }

private:
    GridModel *m_model;
};

} // namespace

DBGrid::DBGrid(QWidget *parent) : QTableView(parent), m_model(new GridModel(this))
{
    setVerticalHeader(new IndicatorHeader(m_model, this));
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    // Several cells can be selected, for copying; the current cell is still the current record.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setHighlightSections(false);
    // A caption click sorts; it neither selects the column nor moves the current record.
    horizontalHeader()->setSectionsClickable(true);
    disconnect(horizontalHeader(), SIGNAL(sectionPressed(int)), this, SLOT(selectColumn(int)));
    disconnect(horizontalHeader(), SIGNAL(sectionEntered(int)), this, SLOT(_q_selectColumn(int)));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { guarded([this, section] { sortByCaption(section); }); });
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
        QHeaderView *header = horizontalHeader();
        header->setSortIndicatorShown(m_model->sortColumn() >= 0);
        if (m_model->sortColumn() >= 0)
            header->setSortIndicator(m_model->sortColumn(),
                                     m_model->sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
        showCurrentRecord();
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &) {
                if (!current.isValid())
                    return;
                m_column = current.column();
                if (m_following)
                    return;
                // Clicking (or keying) onto a row makes it the query's current record.
                const int row = m_model->resultRow(current.row());
                if (Query *q = m_model->query(); q && m_model->showsRows() && q->RecNo() != row)
                    q->MoveTo(row);
            });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) { m_model->setColumnWidth(section, size); });
}

DBGrid::~DBGrid() = default;

// The current cell on the query's record, where the rows now show it.
void DBGrid::showCurrentRecord()
{
    const int row = m_model->query() && m_model->showsRows() ? m_model->viewRow(m_model->query()->RecNo()) : -1;
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex target = m_model->index(row, qBound(0, m_column, qMax(0, m_model->columnCount() - 1)));
    m_following = true;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    m_following = false;
    scrollTo(target);
}

void DBGrid::sortByCaption(int column)
{
    if (!m_model->showsRows() || column < 0 || column >= m_model->columnCount())
        return;
    const bool descending = m_model->sortColumn() == column && !m_model->sortDescending();
    const quint64 generation = m_model->generation();
    // The cells are copied out on the worker too (millions of them would hold up the painting),
    // from the result as it is now: a statement finishing meanwhile may replace the query's, not
    // the one read, and its new rows keep the order from being shown (generation).
    const std::function<gridsort::Column()> cells = m_model->columnCells(column);
    QVector<int> order;
    runShowingBusy([&] { order = gridsort::order(cells(), descending); });
    if (m_model->generation() == generation)
        m_model->setOrder(column, descending, order);
}

bool DBGrid::isSorted() const
{
    return m_model->sortColumn() >= 0;
}

void DBGrid::step(Step step)
{
    Query *q = m_model->query();
    const int rows = m_model->rowCount();
    if (!q || !m_model->showsRows() || rows == 0)
        return;
    const int at = m_model->viewRow(q->RecNo());
    int target = at;
    switch (step) {
    case Step::First: target = 0; break;
    case Step::Prior: target = qMax(0, at - 1); break;
    case Step::Next: target = qMin(rows - 1, at + 1); break;
    case Step::Last: target = rows - 1; break;
    }
    q->MoveTo(m_model->resultRow(target));
}

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
        const int row = m_model->viewRow(m_model->query()->RecNo());
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

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Copy) {
        guarded([this] { copySelection(); });
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DBGrid::contextMenuEvent(QContextMenuEvent *event)
{
    const bool rows = m_model->showsRows();
    QMenu menu(this);
    QAction *copy = menu.addAction(QStringLiteral("复制"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(rows && selectionModel()->hasSelection());
    QAction *save = menu.addAction(QStringLiteral("另存为 CSV 文件…"));
    save->setEnabled(rows);
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen == copy)
        guarded([this] { copySelection(); });
    else if (chosen == save)
        guarded([this] { saveResultAsCsv(); });
    event->accept();
}

void DBGrid::copySelection()
{
    if (!m_model->showsRows())
        return;
    QItemSelection cells = selectionModel()->selection();
    if (cells.isEmpty() && currentIndex().isValid())
        cells.select(currentIndex(), currentIndex());
    if (cells.isEmpty())
        return;
    const QVector<QRect> ranges = gridexport::rangesOf(cells);
    QString text;
    const bool done = runWithProgress(window(), QStringLiteral("正在复制…"), [&](WorkProgress &progress) {
        text = gridexport::selectionAsText(*m_model, ranges, &progress);
    });
    if (done)
        QApplication::clipboard()->setText(text);
}

void DBGrid::saveResultAsCsv()
{
    if (!m_model->showsRows())
        return;
    QString name = window()->windowTitle().trimmed();
    if (name.isEmpty())
        name = QStringLiteral("查询结果");
    const QString path = SaveFileDialog(QStringLiteral("另存为 CSV 文件"), name + QStringLiteral(".csv"),
                                        QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    // Written beside the target and moved over it at the end: a cancelled or failed write
    // leaves no half file and never harms an older one of that name.
    bool written = false;
    const bool finished = runWithProgress(window(), QStringLiteral("正在保存…"), [&](WorkProgress &progress) {
        QSaveFile file(path);
        written = file.open(QIODevice::WriteOnly) && gridexport::writeCsv(*m_model, file, &progress)
                  && !progress.cancelled() && file.commit();
    });
    if (finished && !written)
        throw Exception(QStringLiteral("无法写入文件 %1").arg(QDir::toNativeSeparators(path)));
}
