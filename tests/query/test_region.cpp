// The Hong Kong, Macao and Taiwan windows: one search over two criterion boxes, each a LIKE line.

#include "QueryTestSupport.h"
#include "TestMain.h"
#include "support/UserInput.h"

#include "data/DataSource.h"
#include "data/Query.h"
#include "query/Hongkong_lawroom.h"
#include "query/Hongkong_lawyer.h"
#include "query/Macao_lawyer.h"
#include "query/Taiwan_lawyer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

using namespace querytest;

namespace {

// What the cases need to know about one window.
struct Region
{
    const char *key;
    QueryForm *(*window)();
    QPushButton *TF_one::*button;
    Query *TDM::*query;
    DataSource *TDM::*source;
    QString gridName;
    QString title;
    QSize size;
    QString select;
    QString namePrefix;
    QString domainPrefix;
    QString nameMessage;
    QString domainMessage;
    QStringList titles;
    QVector<int> widths;
    QString page;
    // Texts that find rows in the test database, and how many.
    int all;
    QString name;
    int nameCount;
    QString domain;
    int domainCount;
    QString bothDomain;
    int bothCount;
};

const Region kRegions[] = {
    {"HKlawyer",
     [] { return static_cast<QueryForm *>(F_HKlawyer); },
     &TF_one::Button2,
     &TDM::AQ_HKlawyer,
     &TDM::DS_HKlawyer,
     QStringLiteral("DBGrid1"),
     QStringLiteral("香港律师信息查询"),
     QSize(716, 345),
     QStringLiteral("SELECT h_name,h_post,h_address,h_domain FROM Hongkong where 1=1"),
     QStringLiteral("and h_name like '%"),
     QStringLiteral("and h_domain like '%"),
     QStringLiteral("姓名已选择,不能为空"),
     QStringLiteral("专业领域已选择,不能为空"),
     {QStringLiteral("律师名称"), QStringLiteral("职位"), QStringLiteral("联系地址"), QStringLiteral("专业领域")},
     {90, 68, 310, 100},
     QStringLiteral("/quillhall/findlawyer/findlawyer_xg.jsp?xg_id=7"),
     5,
     QStringLiteral("陈"),
     2,
     QStringLiteral("行政法"),
     2,
     QStringLiteral("行政法"),
     1},
    {"HKlawRoom",
     [] { return static_cast<QueryForm *>(F_HKlawRoom); },
     &TF_one::Button6,
     &TDM::AQ_HKlawRoom,
     &TDM::DS_HKlawRoom,
     QStringLiteral("DBGrid3"),
     QStringLiteral("香港律所信息查询"),
     QSize(716, 343),
     QStringLiteral("SELECT hl_name,hl_copartner FROM HongkongLawyerInfo where 1=1"),
     QStringLiteral("and hl_name like '%"),
     QStringLiteral("and hl_domain like '%"),
     QStringLiteral("律所名称已选择,不能为空"),
     QStringLiteral("法域已选择,不能为空"),
     {QStringLiteral("律所名称"), QStringLiteral("合伙人")},
     {200, 200},
     QStringLiteral("/quillhall/findlawyerroom/findlawyerroom_xg_list.jsp?xg_id=12"),
     3,
     QStringLiteral("律师行"),
     2,
     QStringLiteral("行政法"),
     2,
     QStringLiteral("刑法"),
     1},
    {"Mclawyer",
     [] { return static_cast<QueryForm *>(F_Mclawyer); },
     &TF_one::Button4,
     &TDM::AQ_MClawyer,
     &TDM::DS_MClawyer,
     QStringLiteral("DBGrid1"),
     QStringLiteral("澳门律师信息查询"),
     QSize(716, 348),
     QStringLiteral("SELECT mc_name,mc_date,mc_reg_date,mc_class FROM Macao where 1=1"),
     QStringLiteral("and mc_name like '%"),
     QStringLiteral("and mc_domain like '%"),
     QStringLiteral("姓名已选择,不能为空"),
     QStringLiteral("专业领域已选择,不能为空"),
     {QStringLiteral("律师名字"), QStringLiteral("执业日期"), QStringLiteral("注册日期"), QStringLiteral("分类")},
     {100, 100, 100, 100},
     QStringLiteral("/quillhall/findlawyer/findlawyer_am.jsp?am_id=8"),
     3,
     QStringLiteral("陈"),
     2,
     QStringLiteral("民事"),
     2,
     QStringLiteral("刑事"),
     1},
    {"TwLawyer",
     [] { return static_cast<QueryForm *>(F_TwLawyer); },
     &TF_one::Button3,
     &TDM::AQ_TWlawyer,
     &TDM::DS_TWlawyer,
     QStringLiteral("DBGrid1"),
     QStringLiteral("台湾律师信息查询"),
     QSize(716, 348),
     QStringLiteral("SELECT tw_name,tw_sex,tw_city,tw_address,tw_domain FROM Taiwan where 1=1"),
     QStringLiteral("and tw_name like '%"),
     QStringLiteral("and tw_domain like '%"),
     QStringLiteral("姓名已选择,不能为空"),
     QStringLiteral("专业领域已选择,不能为空"),
     {QStringLiteral("律师姓名"), QStringLiteral("性别"), QStringLiteral("城市"), QStringLiteral("地址"),
      QStringLiteral("特长")},
     {80, 50, 50, 260, 260},
     QStringLiteral("/quillhall/findlawyer/findlawyer_tw.jsp?tw_id=9"),
     3,
     QStringLiteral("陈"),
     2,
     QStringLiteral("民事"),
     2,
     QStringLiteral("刑事"),
     1},
};

// The heading label, a member of each window's own layout.
QLabel *headingOf(QueryForm *w)
{
    if (auto *x = qobject_cast<TF_HKlawyer *>(w))
        return x->Label1;
    if (auto *x = qobject_cast<TF_HKlawRoom *>(w))
        return x->Label1;
    if (auto *x = qobject_cast<TF_Mclawyer *>(w))
        return x->Label1;
    if (auto *x = qobject_cast<TF_TwLawyer *>(w))
        return x->Label1;
    return nullptr;
}

// The controls every one of these windows has, as the window declares them: the name criterion
// first, the field criterion second.
struct Controls
{
    explicit Controls(QueryForm *w)
        : form(w), CheckBox1(w->declaration().criteria.at(0).checkBox),
          CheckBox2(w->declaration().criteria.at(1).checkBox),
          xm(qobject_cast<QLineEdit *>(w->declaration().criteria.at(0).input)),
          domain(w->declaration().criteria.at(1).input), BitBtn2(w->declaration().controls.BitBtn2),
          BitBtn3(w->declaration().controls.BitBtn3), Edit2(w->declaration().controls.Edit2),
          first(w->declaration().controls.first), last(w->declaration().controls.last),
          Prior(w->declaration().controls.Prior), next(w->declaration().controls.next), Label1(headingOf(w))
    {
    }
    QueryForm *form;
    QCheckBox *CheckBox1;
    QCheckBox *CheckBox2;
    QLineEdit *xm;
    QWidget *domain;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;
    QLineEdit *Edit2;
    QPushButton *first;
    QPushButton *last;
    QPushButton *Prior;
    QPushButton *next;
    QLabel *Label1;

    DBGrid *grid() const { return form->declaration().grid; }
    int rows() const { return grid()->model()->rowCount(); }
    // The widget that takes typed text in domain (a combo box's edit box).
    QWidget *domainEdit() const
    {
        if (auto *combo = qobject_cast<QComboBox *>(domain))
            return combo->lineEdit();
        return domain;
    }
    void setDomain(const QString &text) const
    {
        if (auto *combo = qobject_cast<QComboBox *>(domain))
            combo->setEditText(text);
        else
            static_cast<QLineEdit *>(domain)->setText(text);
    }
    void check(bool name, bool area) const
    {
        CheckBox1->setChecked(name);
        CheckBox2->setChecked(area);
    }
};

} // namespace

class TestRegion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingShell m_shell;

    static const Region &region(int i) { return kRegions[i]; }
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
        rows[QStringLiteral("Hongkong")] = {
            QStringLiteral("陈大文,合伙人,中环皇后大道一号,\"刑法,家事法\""),
            QStringLiteral("陈小明,律师,金钟道二号,\"行政法,知识产权\""),
            QStringLiteral("李志强,顾问,铜锣湾三号,行政法"),
            QStringLiteral("O'Brien,律师,Queen's Road 4,\"公司法/商业法,知识产权\""),
            QStringLiteral("王 五,律师,九龙五号,入境"),
        };
        rows[QStringLiteral("HongkongLawyerInfo")] = {
            QStringLiteral("陈氏律师行,\"陈大文,陈小明\",\"刑法,行政法\""),
            QStringLiteral("李氏律师事务所,李志强,知识产权"),
            QStringLiteral("王律师行,王五,\"家事法,行政法\""),
        };
        rows[QStringLiteral("Macao")] = {
            QStringLiteral("陈大明,2001-05-01,2001-06-01,执业律师,\"刑事,民事\""),
            QStringLiteral("黄小华,1999-01-02,1999-02-03,实习律师,民事"),
            QStringLiteral("陈美玲,2010-03-04,2010-04-05,执业律师,商事"),
        };
        rows[QStringLiteral("Taiwan")] = {
            QStringLiteral("陈一,男,台北,信义路一号,\"刑事,民事\""),
            QStringLiteral("林二,女,高雄,中正路二号,民事"),
            QStringLiteral("陈三,男,台中,中山路三号,商事"),
        };
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
        const Region &r = region(which);
        query(r)->Close();
        (DM->*r.source)->setEnabled(false);
        QueryForm *w = open(r);
        QVERIFY(w);
        Controls c(w);
        QVERIFY(w->isVisible());
        QVERIFY(!(F_one->*r.button)->isEnabled());
        QVERIFY((DM->*r.source)->Enabled());
        QCOMPARE(w->windowTitle(), r.title);
        QCOMPARE(w->size(), r.size);
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->font().pixelSize(), 11);
        // The criteria pair each box with its own input.
        for (QWidget *control : {static_cast<QWidget *>(c.CheckBox1), static_cast<QWidget *>(c.xm),
                                 static_cast<QWidget *>(c.CheckBox2), c.domain})
            QVERIFY(control);
        QCOMPARE((QStringList{c.CheckBox1->objectName(), c.xm->objectName(), c.CheckBox2->objectName(),
                              c.domain->objectName()}),
                 (QStringList{"CheckBox1", "xm", "CheckBox2", "domain"}));

        QVERIFY(!c.CheckBox1->isChecked() && !c.CheckBox2->isChecked());
        QVERIFY(c.xm->isHidden() && c.domain->isHidden());
        QVERIFY(c.xm->text().isEmpty());
        QVERIFY(c.Edit2->text().isEmpty());
        QVERIFY(c.BitBtn2->isDefault());
        QCOMPARE(c.BitBtn2->text(), QStringLiteral("模糊查询"));
        if (auto *combo = qobject_cast<QComboBox *>(c.domain)) {
            QVERIFY(which <= 1);
            QVERIFY(combo->isEditable());
            QCOMPARE(combo->count(), 20);
            QCOMPARE(combo->currentIndex(), 0);
            QCOMPARE(combo->currentText(), QStringLiteral("行政法"));
            QCOMPARE(combo->itemText(7), QStringLiteral("公司法/商业法"));
            QCOMPARE(combo->itemText(19), QStringLiteral("遗嘱与遗产事务"));
        } else {
            QVERIFY(which >= 2);
            QVERIFY(qobject_cast<QLineEdit *>(c.domain));
            QVERIFY(static_cast<QLineEdit *>(c.domain)->text().isEmpty());
        }
        QCOMPARE(c.Label1->text(), QStringLiteral("请输入您要查询的条件"));
        QCOMPARE(c.Label1->font().pixelSize(), 16);
        QVERIFY(c.Label1->alignment() & Qt::AlignRight);

        DBGrid *g = c.grid();
        QCOMPARE(g->objectName(), r.gridName);
        QCOMPARE(g->dataSource(), DM->*r.source);
        QCOMPARE(g->model()->columnCount(), r.titles.size());
        for (int i = 0; i < r.titles.size(); ++i) {
            QCOMPARE(g->model()->headerData(i, Qt::Horizontal).toString(), r.titles.at(i));
            QCOMPARE(g->columnWidth(i), r.widths.at(i));
        }
        QCOMPARE(c.rows(), 0);

        // Taiwan opens over the launcher, the others in the middle of the screen.
        const QPoint centre = w->geometry().center();
        const QPoint target = which == 3 ? F_one->frameGeometry().center()
                                         : QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((centre - target).manhattanLength() <= 40, qPrintable(QStringLiteral("centre %1,%2 target %3,%4")
                                                                           .arg(centre.x())
                                                                           .arg(centre.y())
                                                                           .arg(target.x())
                                                                           .arg(target.y())));
        // The one query window of its kind; closing gives the launcher button back.
        QPointer<QueryForm> p(w);
        w->close();
        flushDeletes();
        QVERIFY(p.isNull());
        QVERIFY((F_one->*r.button)->isEnabled());
    }

    // Every combination of the two boxes, with the lines and the rows found.
    void searchLines_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<bool>("name");
        QTest::addColumn<bool>("area");
        for (int i = 0; i < int(std::size(kRegions)); ++i) {
            for (int combo = 0; combo < 4; ++combo) {
                const bool name = combo & 1;
                const bool area = combo & 2;
                QTest::addRow("%s-%s%s", kRegions[i].key, name ? "name" : "", area ? "area" : (name ? "" : "none"))
                    << i << name << area;
            }
        }
    }
    void searchLines()
    {
        QFETCH(int, which);
        QFETCH(bool, name);
        QFETCH(bool, area);
        const Region &r = region(which);
        QueryForm *w = open(r);
        Controls c(w);
        c.xm->setText(r.name);
        const QString areaText = name ? r.bothDomain : r.domain;
        c.setDomain(areaText);
        c.check(name, area);

        const QStringList shown = boxesDuring([&] { c.BitBtn2->click(); });
        QVERIFY(shown.isEmpty());
        QStringList expected{r.select};
        if (name)
            expected << r.namePrefix + r.name + QStringLiteral("%'");
        if (area)
            expected << r.domainPrefix + areaText + QStringLiteral("%'");
        QCOMPARE(query(r)->SQL().lines(), expected);
        QVERIFY(query(r)->Active());
        const int count = name && area ? r.bothCount : name ? r.nameCount : area ? r.domainCount : r.all;
        QCOMPARE(c.Edit2->text(), QString::number(count));
        // Shown from its first digit on, should it be wider than the box.
        QCOMPARE(c.Edit2->cursorPosition(), 0);
        QCOMPARE(c.rows(), count);
        // Only the grid's fields are fetched: the Hong Kong firms' legal field and the Macao
        // practice area are searched, never read.
        QCOMPARE(query(r)->fieldNames().size(), r.titles.size());
    }

    // An empty input stops the search at its criterion: the message, the focus, the query closed
    // after the earlier lines, the counter as it was.
    void emptyInputs_data() { addRegionRows(); }
    void emptyInputs()
    {
        QFETCH(int, which);
        const Region &r = region(which);
        QueryForm *w = open(r);
        Controls c(w);
        c.check(false, false);
        c.BitBtn2->click();
        QCOMPARE(c.Edit2->text(), QString::number(r.all));
        c.Edit2->setText(QStringLiteral("typed"));

        // Name empty: the practice area is never looked at, even when it is empty too.
        c.check(true, true);
        c.xm->clear();
        c.setDomain(QString());
        QStringList shown = boxesDuring([&] { c.BitBtn2->click(); });
        QCOMPARE(shown, QStringList{r.nameMessage});
        QVERIFY(hasFocus(w, c.xm));
        QVERIFY(!query(r)->Active());
        QCOMPARE(query(r)->SQL().lines(), QStringList{r.select});
        QCOMPARE(c.rows(), 0);
        QCOMPARE(c.Edit2->text(), QStringLiteral("typed"));

        // Navigation on the closed query does nothing.
        for (QPushButton *b : {c.first, c.last, c.Prior, c.next})
            b->click();
        QVERIFY(!query(r)->Active());
        QCOMPARE(query(r)->RecNo(), -1);

        // Name given, area empty: the name's line is in, the area's message, focus on the area.
        c.xm->setText(r.name);
        c.BitBtn2->setFocus();
        shown = boxesDuring([&] { c.BitBtn2->click(); });
        QCOMPARE(shown, QStringList{r.domainMessage});
        QVERIFY(hasFocus(w, c.domain));
        QVERIFY(!query(r)->Active());
        QCOMPARE(query(r)->SQL().lines(), (QStringList{r.select, r.namePrefix + r.name + QStringLiteral("%'")}));
        QCOMPARE(c.Edit2->text(), QStringLiteral("typed"));

        // A single blank is a text.
        c.check(true, false);
        c.xm->setText(QStringLiteral(" "));
        shown = boxesDuring([&] { c.BitBtn2->click(); });
        QVERIFY(shown.isEmpty());
        QCOMPARE(query(r)->SQL().lines().last(), r.namePrefix + QStringLiteral(" %'"));
        QVERIFY(query(r)->Active());

        // Nothing found: an empty grid and "0".
        c.xm->setText(QStringLiteral("查无此人"));
        c.BitBtn2->click();
        QCOMPARE(c.Edit2->text(), QStringLiteral("0"));
        QCOMPARE(c.rows(), 0);
    }

    // Enter runs the search from the inputs and the check boxes, as BitBtn2 does.
    void enterRunsSearch_data() { addRegionRows(); }
    void enterRunsSearch()
    {
        QFETCH(int, which);
        const Region &r = region(which);
        QueryForm *w = open(r);
        Controls c(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        c.CheckBox1->click();
        QVERIFY(hasFocus(w, c.xm));
        typeText(c.xm, r.name);
        query(r)->Close();
        QTest::keyClick(c.xm, Qt::Key_Return);
        QVERIFY(query(r)->Active());
        QCOMPARE(query(r)->SQL().lines(), (QStringList{r.select, r.namePrefix + r.name + QStringLiteral("%'")}));
        QCOMPARE(c.Edit2->text(), QString::number(r.nameCount));
        QCOMPARE(c.xm->text(), r.name);

        c.CheckBox1->click();
        c.CheckBox2->click();
        QVERIFY(hasFocus(w, c.domain));
        c.setDomain(r.domain);
        query(r)->Close();
        QTest::keyClick(c.domainEdit(), Qt::Key_Return);
        QVERIFY(query(r)->Active());
        QCOMPARE(query(r)->SQL().lines(), (QStringList{r.select, r.domainPrefix + r.domain + QStringLiteral("%'")}));
        if (auto *combo = qobject_cast<QComboBox *>(c.domain)) {
            QCOMPARE(combo->count(), 20); // Enter adds nothing to the list
            // The practice-area list opens only when asked, never on typing.
            combo->setEditText(QString());
            typeText(combo->lineEdit(), QStringLiteral("x"));
            QVERIFY(!combo->view()->isVisible());
            QCOMPARE(combo->currentText(), QStringLiteral("x"));
        }

        // From a check box, too.
        query(r)->Close();
        c.CheckBox2->setFocus();
        QTest::keyClick(c.CheckBox2, Qt::Key_Return);
        QVERIFY(query(r)->Active());

        // Enter with an empty input: the message, no search.
        c.setDomain(QString());
        query(r)->Close();
        const QStringList shown = boxesDuring([&] { QTest::keyClick(c.domainEdit(), Qt::Key_Return); });
        QCOMPARE(shown, QStringList{r.domainMessage});
        QVERIFY(!query(r)->Active());
    }

    // Enter on a focused button presses that button instead of running the window's search;
    // anywhere else Enter still searches.
    void enterOnFocusedButton_data() { addRegionRows(); }
    void enterOnFocusedButton()
    {
        QFETCH(int, which);
        const Region &r = region(which);
        QueryForm *w = open(r);
        Controls c(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        c.check(false, false);
        c.BitBtn2->click();
        const int start = query(r)->RecNo();
        c.next->setFocus();
        pressKey(w, Qt::Key_Return);
        QCOMPARE(query(r)->RecNo(), start + 1);
        c.last->setFocus();
        pressKey(w, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(query(r)->RecNo(), start + r.all - 1);
        c.BitBtn3->setFocus();
        pressKey(w, Qt::Key_Return);
        QCOMPARE(m_shell.calls.size(), 1);
        QCOMPARE(query(r)->RecNo(), start + r.all - 1);
        c.CheckBox2->setFocus();
        pressKey(w, Qt::Key_Return);
        QCOMPARE(query(r)->RecNo(), start);
    }

    // A check box takes a click anywhere in its rectangle, not only on its square and caption.
    void checkBoxesTakeClicksInTheirRectangle_data() { addRegionRows(); }
    void checkBoxesTakeClicksInTheirRectangle()
    {
        QFETCH(int, which);
        const Region &r = region(which);
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
        const Region &r = region(3);
        QueryForm *w = open(r);
        Controls c(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        c.CheckBox2->setFocus();
        QTest::keyClick(c.CheckBox2, Qt::Key_Space);
        QVERIFY(c.domain->isVisible());
        QVERIFY(hasFocus(w, c.domain));
        typeText(c.domain, QStringLiteral("刑事"));
        c.CheckBox2->click();
        QVERIFY(c.domain->isHidden());
        c.BitBtn2->click();
        QCOMPARE(query(r)->SQL().lines(), QStringList{r.select});
        QCOMPARE(c.Edit2->text(), QStringLiteral("3"));
        c.CheckBox2->click();
        QCOMPARE(static_cast<QLineEdit *>(c.domain)->text(), QStringLiteral("刑事"));
        c.BitBtn2->click();
        QCOMPARE(c.Edit2->text(), QStringLiteral("1"));
    }

    // The values found and shown, against the database built by lssdb.
    void resultsFromTheDatabase()
    {
        // A practice area found inside a column that lists several; the apostrophe is doubled.
        QueryForm *w = open(region(0));
        Controls c(w);
        c.check(false, true);
        c.setDomain(QStringLiteral("知识产权"));
        c.BitBtn2->click();
        QCOMPARE(c.Edit2->text(), QStringLiteral("2"));
        QCOMPARE(query(region(0))->FieldByName(QStringLiteral("h_domain")), QStringLiteral("行政法,知识产权"));
        QCOMPARE(c.grid()->model()->index(1, 0).data().toString(), QStringLiteral("O'Brien"));
        c.check(true, false);
        c.xm->setText(QStringLiteral("O'B"));
        const QStringList shown = boxesDuring([&] { c.BitBtn2->click(); });
        QVERIFY(shown.isEmpty());
        QCOMPARE(query(region(0))->SQL().lines().last(), QStringLiteral("and h_name like '%O''B%'"));
        QCOMPARE(c.Edit2->text(), QStringLiteral("1"));
        QCOMPARE(c.grid()->model()->index(0, 2).data().toString(), QStringLiteral("Queen's Road 4"));
        // A text typed by hand, not in the list, is searched like the others.
        c.check(false, true);
        c.setDomain(QStringLiteral("入"));
        c.BitBtn2->click();
        QCOMPARE(c.Edit2->text(), QStringLiteral("1"));

        // A firm found by its legal field shows name and partners only.
        QueryForm *f = open(region(1));
        Controls fc(f);
        fc.check(false, true);
        fc.BitBtn2->click();
        QCOMPARE(query(region(1))->fieldNames(),
                 (QStringList{QStringLiteral("hl_name"), QStringLiteral("hl_copartner")}));
        QCOMPARE(fc.grid()->model()->index(0, 1).data().toString(), QStringLiteral("陈大文,陈小明"));

        // Macao shows its two dates; the practice area stays unread.
        QueryForm *m = open(region(2));
        Controls mc(m);
        mc.check(false, true);
        mc.setDomain(QStringLiteral("民事"));
        mc.BitBtn2->click();
        QCOMPARE(mc.Edit2->text(), QStringLiteral("2"));
        QCOMPARE(query(region(2))->fieldIndex(QStringLiteral("mc_domain")), -1);
        QVERIFY(mc.grid()->model()->index(0, 1).data().toString().contains(QStringLiteral("2001")));
        QVERIFY(mc.grid()->model()->index(1, 2).data().toString().contains(QStringLiteral("1999")));
    }

    // Navigation, closing and reopening: the last result comes back at once, the counter empty.
    void reopenedWindow_data() { addRegionRows(); }
    void reopenedWindow()
    {
        QFETCH(int, which);
        const Region &r = region(which);
        QueryForm *w = open(r);
        Controls c(w);
        c.check(false, false);
        c.BitBtn2->click();
        QCOMPARE(query(r)->RecNo(), 0);
        c.Prior->click();
        QCOMPARE(query(r)->RecNo(), 0);
        c.next->click();
        QCOMPARE(query(r)->RecNo(), 1);
        c.last->click();
        QCOMPARE(query(r)->RecNo(), r.all - 1);
        c.next->click();
        QCOMPARE(query(r)->RecNo(), r.all - 1);
        c.Prior->click();
        QCOMPARE(query(r)->RecNo(), r.all - 2);
        c.first->click();
        c.next->click();
        QCOMPARE(query(r)->RecNo(), 1);
        QCOMPARE(c.grid()->currentIndex().row(), 1);

        QPointer<QueryForm> p(w);
        w->close();
        flushDeletes();
        QVERIFY(p.isNull());
        QVERIFY((F_one->*r.button)->isEnabled());
        QVERIFY(query(r)->Active());

        QueryForm *again = open(r);
        QVERIFY(again);
        Controls a(again);
        QCOMPARE(a.rows(), r.all);
        QCOMPARE(query(r)->RecNo(), 1);
        QCOMPARE(a.grid()->currentIndex().row(), 1);
        QVERIFY(a.Edit2->text().isEmpty());
        QVERIFY(!a.CheckBox1->isChecked() && a.xm->isHidden());
    }

    void moreInformationPage_data() { addRegionRows(); }
    void moreInformationPage()
    {
        QFETCH(int, which);
        const Region &r = region(which);
        QueryForm *w = open(r);
        Controls(w).BitBtn3->click();
        QCOMPARE(m_shell.calls.size(), 1);
        QCOMPARE(m_shell.calls.at(0).owner, static_cast<QWidget *>(w));
        QCOMPARE(m_shell.calls.at(0).verb, QStringLiteral("open"));
        QCOMPARE(m_shell.calls.at(0).file, QStringLiteral("http://127.0.0.1:9") + r.page);
        QCOMPARE(m_shell.calls.at(0).show, 7);
    }

    // The grids only show: no editing, no deletion.
    void gridsOnlyShow()
    {
        QueryForm *w = open(region(0));
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
        QCOMPARE(query(region(0))->RecordCount(), 5);
        QCOMPARE(g->model()->index(0, 0).data().toString(), QStringLiteral("陈大文"));
        QVERIFY(!(g->model()->flags(g->model()->index(0, 0)) & Qt::ItemIsEditable));
    }
};

LSS_TEST_MAIN(TestRegion)
#include "test_region.moc"
