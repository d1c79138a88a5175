#pragma once

#include "platform/CloseAction.h"
#include "widgets/DBGrid.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QVector>

class DataSource;
class Query;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// One criterion of the search over criterion check boxes (BitBtn2): its check box, the input it
// shows, the message when that input is empty, and the line it adds. Two forms:
//   byParameter: adds `line` as is (it names ":parameter") and gives the parameter the input's
//                text, so the text never enters the statement;
//   byLike:      adds `line` (a prefix ending in "'%") + the input's text + "%'".
struct QueryCriterion
{
    QCheckBox *checkBox = nullptr;
    QWidget *input = nullptr; // a QLineEdit or an editable QComboBox
    QString message;
    QString line;
    QString parameter; // empty for byLike

    static QueryCriterion byParameter(QCheckBox *box, QWidget *input, const QString &message, const QString &line,
                                      const QString &parameter)
    {
        return {box, input, message, line, parameter};
    }
    static QueryCriterion byLike(QCheckBox *box, QWidget *input, const QString &message, const QString &prefix)
    {
        return {box, input, message, prefix, QString()};
    }
};

// One choice of the fuzzy search: while `radioButton` is checked, the search adds
// prefix + Edit1's text + "%'".
struct FuzzyChoice
{
    QRadioButton *radioButton = nullptr;
    QString prefix;
};

// The controls every query window has, under the names its layout gives them. Taken from the
// window's Ui members with from(), so a name missing from a layout fails to compile.
struct QueryFormControls
{
    QPushButton *BitBtn2 = nullptr; // search over the criterion check boxes
    QPushButton *BitBtn3 = nullptr; // more-information page
    QLineEdit *Edit2 = nullptr;     // record counter
    QPushButton *first = nullptr;
    QPushButton *last = nullptr;
    QPushButton *Prior = nullptr;
    QPushButton *next = nullptr;

    template <class Window>
    static QueryFormControls from(Window &w)
    {
        return {w.BitBtn2, w.BitBtn3, w.Edit2, w.first, w.last, w.Prior, w.next};
    }
};

// Everything that makes one query window different from its siblings. Filled in by the window's
// constructor right after setupUi() and handed to QueryForm::declare().
struct QueryFormDeclaration
{
    QueryFormControls controls;

    // Path of the more-information page below the site base address (BitBtn3).
    QString pagePath;

    // Fuzzy search: its edit box (Edit1, where Enter searches too) and button (BitBtn1). Leave
    // them null when the window has none.
    QLineEdit *fuzzyEdit = nullptr;
    QPushButton *fuzzyButton = nullptr;
    QString fuzzySelect;  // first line for BitBtn1
    QString enterSelect;  // first line for Enter in Edit1 (empty: same as fuzzySelect)
    QString fuzzyMessage; // Edit1 empty
    QVector<FuzzyChoice> fuzzyChoices;

    // Search over the criterion check boxes (BitBtn2): first line, then the criteria in order.
    QString criteriaSelect;
    QVector<QueryCriterion> criteria;

    // The result grid: its columns as laid out, and the widths FormCreate gives them.
    DBGrid *grid = nullptr;
    QVector<GridColumn> columns;
    QVector<int> widthsAtCreation;
    int gridFontPixels = 0;  // cell font height; 0 keeps the window's font
    int titleFontPixels = 0; // title row font height; 0 keeps the grid's font

    // Combo boxes that list their matching entries as soon as the user types into them.
    QVector<QComboBox *> dropDownOnTyping;

    enum class Placement { ScreenCentre, LauncherCentre };
    Placement placement = Placement::ScreenCentre;
};

// Base of the six query windows. Holds what they all do: criterion check boxes show and focus
// their inputs, searches check their texts and rebuild the query's statement from scratch, the
// record counter, the navigation buttons, the more-information page, the column widths set at
// creation, and closing (which frees the window and says so through closed(); the query and its
// result stay with their owner for the next window of this kind).
//
// The query the window searches with and the data source its grid shows are handed to it at
// construction (the launcher hands over the data module's); the window does not own them and
// works without them once their owner has gone.
//
// A window derives from this and from its Ui class, calls setupUi(this), then declare() with its
// declaration, which names every control the base works on. Fonts in the .ui hold pixel heights
// in <pointsize>. The .ui's own `default` button property decides Enter.
class QueryForm : public QDialog
{
    Q_OBJECT
public:
    QueryForm(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~QueryForm() override;

    Query *query() const;
    DataSource *dataSource() const;
    const QueryFormDeclaration &declaration() const { return m_decl; }

    // Event handlers.
    void FormCreate();
    void FormClose(TCloseAction &Action);
    void BitBtn1Click();            // fuzzy search
    void Edit1KeyPress(QChar &Key); // Enter: fuzzy search with enterSelect
    void BitBtn2Click();            // search over the criterion check boxes
    void firstClick();
    void lastClick();
    void PriorClick();
    void nextClick();
    void BitBtn3Click(); // more-information page
    virtual void DBGrid1DblClick() {}

    // A text as it goes between the quotes of a LIKE pattern: apostrophes doubled, so a name
    // like O'Brien is searched for instead of breaking the statement. Nothing else changes.
    static QString likeText(const QString &text);

    // The text an input holds: a line edit's text, a combo box's edit text.
    static QString inputText(const QWidget *input);

    void reject() override; // Escape does not close a query window

signals:
    // The window has accepted closing and goes once the event has finished.
    void closed();

protected:
    // Wires the declared controls and the family members, sizes and places the window, then runs
    // FormCreate.
    void declare(const QueryFormDeclaration &declaration);

    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void criterionClicked(QCheckBox *box);
    void runFuzzySearch(const QString &select);
    bool checkNotEmpty(const QString &text, const QString &message, QWidget *input);
    void showRecordCount();
    bool sortedGrid() const;

    QueryFormDeclaration m_decl;
    QPointer<Query> m_query;
    QPointer<DataSource> m_dataSource;
};
