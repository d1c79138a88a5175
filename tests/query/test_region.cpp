// The Hong Kong, Macao and Taiwan windows: one search over two criterion boxes, each finding its
// text anywhere in its column. Results are checked against the rows the suite writes into the
// database, never against the statement.

#include "QueryTestSupport.h"
#include "TestMain.h"
#include "support/UserInput.h"

#include "data/Query.h"
#include "platform/Shell.h"
#include "platform/Site.h"
#include "query/Hongkong_lawroom.h"
#include "query/Hongkong_lawyer.h"
#include "query/Macao_lawyer.h"
#include "query/Taiwan_lawyer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

using namespace querytest;

namespace {

// What a user sees of one window and what the test database holds for it. Each table's rows
// put the name first and the practice area last; the grid shows the leading fields, one per
// caption.
struct Region
{
    const char *key;
    QString table;
    QueryForm *(*window)();
    QPushButton *TF_one::*button;
    Query *TDM::*query;
    QString title;
    QStringList captions;
    QString nameMessage;
    QString domainMessage;
    QVector<QStringList> rows;
    // Texts that each find some of the rows but not all, and not only at a value's start (the
    // blank searched for shows that for the Hong Kong names).
    QString name;
    QString domain;
};

const Region kRegions[] = {
    {"HKlawyer",
     "Hongkong",
     [] { return static_cast<QueryForm *>(F_HKlawyer); },
     &TF_one::Button2,
     &TDM::AQ_HKlawyer,
     "香港律师信息查询",
     {"律师名称", "职位", "联系地址", "专业领域"},
     "姓名已选择,不能为空",
     "专业领域已选择,不能为空",
     {{"陈大文", "合伙人", "中环皇后大道一号", "刑法,家事法"},
      {"陈小明", "律师", "金钟道二号", "行政法,知识产权"},
      {"李志强", "顾问", "铜锣湾三号", "行政法"},
      {"O'Brien", "律师", "Queen's Road 4", "公司法/商业法,知识产权"},
      {"王 五", "律师", "九龙五号", "入境"}},
     "陈",
     "知识产权"},
    {"HKlawRoom",
     "HongkongLawyerInfo",
     [] { return static_cast<QueryForm *>(F_HKlawRoom); },
     &TF_one::Button6,
     &TDM::AQ_HKlawRoom,
     "香港律所信息查询",
     {"律所名称", "合伙人"},
     "律所名称已选择,不能为空",
     "法域已选择,不能为空",
     {{"陈氏律师行", "陈大文,陈小明", "刑法,行政法"},
      {"李氏律师事务所", "李志强", "知识产权"},
      {"王律师行", "王五", "家事法,行政法"}},
     "律师行",
     "行政法"},
    {"Mclawyer",
     "Macao",
     [] { return static_cast<QueryForm *>(F_Mclawyer); },
     &TF_one::Button4,
     &TDM::AQ_MClawyer,
     "澳门律师信息查询",
     {"律师名字", "执业日期", "注册日期", "分类"},
     "姓名已选择,不能为空",
     "专业领域已选择,不能为空",
     {{"陈大明", "2001-05-01", "2001-06-01", "执业律师", "刑事,民事"},
      {"黄小华", "1999-01-02", "1999-02-03", "实习律师", "民事"},
      {"陈美玲", "2010-03-04", "2010-04-05", "执业律师", "商事"}},
     "明",
     "民事"},
    {"TwLawyer",
     "Taiwan",
     [] { return static_cast<QueryForm *>(F_TwLawyer); },
     &TF_one::Button3,
     &TDM::AQ_TWlawyer,
     "台湾律师信息查询",
     {"律师姓名", "性别", "城市", "地址", "特长"},
     "姓名已选择,不能为空",
     "专业领域已选择,不能为空",
     {{"陈一", "男", "台北", "信义路一号", "刑事,民事"},
      {"林二", "女", "高雄", "中正路二号", "民事"},
      {"陈三", "男", "台中", "中山路三号", "商事"}},
     "二",
     "民事"},
};

// One row of the CSV files lssdb builds from.
QString csvLine(const QStringList &fields)
{
    QStringList out;
    for (QString f : fields) {
        if (f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"')))
            f = QLatin1Char('"') + f.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        out << f;
    }
    return out.join(QLatin1Char(','));
}

// The rows a search should show, in the table's order: a null text leaves its criterion out.
QStringList expectedRows(const Region &r, const QString &name, const QString &domain)
{
    QStringList rows;
    for (const QStringList &row : r.rows) {
        if ((name.isNull() || row.first().contains(name)) && (domain.isNull() || row.last().contains(domain)))
            rows << row.mid(0, r.captions.size()).join(QLatin1Char('|'));
    }
    return rows;
}

// The controls of one window, found through what it declares: the name criterion first.
struct Controls : QueryFormControls
{
    explicit Controls(QueryForm *w)
        : QueryFormControls(w->declaration().controls), form(w), CheckBox1(w->declaration().criteria.at(0).checkBox),
          CheckBox2(w->declaration().criteria.at(1).checkBox),
          xm(qobject_cast<QLineEdit *>(w->declaration().criteria.at(0).input)),
          domain(w->declaration().criteria.at(1).input)
    {
    }
    QueryForm *form;
    QCheckBox *CheckBox1;
    QCheckBox *CheckBox2;
    QLineEdit *xm;
    QWidget *domain;

    DBGrid *grid() const { return form->declaration().grid; }
    int rows() const { return grid()->model()->rowCount(); }
    QComboBox *combo() const { return qobject_cast<QComboBox *>(domain); }
    // The widget that takes typed text in domain (a combo box's edit box).
    QWidget *domainEdit() const { return combo() ? combo()->lineEdit() : domain; }
    // As a user gives it: picked from the list when the list has it, else typed.
    void setDomain(const QString &text) const
    {
        if (QComboBox *box = combo()) {
            const int i = box->findText(text);
            if (i >= 0 && !text.isEmpty())
                box->setCurrentIndex(i);
            else
                box->setEditText(text);
        } else {
            static_cast<QLineEdit *>(domain)->setText(text);
        }
    }
    void check(bool name, bool area) const
    {
        CheckBox1->setChecked(name);
        CheckBox2->setChecked(area);
    }
    // The rows the grid shows, cells joined as expectedRows() joins them.
    QStringList shown() const
    {
        QStringList out;
        for (int row = 0; row < rows(); ++row) {
            QStringList cells;
            for (int col = 0; col < grid()->model()->columnCount(); ++col)
                cells << grid()->model()->index(row, col).data().toString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
};

} // namespace

class TestRegion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingShell m_shell;

    static Query *query(const Region &r) { return DM->*r.query; }

    static QueryForm *open(const Region &r)
    {
        (F_one->*r.button)->click();
        QueryForm *w = r.window();
        if (w)
            w->activateWindow();
        return w;
    }
    static void addRegionRows()
    {
        QTest::addColumn<int>("which");
        for (int i = 0; i < int(std::size(kRegions)); ++i)
            QTest::newRow(kRegions[i].key) << i;
    }
    static bool hasFocus(QWidget *w, QWidget *expected)
    {
        QWidget *f = w->focusWidget();
        return f == expected || (f && f->focusProxy() == expected) || (f && f->parentWidget() == expected);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(lss);
        QVERIFY(m_dir.isValid());
        QMap<QString, QStringList> rows;
        for (const Region &r : kRegions)
            for (const QStringList &row : r.rows)
                rows[r.table] << csvLine(row);
        const QString db = buildDatabase(m_dir.path(), rows);
        QVERIFY(!db.isEmpty());
        startProgram(db);
        QVERIFY(DM && F_one);
        Shell::setInstance(&m_shell);
    }

    void cleanupTestCase() { Shell::setInstance(nullptr); }

    void cleanup()
    {
        for (const Region &r : kRegions) {
            if (!(F_one->*r.button)->isEnabled() && r.window())
                r.window()->close();
        }
        flushDeletes();
        m_shell.calls.clear();
    }

    void initialState_data() { addRegionRows(); }
    void initialState()
    {
        QFETCH(int, which);
        const Region &r = kRegions[which];
        query(r)->Close();
        QueryForm *w = open(r);
        QVERIFY(w);
        Controls c(w);
        QVERIFY(w->isVisible());
        QVERIFY(!(F_one->*r.button)->isEnabled());
        QCOMPARE(w->windowTitle(), r.title);
        // Not resizable, and every control lies inside the window, whole.
        QCOMPARE(w->minimumSize(), w->maximumSize());
        for (QWidget *child : w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (!child->isWindow())
                QVERIFY2(w->rect().contains(child->geometry()), qPrintable(child->objectName()));
        QVERIFY(!c.CheckBox1->isChecked() && !c.CheckBox2->isChecked());
        QVERIFY(c.xm->isHidden() && c.domain->isHidden());
        QVERIFY(c.xm->text().isEmpty());
        QVERIFY(c.Edit2->text().isEmpty());
        if (QComboBox *combo = c.combo()) {
            // The list offers every practice area the directory uses, each once; it is editable.
            QVERIFY(combo->isEditable());
            QCOMPARE(combo->currentIndex(), 0);
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            QCOMPARE(QSet<QString>(items.begin(), items.end()).size(), items.size());
            for (const QStringList &row : r.rows)
                for (const QString &area : row.last().split(QLatin1Char(',')))
                    QVERIFY2(items.contains(area), qPrintable(area));
        } else {
            QVERIFY(static_cast<QLineEdit *>(c.domain)->text().isEmpty());
        }

        // The captions over an empty grid, each wide enough to read.
        DBGrid *g = c.grid();
        QCOMPARE(c.rows(), 0);
        QStringList captions;
        for (int i = 0; i < g->model()->columnCount(); ++i) {
            captions << g->model()->headerData(i, Qt::Horizontal).toString();
            QVERIFY2(g->horizontalHeader()->fontMetrics().horizontalAdvance(captions.last()) < g->columnWidth(i),
                     qPrintable(captions.last()));
        }
        QCOMPARE(captions, r.captions);

        // Taiwan opens over the launcher, the others in the middle of the screen.
        const QPoint centre = w->geometry().center();
        const QPoint target = QByteArray(r.key) == "TwLawyer"
                                  ? F_one->frameGeometry().center()
                                  : QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((centre - target).manhattanLength() <= 40, qPrintable(QStringLiteral("centre %1,%2 target %3,%4")
                                                                           .arg(centre.x())
                                                                           .arg(centre.y())
                                                                           .arg(target.x())
                                                                           .arg(target.y())));
        // The one query window of its kind; closing gives the launcher button back.
        closeWindow(w);
        QVERIFY((F_one->*r.button)->isEnabled());
    }

    // Each combination of the boxes finds exactly the rows of the test data that hold the
    // checked texts, by the button and by Enter alike. An unchecked box's text is ignored.
    void search_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("name");   // null: its box unchecked
        QTest::addColumn<QString>("domain"); // null: its box unchecked
        for (int i = 0; i < int(std::size(kRegions)); ++i) {
            const Region &r = kRegions[i];
            const QString off;
            QTest::addRow("%s-none", r.key) << i << off << off;
            QTest::addRow("%s-name", r.key) << i << r.name << off;
            QTest::addRow("%s-area", r.key) << i << off << r.domain;
            QTest::addRow("%s-both", r.key) << i << r.name << r.domain;
            // A single blank is a text; a text no row holds finds nothing.
            QTest::addRow("%s-blank", r.key) << i << QStringLiteral(" ") << off;
            QTest::addRow("%s-nothing", r.key) << i << QStringLiteral("查无此人") << off;
        }
        // An apostrophe is searched for, not taken as the statement's quote; a practice area
        // typed by hand, not picked from the list, is searched like the others.
        QTest::addRow("HKlawyer-apostrophe") << 0 << QStringLiteral("O'B") << QString();
        QTest::addRow("HKlawyer-typedArea") << 0 << QString() << QStringLiteral("入");
    }
    void search()
    {
        QFETCH(int, which);
        QFETCH(QString, name);
        QFETCH(QString, domain);
        const Region &r = kRegions[which];
        QueryForm *w = open(r);
        QVERIFY(QTest::qWaitForWindowActive(w));
        Controls c(w);
        c.xm->setText(name.isNull() ? r.name : name);
        c.setDomain(domain.isNull() ? r.domain : domain);
        c.check(!name.isNull(), !domain.isNull());
        const QStringList expected = expectedRows(r, name, domain);

        QStringList shown = boxesDuring([&] { c.BitBtn2->click(); });
        QVERIFY(shown.isEmpty());
        QCOMPARE(c.shown(), expected);
        QCOMPARE(c.Edit2->text(), QString::number(expected.size()));
        // Shown from its first digit on, should it be wider than the box.
        QCOMPARE(c.Edit2->cursorPosition(), 0);

        // Enter where the user typed last (or on a box when nothing is typed) searches the same.
        query(r)->Close();
        c.Edit2->clear();
        QWidget *focus = !name.isNull()     ? static_cast<QWidget *>(c.xm)
                         : !domain.isNull() ? c.domainEdit()
                                            : c.CheckBox2;
        focus->setFocus();
        shown = boxesDuring([&] { pressKey(w, Qt::Key_Return); });
        QVERIFY(shown.isEmpty());
        QCOMPARE(c.shown(), expected);
        QCOMPARE(c.Edit2->text(), QString::number(expected.size()));
    }

    // A checked, empty criterion stops the search with its box: the focus on its input, no rows,
    // the counter as it was, the navigation buttons idle. The name is checked first, and the
    // practice area is not looked at once the name failed.
    void emptyInputs_data() { addRegionRows(); }
    void emptyInputs()
    {
        QFETCH(int, which);
        const Region &r = kRegions[which];
        QueryForm *w = open(r);
        QVERIFY(QTest::qWaitForWindowActive(w));
        Controls c(w);
        c.check(false, false);
        c.BitBtn2->click();
        QCOMPARE(c.rows(), int(r.rows.size()));
        c.Edit2->setText(QStringLiteral("typed"));

        c.check(true, true);
        c.xm->clear();
        c.setDomain(QString());
        QStringList shown = boxesDuring([&] { c.BitBtn2->click(); });
        QCOMPARE(shown, QStringList{r.nameMessage});
        QVERIFY(hasFocus(w, c.xm));
        QVERIFY(!query(r)->Active());
        QCOMPARE(c.rows(), 0);
        QCOMPARE(c.Edit2->text(), QStringLiteral("typed"));
        for (QPushButton *b : {c.first, c.last, c.Prior, c.next})
            b->click();
        QVERIFY(!query(r)->Active());
        QCOMPARE(query(r)->RecNo(), -1);

        // Name given, practice area empty: its box, by Enter too, and the focus on its input.
        c.xm->setText(r.name);
        c.xm->setFocus();
        shown = boxesDuring([&] { pressKey(w, Qt::Key_Return); });
        QCOMPARE(shown, QStringList{r.domainMessage});
        QVERIFY(hasFocus(w, c.domain));
        QVERIFY(!query(r)->Active());
        QCOMPARE(c.rows(), 0);
        QCOMPARE(c.Edit2->text(), QStringLiteral("typed"));
    }

    // The practice-area list keeps what it offers: Enter adds nothing, and it opens only when
    // asked, never on typing.
    void practiceAreaList_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow(kRegions[0].key) << 0;
        QTest::newRow(kRegions[1].key) << 1;
    }
    void practiceAreaList()
    {
        QFETCH(int, which);
        QueryForm *w = open(kRegions[which]);
        QVERIFY(QTest::qWaitForWindowActive(w));
        Controls c(w);
        QComboBox *combo = c.combo();
        QVERIFY(combo);
        const int count = combo->count();
        c.CheckBox2->click();
        QVERIFY(hasFocus(w, c.domain));
        combo->setEditText(QString());
        typeText(combo->lineEdit(), QStringLiteral("新领域"));
        QVERIFY(!combo->view()->isVisible());
        pressKey(w, Qt::Key_Return);
        QCOMPARE(combo->count(), count);
        QCOMPARE(combo->currentText(), QStringLiteral("新领域"));
        QCOMPARE(c.Edit2->text(), QStringLiteral("0"));
    }

    // Enter on a focused button presses that button instead of running the window's search;
    // anywhere else Enter still searches.
    void enterOnFocusedButton_data() { addRegionRows(); }
    void enterOnFocusedButton()
    {
        QFETCH(int, which);
        const Region &r = kRegions[which];
        QueryForm *w = open(r);
        Controls c(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        c.check(false, false);
        c.BitBtn2->click();
        c.next->setFocus();
        pressKey(w, Qt::Key_Return);
        QCOMPARE(query(r)->RecNo(), 1);
        c.last->setFocus();
        pressKey(w, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(query(r)->RecNo(), int(r.rows.size()) - 1);
        c.BitBtn3->setFocus();
        pressKey(w, Qt::Key_Return);
        QCOMPARE(m_shell.calls.size(), 1);
        QCOMPARE(query(r)->RecNo(), int(r.rows.size()) - 1);
        c.CheckBox2->setFocus();
        pressKey(w, Qt::Key_Return);
        QCOMPARE(query(r)->RecNo(), 0);
    }

    // A check box takes a click anywhere in its rectangle, not only on its square and caption.
    void checkBoxesTakeClicksInTheirRectangle_data() { addRegionRows(); }
    void checkBoxesTakeClicksInTheirRectangle()
    {
        QFETCH(int, which);
        const Region &r = kRegions[which];
        QueryForm *w = open(r);
        Controls c(w);
        c.check(false, false);
        for (QCheckBox *box : {c.CheckBox1, c.CheckBox2}) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 2, box->height() / 2));
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        }
        if (QByteArray(r.key) == "HKlawRoom") {
            // Where a user found it: right of the caption "法域".
            c.check(false, false);
            QWidget *at = w->childAt(132, 94);
            QCOMPARE(at, static_cast<QWidget *>(c.CheckBox2));
            QTest::mouseClick(at, Qt::LeftButton, {}, at->mapFrom(w, QPoint(132, 94)));
            QVERIFY(c.CheckBox2->isChecked());
        }
    }

    // Hiding an input keeps its text; the search goes by the box alone.
    void boxesKeepTheirInputs()
    {
        const Region &r = kRegions[3];
        QueryForm *w = open(r);
        Controls c(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        c.CheckBox2->setFocus();
        QTest::keyClick(c.CheckBox2, Qt::Key_Space);
        QVERIFY(c.domain->isVisible());
        QVERIFY(hasFocus(w, c.domain));
        typeText(c.domain, r.domain);
        c.CheckBox2->click();
        QVERIFY(c.domain->isHidden());
        c.BitBtn2->click();
        QCOMPARE(c.shown(), expectedRows(r, QString(), QString()));
        c.CheckBox2->click();
        QCOMPARE(static_cast<QLineEdit *>(c.domain)->text(), r.domain);
        c.BitBtn2->click();
        QCOMPARE(c.shown(), expectedRows(r, QString(), r.domain));
    }

    // Navigation, closing and reopening: the last result comes back at once, the counter empty.
    void reopenedWindow_data() { addRegionRows(); }
    void reopenedWindow()
    {
        QFETCH(int, which);
        const Region &r = kRegions[which];
        const int all = int(r.rows.size());
        QueryForm *w = open(r);
        Controls c(w);
        c.check(false, false);
        c.BitBtn2->click();
        QCOMPARE(query(r)->RecNo(), 0);
        // Each button reaches its move; the moves at either end are the base window's, tried
        // on the mainland window.
        c.next->click();
        QCOMPARE(query(r)->RecNo(), 1);
        c.last->click();
        QCOMPARE(query(r)->RecNo(), all - 1);
        c.Prior->click();
        QCOMPARE(query(r)->RecNo(), all - 2);
        c.first->click();
        c.next->click();
        QCOMPARE(query(r)->RecNo(), 1);
        QCOMPARE(c.grid()->currentIndex().row(), 1);

        closeWindow(w);
        QVERIFY((F_one->*r.button)->isEnabled());

        QueryForm *again = open(r);
        QVERIFY(again);
        Controls a(again);
        QCOMPARE(a.shown(), expectedRows(r, QString(), QString()));
        QCOMPARE(query(r)->RecNo(), 1);
        QCOMPARE(a.grid()->currentIndex().row(), 1);
        QVERIFY(a.Edit2->text().isEmpty());
        QVERIFY(!a.CheckBox1->isChecked() && a.xm->isHidden());
    }

    // Each window's button opens one page of its own on the site, minimised, in the background.
    void moreInformationPages()
    {
        QStringList pages;
        for (const Region &r : kRegions) {
            QueryForm *w = open(r);
            Controls(w).BitBtn3->click();
            QCOMPARE(m_shell.calls.size(), 1);
            const RecordingShell::Call call = m_shell.calls.takeFirst();
            QCOMPARE(call.owner, static_cast<QWidget *>(w)); // how it opens: the mainland windows' test
            QVERIFY2(call.file.startsWith(siteBaseAddress() + QStringLiteral("/quillhall/")), qPrintable(call.file));
            QVERIFY(QUrl(call.file, QUrl::StrictMode).isValid());
            pages << call.file;
        }
        QCOMPARE(QSet<QString>(pages.begin(), pages.end()).size(), pages.size());
    }

    // The grids only show: no editing, no deletion.
    void gridsOnlyShow()
    {
        const Region &r = kRegions[0];
        QueryForm *w = open(r);
        Controls c(w);
        c.check(false, false);
        c.BitBtn2->click();
        DBGrid *g = c.grid();
        g->setFocus();
        QTest::keyClick(g, Qt::Key_Delete);
        QTest::keyClick(g, Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(g, Qt::Key_F2);
        QTest::keyClicks(g, QStringLiteral("x"));
        QCOMPARE(g->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(c.shown(), expectedRows(r, QString(), QString()));
        QVERIFY(!(g->model()->flags(g->model()->index(0, 0)) & Qt::ItemIsEditable));
    }
};

LSS_TEST_MAIN(TestRegion)
#include "test_region.moc"