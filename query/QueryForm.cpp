#include "query/QueryForm.h"

#include "app/Application.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "platform/Appearance.h"
#include "platform/Dialogs.h"
#include "platform/Fonts.h"
#include "platform/NotifyArea.h"
#include "platform/Shell.h"
#include "platform/Site.h"
#include "widgets/BusyWait.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

namespace {
// The room a line edit leaves its text: inside the frame and the edit's own margin of 2 pixels
// on either side, less the text margins.
int textRoom(const QLineEdit *edit)
{
    const int frame = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
    const QMargins margins = edit->textMargins();
    return edit->contentsRect().width() - 2 * frame - 2 * 2 - margins.left() - margins.right();
}

// The counter keeps the width its layout gives it, which is narrow for seven digits: cut off,
// "1000000" reads as a hundred thousand. A count that does not fit in the laid-out font gets the
// edit's inner margins and then as small a font as it needs (the digits stay legible down to
// 7 pixels, room for eight digits), so every digit of any count shows.
void fitCounterText(QLineEdit *counter, const QFont &laidOut)
{
    counter->setTextMargins(QMargins());
    counter->setFont(laidOut);
    const QString text = counter->text();
    if (QFontMetrics(laidOut).horizontalAdvance(text) <= textRoom(counter))
        return;
    counter->setTextMargins(-2, 0, -2, 0);
    QFont font = laidOut;
    int pixels = QFontInfo(laidOut).pixelSize();
    while (pixels > 7 && QFontMetrics(font).horizontalAdvance(text) > textRoom(counter)) {
        font.setPixelSize(--pixels);
    }
    counter->setFont(font);
}

// Wide enough for the longest entry of a combo box's list, with room for its scroll bar.
int listWidth(QComboBox *combo)
{
    QAbstractItemView *view = combo->view();
    return view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth();
}
} // namespace

QueryForm::QueryForm(Query *query, DataSource *dataSource, QWidget *parent)
    : QDialog(parent), m_query(query), m_dataSource(dataSource)
{
}

QueryForm::~QueryForm() = default;

Query *QueryForm::query() const
{
    return m_query.data();
}

DataSource *QueryForm::dataSource() const
{
    return m_dataSource.data();
}

void QueryForm::declare(const QueryFormDeclaration &declaration)
{
    m_decl = declaration;

    usePixelFontSizes(this);
    setDialogFrame(this, Qt::Dialog, size());

    const QueryFormControls &controls = m_decl.controls;
    if (QLineEdit *counter = controls.Edit2) {
        connect(counter, &QLineEdit::textChanged, this,
                [counter, laidOut = counter->font()] { fitCounterText(counter, laidOut); });
    }
    // The family's buttons, with their glyphs. Only the layout's default button (if any) takes
    // Enter: a dialog would otherwise make the last focused button the default, and Enter in any
    // input would press it.
    auto button = [this](QPushButton *b, void (QueryForm::*handler)(), const char *glyph) {
        if (!b)
            return;
        connect(b, &QPushButton::clicked, this, guardedSlot([this, handler] { (this->*handler)(); }));
        b->setIcon(QIcon(QStringLiteral(":/icons/glyph_%1.svg").arg(QLatin1String(glyph))));
        b->setIconSize(QSize(16, 16));
        b->setAutoDefault(false);
    };
    button(m_decl.fuzzyButton, &QueryForm::BitBtn1Click, "search");
    button(controls.BitBtn2, &QueryForm::BitBtn2Click, "search");
    button(controls.BitBtn3, &QueryForm::BitBtn3Click, "info");
    button(controls.first, &QueryForm::firstClick, "first");
    button(controls.last, &QueryForm::lastClick, "last");
    button(controls.Prior, &QueryForm::PriorClick, "prior");
    button(controls.next, &QueryForm::nextClick, "next");

    if (m_decl.fuzzyEdit)
        m_decl.fuzzyEdit->installEventFilter(this);

    for (const QueryCriterion &c : m_decl.criteria) {
        QCheckBox *box = c.checkBox;
        // Inputs start hidden; only the box decides whether a criterion counts.
        c.input->setVisible(box->isChecked());
        connect(box, &QCheckBox::toggled, this, guardedSlot([this, box] { criterionClicked(box); }));
    }

    for (const QueryCriterion &c : m_decl.criteria) {
        auto *combo = qobject_cast<QComboBox *>(c.input);
        if (!combo)
            continue;
        // Typing never adds items to the fixed lists.
        combo->setInsertPolicy(QComboBox::NoInsert);
        // The list as wide as its longest entry, not only as the box.
        combo->view()->setMinimumWidth(listWidth(combo));
    }
    for (QComboBox *combo : m_decl.dropDownOnTyping) {
        if (!combo->lineEdit())
            continue;
        // Typing opens a list of the entries that hold the typed text. The edit box keeps the
        // keys (Backspace and the cursor keys edit the text), and the text stays as typed until
        // an entry is picked with Enter or a click, so what the box shows is what is searched.
        auto *completer = new QCompleter(combo->model(), combo);
        completer->setCompletionMode(QCompleter::PopupCompletion);
        completer->setFilterMode(Qt::MatchContains);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setMaxVisibleItems(combo->maxVisibleItems());
        combo->setCompleter(completer);
        completer->popup()->setFont(combo->font());
        completer->popup()->setMinimumWidth(listWidth(combo));
    }

    if (DBGrid *grid = m_decl.grid) {
        QFont cells = font();
        if (m_decl.gridFontPixels > 0) {
            cells.setPixelSize(m_decl.gridFontPixels);
            grid->setFont(cells);
        }
        if (m_decl.titleFontPixels > 0) {
            QFont title = font();
            title.setPixelSize(m_decl.titleFontPixels);
            grid->setTitleFont(title);
        }
        grid->setColumns(m_decl.columns);
        grid->setDataSource(dataSource());
        connect(grid, &DBGrid::dblClick, this, guardedSlot([this] { DBGrid1DblClick(); }));
    }

    // The columns the searches read are decoded while the user types; a search issued before
    // that ends waits for it with the windows painting.
    if (Query *q = query()) {
        useBusyWait(q->connection());
        QStringList texts{m_decl.fuzzySelect, m_decl.criteriaSelect};
        for (const FuzzyChoice &f : m_decl.fuzzyChoices)
            texts << f.prefix;
        for (const QueryCriterion &c : m_decl.criteria)
            texts << c.line;
        q->warmUp(texts);
    }

    // Centred on the screen, or on the launcher (the application window) where declared.
    QRect area;
    QWidget *launcher = ApplicationWindow::window();
    if (m_decl.placement == QueryFormDeclaration::Placement::LauncherCentre && launcher)
        area = launcher->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));

    guarded([this] { FormCreate(); });
}

// Column widths as the window wants them; no query runs and the counter stays empty.
void QueryForm::FormCreate()
{
    if (!m_decl.grid)
        return;
    for (int i = 0; i < m_decl.widthsAtCreation.size(); ++i)
        m_decl.grid->setGridColumnWidth(i, m_decl.widthsAtCreation.at(i));
}

void QueryForm::FormClose(TCloseAction &Action)
{
    Action = caFree;
}

void QueryForm::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    FormClose(action);
    applyCloseAction(this, event, action);
    if (event->isAccepted())
        emit closed();
}

void QueryForm::reject() {}

bool QueryForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (watched == m_decl.fuzzyEdit && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            guarded([this] {
                QChar c(13);
                Edit1KeyPress(c);
            });
            return false; // the edit box still gets its Enter
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QueryForm::criterionClicked(QCheckBox *box)
{
    for (const QueryCriterion &c : m_decl.criteria) {
        if (c.checkBox != box)
            continue;
        if (box->isChecked()) {
            c.input->setVisible(true);
            c.input->setFocus();
        } else {
            c.input->setVisible(false);
        }
    }
}

QString QueryForm::likeText(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char('\''), QLatin1String("''"));
    return result;
}

QString QueryForm::inputText(const QWidget *input)
{
    if (auto *edit = qobject_cast<const QLineEdit *>(input))
        return edit->text();
    if (auto *combo = qobject_cast<const QComboBox *>(input))
        return combo->currentText();
    return QString();
}

// Empty means no characters at all; blanks are a text like any other.
bool QueryForm::checkNotEmpty(const QString &text, const QString &message, QWidget *input)
{
    if (!text.isEmpty())
        return true;
    ShowMessage(message);
    if (input)
        input->setFocus();
    return false;
}

void QueryForm::showRecordCount()
{
    if (QLineEdit *counter = m_decl.controls.Edit2) {
        counter->setText(QString::number(query()->RecordCount()));
        counter->setCursorPosition(0);
    }
}

void QueryForm::runFuzzySearch(const QString &select)
{
    Query *q = query();
    QLineEdit *edit = m_decl.fuzzyEdit;
    if (!q || !edit)
        return;
    const QString text = edit->text();
    // Checked before the query is touched: a refused search leaves the last result showing.
    if (!checkNotEmpty(text, m_decl.fuzzyMessage, edit))
        return;
    q->Close();
    q->SQL().Clear();
    q->SQL().Add(select);
    for (const FuzzyChoice &choice : m_decl.fuzzyChoices) {
        if (choice.radioButton->isChecked())
            q->SQL().Add(choice.prefix + likeText(text) + QStringLiteral("%'"));
    }
    q->Open();
    showRecordCount();
}

void QueryForm::BitBtn1Click()
{
    if (m_decl.fuzzySelect.isEmpty())
        return;
    runFuzzySearch(m_decl.fuzzySelect);
}

void QueryForm::Edit1KeyPress(QChar &Key)
{
    if (Key != QChar(13) || m_decl.fuzzySelect.isEmpty())
        return;
    runFuzzySearch(m_decl.enterSelect.isEmpty() ? m_decl.fuzzySelect : m_decl.enterSelect);
}

void QueryForm::BitBtn2Click()
{
    Query *q = query();
    if (!q || m_decl.criteriaSelect.isEmpty())
        return;
    q->Close();
    q->SQL().Clear();
    q->SQL().Add(m_decl.criteriaSelect);
    for (const QueryCriterion &c : m_decl.criteria) {
        if (!c.checkBox->isChecked())
            continue;
        const QString text = inputText(c.input);
        // A refused criterion leaves the query closed; the next search starts afresh.
        if (!checkNotEmpty(text, c.message, c.input))
            return;
        if (c.parameter.isEmpty()) {
            q->SQL().Add(c.line + likeText(text) + QStringLiteral("%'"));
        } else {
            q->SQL().Add(c.line);
            q->ParamByName(c.parameter)->setValue(text);
        }
    }
    q->Open();
    showRecordCount();
}

// A grid sorted by a column: the buttons go through the rows in the order shown.
bool QueryForm::sortedGrid() const
{
    return m_decl.grid && m_decl.grid->isSorted();
}

void QueryForm::firstClick()
{
    Query *q = query();
    if (sortedGrid())
        m_decl.grid->step(DBGrid::Step::First);
    else if (q && !q->Bof())
        q->First();
}

void QueryForm::lastClick()
{
    Query *q = query();
    if (sortedGrid())
        m_decl.grid->step(DBGrid::Step::Last);
    else if (q && !q->Eof())
        q->Last();
}

void QueryForm::PriorClick()
{
    Query *q = query();
    if (sortedGrid())
        m_decl.grid->step(DBGrid::Step::Prior);
    else if (q && !q->Bof())
        q->Prior();
}

void QueryForm::nextClick()
{
    Query *q = query();
    if (sortedGrid())
        m_decl.grid->step(DBGrid::Step::Next);
    else if (q && !q->Eof())
        q->Next();
}

void QueryForm::BitBtn3Click()
{
    Shell::instance().execute(this, QStringLiteral("open"), siteBaseAddress() + m_decl.pagePath,
                              ShowCommand::MinNoActive);
}
