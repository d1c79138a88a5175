#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTableView>
#include <QVector>

#include <optional>

class DataSource;
class GridModel;

// One fixed column of a data grid: bound by field name.
struct GridColumn
{
    QString field;
    QString title;
    int width = 64;
    std::optional<QFont> font; // cell font; none = the grid's font
    QColor color;              // cell text colour; invalid = default
};

// The data grid of the query windows: shows the rows of its data source's query in fixed
// columns, marks and follows the current record, shows no rows while the query is closed,
// and never edits or deletes. A click on a column's caption sorts the rows by it, another click
// reverses them; a new result comes in the statement's order. The selected cells go to the
// clipboard (Ctrl+C or the context menu), and the whole result to a CSV file, both in the order
// shown. Use as a promoted QTableView in .ui files (header
// "widgets/DBGrid.h").
class DBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DBGrid(QWidget *parent = nullptr);
    ~DBGrid() override;

    void setDataSource(DataSource *source);
    DataSource *dataSource() const;

    void setColumns(const QVector<GridColumn> &columns);
    const QVector<GridColumn> &columns() const;
    void setGridColumnWidth(int column, int width);
    void setTitleFont(const QFont &font);

    // Field of the current column; empty when no result is open.
    QString selectedField() const;
    // That field's position in the result's select list, 1 for the first; 0 when none.
    int selectedFieldPosition() const;
    // The current column (0-based).
    int currentColumn() const;
    void setCurrentColumn(int column);

    // Sorts the rows by a column (0-based), as a click on its caption does: ascending, or the
    // other way round when already sorted by it. Off the GUI thread, under the busy wait.
    void sortByCaption(int column);
    // Whether the rows are shown sorted, not in the statement's order.
    bool isSorted() const;
    // Moves the query's current record in the order shown (the navigation buttons of a sorted
    // grid).
    enum class Step { First, Prior, Next, Last };
    void step(Step step);

    // The selected cells as tab-separated text, rows by line breaks, to the clipboard. A large
    // selection is read on a worker thread under a progress window; cancelled, the clipboard
    // stays as it was.
    void copySelection();
    // Asks for a file name and writes the open result there as CSV, in the grid's columns under
    // their captions, on a worker thread under a progress window. Cancelled or failed, no file
    // is left (an older one of that name stays as it was); a failure throws Exception.
    void saveResultAsCsv();

Q_SIGNALS:
    void dblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

    void changeEvent(QEvent *event) override;

private:
    void applyWidths();
    void applyRowHeight();
    void showCurrentRecord();

    GridModel *m_model;
    int m_column = 0;         // current column, kept while no rows are shown
    bool m_following = false; // moving the view to the query's record, not the other way
};
