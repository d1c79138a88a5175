// The mainland lawyer and law firm windows, and through them the query-window base.

#include "QueryTestSupport.h"
#include "TestMain.h"
#include "support/UserInput.h"

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/DatabaseError.h"
#include "data/Query.h"
#include "data/SqlEngine.h"
#include "data/jet/Writer.h"
#include "platform/Site.h"
#include "query/Dl_lawroom.h"
#include "query/Dl_lawyer.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QHeaderView>
#include <QSet>
#include <QTemporaryDir>

using namespace querytest;

namespace {
// The list open over the window, if any: it takes the keys the user presses.
QAbstractItemView *openList()
{
    QWidget *popup = QApplication::activePopupWidget();
    if (auto *view = qobject_cast<QAbstractItemView *>(popup))
        return view;
    return popup ? popup->findChild<QAbstractItemView *>() : nullptr;
}

const QString kLawyerSelect = QStringLiteral("SELECT l_realName,l_sex,l_province,l_city,l_domain FROM lawyer");
const QString kLawyerEnter =
    QStringLiteral("SELECT l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain FROM lawyer");
const QString kRoomSelect =
    QStringLiteral("SELECT lr_Name,lr_director,lr_city,lr_province,lr_WebSite,lr_domain FROM lawRoom");
} // namespace

class TestMainland : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    RecordingShell m_shell;

    static QStringList items(const QComboBox *combo)
    {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    }
    // Every control of a window lies inside it, whole.
    static void controlsInside(QWidget *window)
    {
        for (QWidget *c : window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (!c->isWindow())
                QVERIFY2(window->rect().contains(c->geometry()), c->objectName().toUtf8().constData());
    }

    TF_Lawyer *openLawyer()
    {
        F_one->Button1->click();
        return F_Lawyer;
    }
    TF_lawRoom *openRoom()
    {
        F_one->Button5->click();
        return F_lawRoom;
    }
    static QStringList lines(Query *q) { return q->SQL().lines(); }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(lss);
        QVERIFY(m_dir.isValid());
        QMap<QString, QStringList> rows;
        rows[QStringLiteral("lawyer")] = {
            QStringLiteral("1,张三,男,北京,北京,东城区一号,税务"),
            QStringLiteral("2,李四,女,北京市,北京,西城区二号,证券"),
            QStringLiteral("3,王五,男,河南,郑州,金水区三号,税务"),
            QStringLiteral("4,O'Brien,男,上海,上海,浦东四号,知识产权"),
            QStringLiteral("5,赵 六,女,河南,郑州市,二七区五号,房地产"),
            QStringLiteral("6,钱七,男,广东,广州,天河区六号,税务"),
        };
        rows[QStringLiteral("lawRoom")] = {
            QStringLiteral("北京一律师事务所,张主任,北京,北京,http://www.bj-one.example/,税务"),
            QStringLiteral("北京二律师事务所,李主任,北京,北京市,www.bj-two.example,证券"),
            QStringLiteral("郑州律师事务所,王主任,郑州,河南,,税务"),
            QStringLiteral("广州律师事务所,钱主任,广州,广东,C:\\Windows\\notepad.exe,税务"),
            QStringLiteral("上海律师事务所,孙主任,上海,上海,file:///etc/passwd,税务"),
        };
        m_db = buildDatabase(m_dir.path(), rows);
        QVERIFY(!m_db.isEmpty());
        startProgram(m_db);
        QVERIFY(DM && F_one);
        Shell::setInstance(&m_shell);
    }

    void cleanupTestCase() { Shell::setInstance(nullptr); }

    void cleanup()
    {
        // Each case starts with no query window open.
        if (F_one->Button1->isEnabled() == false && F_Lawyer)
            F_Lawyer->close();
        if (F_one->Button5->isEnabled() == false && F_lawRoom)
            F_lawRoom->close();
        flushDeletes();
        m_shell.calls.clear();
    }

    void launcherOpensWindowInInitialState()
    {
        DM->AQ_lawyer->Close();
        DM->DS_lawyer->setEnabled(false);
        TF_Lawyer *w = openLawyer();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!F_one->Button1->isEnabled());
        QVERIFY(DM->DS_lawyer->Enabled());
        // Its table is read ahead, before any search.
        QVERIFY(!DM->AQ_lawyer->Active());
        DM->ADOConnection1->waitForWarmUp();
        QVERIFY(DM->ADOConnection1->engine()->isLoaded(QStringLiteral("lawyer")));
        QCOMPARE(w->windowTitle(), QStringLiteral("大陆律师信息查询"));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        controlsInside(w);
        QVERIFY(!(w->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w->RadioButton1->isChecked());
        QVERIFY(w->Edit1->text().isEmpty());
        QVERIFY(w->Edit2->text().isEmpty());
        for (QWidget *input : {static_cast<QWidget *>(w->xm), static_cast<QWidget *>(w->city),
                               static_cast<QWidget *>(w->province), static_cast<QWidget *>(w->domain)})
            QVERIFY(input->isHidden());
        for (QCheckBox *b : {w->CheckBox1, w->CheckBox2, w->CheckBox3, w->CheckBox4})
            QVERIFY(!b->isChecked());
        QCOMPARE(w->province->currentText(), QStringLiteral("北京"));
        QCOMPARE(w->province->itemText(30), QStringLiteral("内蒙古"));
        QCOMPARE(w->domain->currentText(), QStringLiteral("税务"));
        QCOMPARE(w->domain->itemText(31), QStringLiteral("诉讼/仲裁"));
        QCOMPARE(w->domain->itemText(41), QStringLiteral("国际金融衍生工具"));
        QVERIFY(w->province->isEditable() && w->domain->isEditable());
        // Widths set at creation, titles, and the name column's font.
        const QVector<int> widths{120, 70, 70, 70, 150};
        for (int i = 0; i < widths.size(); ++i)
            QCOMPARE(w->DBGrid1->columnWidth(i), widths.at(i));
        QCOMPARE(w->DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("律师姓名"));
        QCOMPARE(w->DBGrid1->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("专长"));
        // The name column's larger font fits its rows.
        const QFont nameFont = *w->DBGrid1->columns().at(0).font;
        QVERIFY(QFontInfo(nameFont).pixelSize() > QFontInfo(w->font()).pixelSize());
        QVERIFY(w->DBGrid1->verticalHeader()->defaultSectionSize() >= QFontMetrics(nameFont).height());
        // Nothing ran: the grid shows no rows.
        QCOMPARE(w->DBGrid1->model()->rowCount(), 0);
        QCOMPARE(w->DBGrid1->dataSource(), DM->DS_lawyer);

        TF_lawRoom *r = openRoom();
        QCOMPARE(r->windowTitle(), QStringLiteral("大陆律所信息查询"));
        controlsInside(r);
        QVERIFY(r->RadioButton1->isChecked());
        const QVector<int> roomWidths{170, 70, 70, 70, 150};
        for (int i = 0; i < roomWidths.size(); ++i)
            QCOMPARE(r->DBGrid1->columnWidth(i), roomWidths.at(i));
        const GridColumn name = r->DBGrid1->columns().at(0);
        QVERIFY(name.font && name.font->underline());
        QCOMPARE(name.color, QColor(Qt::blue));
        QVERIFY(QFontInfo(r->DBGrid1->font()).pixelSize() > QFontInfo(r->font()).pixelSize());
        QVERIFY(r->DBGrid1->verticalHeader()->defaultSectionSize() >= QFontMetrics(r->DBGrid1->font()).height());
        // Both windows offer the same lists, each entry once.
        QCOMPARE(items(r->domain), items(w->domain));
        QCOMPARE(items(r->province), items(w->province));
        for (QComboBox *combo : {w->domain, w->province}) {
            const QStringList entries = items(combo);
            QCOMPARE(QSet<QString>(entries.begin(), entries.end()).size(), entries.size());
        }
    }

    void criterionBoxesShowFocusAndKeepText()
    {
        TF_Lawyer *w = openLawyer();
        w->activateWindow();
        w->CheckBox1->click();
        QVERIFY(w->xm->isVisible());
        QCOMPARE(w->focusWidget(), static_cast<QWidget *>(w->xm));
        typeText(w->xm, QStringLiteral("张三"));
        w->CheckBox1->click();
        QVERIFY(w->xm->isHidden());
        w->CheckBox1->click();
        QVERIFY(w->xm->isVisible());
        QCOMPARE(w->xm->text(), QStringLiteral("张三"));
        // Keyboard toggling acts the same.
        w->CheckBox4->setFocus();
        QTest::keyClick(w->CheckBox4, Qt::Key_Space);
        QVERIFY(w->CheckBox4->isChecked());
        QVERIFY(w->domain->isVisible());
        QCOMPARE(w->focusWidget(), static_cast<QWidget *>(w->domain));
    }

    void fuzzySearchLinesPerColumn_data()
    {
        QTest::addColumn<int>("radio");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("count");
        QTest::newRow("name") << 1 << QStringLiteral("三") << QStringLiteral("WHERE l_realName like '%三%'") << 1;
        QTest::newRow("city") << 2 << QStringLiteral("郑") << QStringLiteral("WHERE l_city like '%郑%'") << 2;
        QTest::newRow("province") << 3 << QStringLiteral("北京") << QStringLiteral("WHERE l_province like '%北京%'")
                                  << 2;
        QTest::newRow("domain") << 4 << QStringLiteral("税") << QStringLiteral("WHERE l_domain like '%税%'") << 3;
        QTest::newRow("blank") << 1 << QStringLiteral(" ") << QStringLiteral("WHERE l_realName like '% %'") << 1;
        QTest::newRow("wildcards") << 2 << QStringLiteral("郑州_") << QStringLiteral("WHERE l_city like '%郑州_%'")
                                   << 1;
        QTest::newRow("percent") << 3 << QStringLiteral("河%") << QStringLiteral("WHERE l_province like '%河%%'") << 2;
        QTest::newRow("apostrophe") << 1 << QStringLiteral("O'B") << QStringLiteral("WHERE l_realName like '%O''B%'")
                                    << 1;
        QTest::newRow("apostrophes") << 1 << QStringLiteral("'Brien''")
                                     << QStringLiteral("WHERE l_realName like '%''Brien''''%'") << 0;
    }
    void fuzzySearchLinesPerColumn()
    {
        QFETCH(int, radio);
        QFETCH(QString, text);
        QFETCH(QString, line);
        QFETCH(int, count);
        TF_Lawyer *w = openLawyer();
        QRadioButton *radios[] = {w->RadioButton1, w->RadioButton2, w->RadioButton3, w->RadioButton4};
        radios[radio - 1]->setChecked(true);
        w->Edit1->setText(text);
        w->BitBtn1->click();
        QCOMPARE(lines(DM->AQ_lawyer), (QStringList{kLawyerSelect, line}));
        QVERIFY(DM->AQ_lawyer->Active());
        QCOMPARE(w->Edit2->text(), QString::number(count));
        QCOMPARE(w->DBGrid1->model()->rowCount(), count);
        QCOMPARE(w->DBGrid1->model()->columnCount(), 5);
    }

    void roomFuzzySearchLines()
    {
        TF_lawRoom *r = openRoom();
        const QStringList prefixes{QStringLiteral("WHERE lr_Name like '%"), QStringLiteral("WHERE lr_city like '%"),
                                   QStringLiteral("WHERE lr_province like '%"),
                                   QStringLiteral("WHERE lr_domain like '%")};
        QRadioButton *radios[] = {r->RadioButton1, r->RadioButton2, r->RadioButton3, r->RadioButton4};
        r->Edit1->setText(QStringLiteral("北京"));
        for (int i = 0; i < 4; ++i) {
            radios[i]->setChecked(true);
            r->BitBtn1->click();
            QCOMPARE(lines(DM->AQ_lawRoom), (QStringList{kRoomSelect, prefixes.at(i) + QStringLiteral("北京%'")}));
        }
        r->RadioButton1->setChecked(true);
        r->BitBtn1->click();
        QCOMPARE(r->Edit2->text(), QStringLiteral("2"));
        // Enter runs the same statement.
        DM->AQ_lawRoom->Close();
        QTest::keyClick(r->Edit1, Qt::Key_Return);
        QCOMPARE(lines(DM->AQ_lawRoom), (QStringList{kRoomSelect, QStringLiteral("WHERE lr_Name like '%北京%'")}));
        QVERIFY(DM->AQ_lawRoom->Active());
        QCOMPARE(r->DBGrid1->model()->columnCount(), 5);
    }

    void enterKeyOnlyInEdit1()
    {
        TF_Lawyer *w = openLawyer();
        const int provinces = w->province->count();
        w->RadioButton2->setChecked(true);
        typeText(w->Edit1, QStringLiteral("郑"));
        QTest::keyClick(w->Edit1, Qt::Key_Return);
        QCOMPARE(lines(DM->AQ_lawyer), (QStringList{kLawyerEnter, QStringLiteral("WHERE l_city like '%郑%'")}));
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        // Same rows and the same five grid columns as the button, though two more fields came.
        QCOMPARE(w->DBGrid1->model()->columnCount(), 5);
        QCOMPARE(w->DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("律师姓名"));
        QCOMPARE(w->Edit1->text(), QStringLiteral("郑"));

        // Other keys only type; Enter in the other inputs runs nothing.
        DM->AQ_lawyer->Close();
        QTest::keyClick(w->Edit1, Qt::Key_A);
        QVERIFY(!DM->AQ_lawyer->Active());
        for (QCheckBox *b : {w->CheckBox1, w->CheckBox2, w->CheckBox3, w->CheckBox4})
            b->click();
        for (QWidget *input : {static_cast<QWidget *>(w->xm), static_cast<QWidget *>(w->city),
                               static_cast<QWidget *>(w->province), static_cast<QWidget *>(w->domain)}) {
            input->setFocus();
            const QStringList shown = boxesDuring([&] { QTest::keyClick(input, Qt::Key_Return); });
            QVERIFY(shown.isEmpty());
            QVERIFY(!DM->AQ_lawyer->Active());
        }
        // Enter in an editable combo box adds nothing to its list.
        QCOMPARE(w->province->count(), provinces);

        // Enter with Edit1 empty: the message, nothing run.
        w->Edit1->clear();
        const QStringList shown = boxesDuring([&] { QTest::keyClick(w->Edit1, Qt::Key_Return); });
        QCOMPARE(shown, QStringList{QStringLiteral("搜索内容不能为空")});
        QVERIFY(!DM->AQ_lawyer->Active());
    }

    // Keys typed the moment the window opens, while its table is still decoded ahead, all reach
    // the search box, and the search they end with runs at once on what they typed; keys typed
    // while that search runs arrive too.
    void keysTypedWhileDecodingAheadArrive()
    {
        Connection *c = DM->ADOConnection1;
        c->ensureOpen();
        c->engine()->holdWarmUp(true);
        TF_Lawyer *w = openLawyer();
        QVERIFY(c->warmUpRunning());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->RadioButton2->setChecked(true);
        w->Edit1->setFocus();
        pressText(w, QStringLiteral("郑州"));
        QCOMPARE(w->Edit1->text(), QStringLiteral("郑州"));
        QString typedDuringSearch;
        c->engine()->setStatementPrepared([&] {
            QMetaObject::invokeMethod(
                w,
                [&] {
                    pressText(w, QStringLiteral("市"));
                    typedDuringSearch = w->Edit1->text();
                },
                Qt::BlockingQueuedConnection);
        });
        const QStringList shown = boxesDuring([&] { pressKey(w, Qt::Key_Return); });
        c->engine()->setStatementPrepared(nullptr);
        QVERIFY(shown.isEmpty());
        QCOMPARE(lines(DM->AQ_lawyer).last(), QStringLiteral("WHERE l_city like '%郑州%'"));
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        QCOMPARE(typedDuringSearch, QStringLiteral("郑州市"));
        QCOMPARE(w->Edit1->text(), QStringLiteral("郑州市"));
        QVERIFY(c->warmUpRunning()); // the search did not wait for it
        c->engine()->holdWarmUp(false);
        c->waitForWarmUp();
    }

    void emptyFuzzyTextLeavesResultAlone()
    {
        TF_Lawyer *w = openLawyer();
        w->Edit1->setText(QStringLiteral("郑"));
        w->RadioButton2->setChecked(true);
        w->BitBtn1->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        w->Edit1->clear();
        w->BitBtn1->setFocus();
        const QStringList shown = boxesDuring([&] { w->BitBtn1->click(); });
        QCOMPARE(shown, QStringList{QStringLiteral("搜索内容不能为空")});
        QCOMPARE(w->focusWidget(), static_cast<QWidget *>(w->Edit1));
        QVERIFY(DM->AQ_lawyer->Active());
        QCOMPARE(lines(DM->AQ_lawyer).last(), QStringLiteral("WHERE l_city like '%郑%'"));
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        QCOMPARE(w->DBGrid1->model()->rowCount(), 2);
    }

    void exactSearchLinesAndParameters()
    {
        TF_Lawyer *w = openLawyer();
        // No box: the whole table.
        w->BitBtn2->click();
        QCOMPARE(lines(DM->AQ_lawyer), QStringList{kLawyerSelect + QStringLiteral(" where 1=1")});
        QCOMPARE(w->Edit2->text(), QStringLiteral("6"));

        w->CheckBox2->click();
        w->CheckBox4->click();
        w->city->setText(QStringLiteral("郑州"));
        w->BitBtn2->click();
        QCOMPARE(lines(DM->AQ_lawyer),
                 (QStringList{kLawyerSelect + QStringLiteral(" where 1=1"), QStringLiteral("and l_city = :city"),
                              QStringLiteral("and l_domain = :domain")}));
        QCOMPARE(DM->AQ_lawyer->ParamByName(QStringLiteral("city"))->Value, QStringLiteral("郑州"));
        QCOMPARE(DM->AQ_lawyer->ParamByName(QStringLiteral("domain"))->Value, QStringLiteral("税务"));
        QCOMPARE(w->Edit2->text(), QStringLiteral("1"));

        // All four, in their fixed order; an apostrophe is just a character of a parameter.
        w->CheckBox1->click();
        w->CheckBox3->click();
        w->xm->setText(QStringLiteral("O'Brien"));
        w->city->setText(QStringLiteral("上海"));
        w->province->setCurrentIndex(1);
        w->domain->setEditText(QStringLiteral("知识产权"));
        w->BitBtn2->click();
        QCOMPARE(lines(DM->AQ_lawyer),
                 (QStringList{kLawyerSelect + QStringLiteral(" where 1=1"), QStringLiteral("and l_realName =:name"),
                              QStringLiteral("and l_city = :city"), QStringLiteral("and l_province = :province"),
                              QStringLiteral("and l_domain = :domain")}));
        QCOMPARE(DM->AQ_lawyer->ParamByName(QStringLiteral("name"))->Value, QStringLiteral("O'Brien"));
        QCOMPARE(DM->AQ_lawyer->ParamByName(QStringLiteral("province"))->Value, QStringLiteral("上海"));
        QCOMPARE(w->Edit2->text(), QStringLiteral("1"));

        // An unchecked box's input is ignored, whatever it holds.
        w->CheckBox1->click();
        w->CheckBox3->click();
        w->CheckBox4->click();
        w->BitBtn2->click();
        QCOMPARE(lines(DM->AQ_lawyer).size(), 2);
        QCOMPARE(w->Edit2->text(), QStringLiteral("1"));

        // A province typed by hand must equal the stored value.
        w->CheckBox2->click();
        w->CheckBox3->click();
        w->province->setEditText(QStringLiteral("河南省"));
        w->BitBtn2->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("0"));
        QCOMPARE(w->DBGrid1->model()->rowCount(), 0);
    }

    void roomExactSearch()
    {
        TF_lawRoom *r = openRoom();
        for (QCheckBox *b : {r->CheckBox1, r->CheckBox2, r->CheckBox3, r->CheckBox4})
            b->click();
        r->xm->setText(QStringLiteral("北京一律师事务所"));
        r->city->setText(QStringLiteral("北京"));
        r->BitBtn2->click();
        QCOMPARE(lines(DM->AQ_lawRoom),
                 (QStringList{kRoomSelect + QStringLiteral(" where 1=1"), QStringLiteral("and lr_name =:name"),
                              QStringLiteral("and lr_city = :city"), QStringLiteral("and lr_province = :province"),
                              QStringLiteral("and lr_domain = :domain")}));
        QCOMPARE(r->Edit2->text(), QStringLiteral("1"));
        QCOMPARE(DM->AQ_lawRoom->FieldByName(QStringLiteral("lr_Name")), QStringLiteral("北京一律师事务所"));

        r->xm->clear();
        const QStringList shown = boxesDuring([&] { r->BitBtn2->click(); });
        QCOMPARE(shown, QStringList{QStringLiteral("律师事务所名称已选择,不能为空")});
        QCOMPARE(r->focusWidget(), static_cast<QWidget *>(r->xm));
        QVERIFY(!DM->AQ_lawRoom->Active());
        QCOMPARE(r->Edit2->text(), QStringLiteral("1"));
    }

    void failedCheckStopsAtItsCriterion_data()
    {
        QTest::addColumn<int>("empty");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("lineCount");
        QTest::newRow("name") << 1 << QStringLiteral("姓名已选择,不能为空") << 1;
        QTest::newRow("city") << 2 << QStringLiteral("城市已选择,不能为空") << 2;
        QTest::newRow("province") << 3 << QStringLiteral("省份已选择,不能为空") << 3;
        QTest::newRow("domain") << 4 << QStringLiteral("专长已选择,不能为空") << 4;
    }
    void failedCheckStopsAtItsCriterion()
    {
        QFETCH(int, empty);
        QFETCH(QString, message);
        QFETCH(int, lineCount);
        TF_Lawyer *w = openLawyer();
        w->Edit1->setText(QStringLiteral("北京"));
        w->RadioButton3->setChecked(true);
        w->BitBtn1->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));

        for (QCheckBox *b : {w->CheckBox1, w->CheckBox2, w->CheckBox3, w->CheckBox4})
            b->click();
        w->xm->setText(QStringLiteral("x"));
        w->city->setText(QStringLiteral("x"));
        QWidget *inputs[] = {w->xm, w->city, w->province, w->domain};
        if (empty <= 2)
            static_cast<QLineEdit *>(inputs[empty - 1])->clear();
        else
            static_cast<QComboBox *>(inputs[empty - 1])->setEditText(QString());
        const QStringList shown = boxesDuring([&] { w->BitBtn2->click(); });
        QCOMPARE(shown, QStringList{message});
        QCOMPARE(w->focusWidget(), inputs[empty - 1]);
        QVERIFY(!DM->AQ_lawyer->Active());
        QCOMPARE(lines(DM->AQ_lawyer).size(), lineCount);
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        QCOMPARE(w->DBGrid1->model()->rowCount(), 0);
        // Navigation on the closed query does nothing.
        w->first->click();
        w->next->click();
        QVERIFY(!DM->AQ_lawyer->Active());
    }

    void navigation()
    {
        TF_Lawyer *w = openLawyer();
        Query *q = DM->AQ_lawyer;
        q->Close();
        // Closed: nothing moves.
        for (QPushButton *b : {w->first, w->last, w->Prior, w->next})
            b->click();
        QVERIFY(!q->Active());

        w->BitBtn2->click(); // six rows
        QCOMPARE(q->RecNo(), 0);
        w->first->click();
        w->Prior->click();
        QCOMPARE(q->RecNo(), 0);
        w->next->click();
        QCOMPARE(q->RecNo(), 1);
        QCOMPARE(w->DBGrid1->currentIndex().row(), 1);
        w->last->click();
        QCOMPARE(q->RecNo(), 5);
        QVERIFY(q->Eof());
        w->next->click();
        w->last->click();
        QCOMPARE(q->RecNo(), 5);
        w->Prior->click();
        QCOMPARE(q->RecNo(), 4);
        QCOMPARE(w->DBGrid1->currentIndex().row(), 4);
        w->first->click();
        QCOMPARE(q->RecNo(), 0);
        w->next->click();
        QCOMPARE(q->RecNo(), 1);
        // next running into the end sets the end flag; next then does nothing.
        for (int i = 0; i < 10; ++i)
            w->next->click();
        QCOMPARE(q->RecNo(), 5);
        QVERIFY(q->Eof());

        // Empty result: all four do nothing.
        w->Edit1->setText(QStringLiteral("没有这个人"));
        w->BitBtn1->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("0"));
        for (QPushButton *b : {w->first, w->last, w->Prior, w->next})
            b->click();
        QCOMPARE(q->RecNo(), -1);
    }

    void counterIsAPlainEditBox()
    {
        TF_Lawyer *w = openLawyer();
        w->BitBtn2->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("6"));
        w->Edit2->setText(QStringLiteral("abc"));
        w->first->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("abc"));
        w->BitBtn2->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("6"));
    }

    void reopenedWindowShowsLastResult()
    {
        TF_Lawyer *w = openLawyer();
        w->RadioButton2->setChecked(true);
        w->Edit1->setText(QStringLiteral("郑"));
        w->BitBtn1->click();
        w->next->click();
        closeWindow(w);
        QVERIFY(F_one->Button1->isEnabled());
        QVERIFY(DM->AQ_lawyer->Active());
        QCOMPARE(DM->AQ_lawyer->RecNo(), 1);

        TF_Lawyer *again = openLawyer();
        QVERIFY(again != nullptr);
        QVERIFY(!F_one->Button1->isEnabled());
        QVERIFY(again->Edit2->text().isEmpty());
        QVERIFY(again->Edit1->text().isEmpty());
        QVERIFY(again->RadioButton1->isChecked());
        QCOMPARE(again->DBGrid1->model()->rowCount(), 2);
        QCOMPARE(again->DBGrid1->currentIndex().row(), 1);
        closeWindow(again);

        // The law firm window re-enables its own button.
        TF_lawRoom *r = openRoom();
        QVERIFY(!F_one->Button5->isEnabled());
        closeWindow(r);
        QVERIFY(F_one->Button5->isEnabled());
    }

    void escapeDoesNotCloseWindow()
    {
        TF_Lawyer *w = openLawyer();
        QTest::keyClick(w->Edit1, Qt::Key_Escape);
        QVERIFY(w->isVisible());
        QVERIFY(!F_one->Button1->isEnabled());
    }

    void moreInformationPages()
    {
        TF_Lawyer *w = openLawyer();
        w->BitBtn3->click();
        TF_lawRoom *r = openRoom();
        r->BitBtn3->click();
        QCOMPARE(m_shell.calls.size(), 2);
        QCOMPARE(m_shell.calls.at(0).file, siteBaseAddress() + QStringLiteral("/quillhall/findlawyer/findlawyer.jsp"));
        QCOMPARE(m_shell.calls.at(0).verb, QStringLiteral("open"));
        QCOMPARE(m_shell.calls.at(0).show, ShowCommand::MinNoActive);
        QCOMPARE(m_shell.calls.at(0).owner, static_cast<QWidget *>(w));
        QCOMPARE(m_shell.calls.at(1).file,
                 siteBaseAddress() + QStringLiteral("/quillhall/findlawyerroom/findlawyerroom.jsp"));
    }

    void exactAndFuzzyAgainstDatabase()
    {
        TF_Lawyer *w = openLawyer();
        w->CheckBox3->click();
        w->BitBtn2->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("1"));
        QCOMPARE(DM->AQ_lawyer->FieldByName(QStringLiteral("l_province")), QStringLiteral("北京"));
        w->RadioButton3->setChecked(true);
        w->Edit1->setText(QStringLiteral("北京"));
        w->BitBtn1->click();
        QCOMPARE(w->Edit2->text(), QStringLiteral("2"));
        QStringList provinces;
        for (int row = 0; row < 2; ++row)
            provinces << w->DBGrid1->model()->index(row, 2).data().toString();
        provinces.sort();
        QCOMPARE(provinces, (QStringList{QStringLiteral("北京"), QStringLiteral("北京市")}));
    }

    void failingStatementKeepsCounter()
    {
        // A database whose lawRoom table lacks a column the statements name.
        const QString broken = QDir(m_dir.path()).filePath(QStringLiteral("broken.dll"));
        {
            jet::Writer writer(broken);
            writer.beginTable({QStringLiteral("lawRoom"), {{QStringLiteral("lr_Name"), jet::kText, 50}}});
            writer.addRow({QStringLiteral("某律所")});
            writer.endTable();
            writer.finish();
        }
        TF_lawRoom *r = openRoom();
        r->Edit1->setText(QStringLiteral("北京"));
        r->BitBtn1->click();
        QCOMPARE(r->Edit2->text(), QStringLiteral("2"));
        useDatabase(broken);
        bool raised = false;
        try {
            r->BitBtn2Click();
        } catch (const EDatabaseError &) {
            raised = true;
        }
        useDatabase(m_db);
        QVERIFY(raised);
        QVERIFY(!DM->AQ_lawRoom->Active());
        QCOMPARE(lines(DM->AQ_lawRoom), QStringList{kRoomSelect + QStringLiteral(" where 1=1")});
        QCOMPARE(r->Edit2->text(), QStringLiteral("2"));
        QCOMPARE(r->DBGrid1->model()->rowCount(), 0);
        // Through a click the error reaches the application's box, and the window stays.
        useDatabase(broken);
        const QStringList shown = boxesDuring([&] { QTest::mouseClick(r->BitBtn1, Qt::LeftButton); });
        useDatabase(m_db);
        QCOMPARE(shown.size(), 1);
        QVERIFY(r->isVisible());
        // Clicked from code the same: the error is shown where it happens and never travels
        // through the button's signal.
        useDatabase(broken);
        bool escaped = false;
        const QStringList direct = boxesDuring([&] {
            try {
                r->BitBtn1->click();
            } catch (...) {
                escaped = true;
            }
        });
        useDatabase(m_db);
        QVERIFY(!escaped);
        QCOMPARE(direct.size(), 1);
        // The next search starts afresh.
        r->BitBtn1->click();
        QCOMPARE(r->Edit2->text(), QStringLiteral("2"));
    }

    void doubleClickOpensFirmSite()
    {
        TF_lawRoom *r = openRoom();
        // No result open: nothing.
        DM->AQ_lawRoom->Close();
        r->DBGrid1DblClick();
        QVERIFY(m_shell.calls.isEmpty());

        r->Edit1->setText(QStringLiteral("律师事务所"));
        r->BitBtn1->click();
        QCOMPARE(r->Edit2->text(), QStringLiteral("5"));
        auto rowOf = [&](const QString &name) {
            for (int row = 0; row < r->DBGrid1->model()->rowCount(); ++row)
                if (r->DBGrid1->model()->index(row, 0).data().toString() == name)
                    return row;
            return -1;
        };
        auto doubleClick = [&](int row, int column) {
            const QModelIndex index = r->DBGrid1->model()->index(row, column);
            r->DBGrid1->scrollTo(index);
            QTest::mouseDClick(r->DBGrid1->viewport(), Qt::LeftButton, {}, r->DBGrid1->visualRect(index).center());
        };
        const int one = rowOf(QStringLiteral("北京一律师事务所"));
        doubleClick(one, 0);
        QCOMPARE(m_shell.calls.size(), 1);
        QCOMPARE(m_shell.calls.at(0).file, QStringLiteral("http://www.bj-one.example/"));
        QCOMPARE(m_shell.calls.at(0).verb, QStringLiteral("open"));
        QCOMPARE(m_shell.calls.at(0).show, ShowCommand::MinNoActive);
        QCOMPARE(m_shell.calls.at(0).owner, static_cast<QWidget *>(r));
        // A bare host name goes to the shell unchanged.
        doubleClick(rowOf(QStringLiteral("北京二律师事务所")), 0);
        QCOMPARE(m_shell.calls.size(), 2);
        QCOMPARE(m_shell.calls.at(1).file, QStringLiteral("www.bj-two.example"));
        // Another column: nothing.
        for (int column = 1; column < 5; ++column)
            doubleClick(one, column);
        QCOMPARE(m_shell.calls.size(), 2);
        // An empty site, a program, a local file: nothing opened.
        doubleClick(rowOf(QStringLiteral("郑州律师事务所")), 0);
        doubleClick(rowOf(QStringLiteral("广州律师事务所")), 0);
        doubleClick(rowOf(QStringLiteral("上海律师事务所")), 0);
        QCOMPARE(m_shell.calls.size(), 2);
    }

    void webAddressRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("web");
        QTest::newRow("http") << QStringLiteral("http://www.example.com/a?b=1") << true;
        QTest::newRow("https upper") << QStringLiteral("HTTPS://law.example.cn") << true;
        QTest::newRow("bare host") << QStringLiteral("www.example.com") << true;
        QTest::newRow("bare host port path") << QStringLiteral("law.example.cn:8080/index.jsp") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("windows path") << QStringLiteral("C:\\Windows\\system32\\calc.exe") << false;
        QTest::newRow("unc") << QStringLiteral("\\\\server\\share\\x.bat") << false;
        QTest::newRow("program") << QStringLiteral("calc.exe") << false;
        QTest::newRow("script") << QStringLiteral("evil.example.vbs") << false;
        QTest::newRow("file url") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("mailto") << QStringLiteral("mailto:a@example.com") << false;
        QTest::newRow("no dot") << QStringLiteral("notepad") << false;
        QTest::newRow("blank inside") << QStringLiteral("www.exa mple.com") << false;
        QTest::newRow("http no host") << QStringLiteral("http://") << false;
        QTest::newRow("relative") << QStringLiteral("../secret.txt") << false;
    }
    void webAddressRules()
    {
        QFETCH(QString, text);
        QFETCH(bool, web);
        QCOMPARE(Shell::isWebAddress(text), web);
    }

    void gridNeitherEditsNorDeletes()
    {
        TF_lawRoom *r = openRoom();
        r->Edit1->setText(QStringLiteral("律师事务所"));
        r->BitBtn1->click();
        DBGrid *g = r->DBGrid1;
        const QModelIndex index = g->model()->index(0, 0);
        QVERIFY(!(g->model()->flags(index) & Qt::ItemIsEditable));
        QVERIFY(!g->model()->setData(index, QStringLiteral("x")));
        g->setFocus();
        g->setCurrentIndex(index);
        const QString before = index.data().toString();
        const QStringList shown = boxesDuring([&] {
            QTest::keyClick(g, Qt::Key_Delete);
            QTest::keyClick(g, Qt::Key_Delete, Qt::ControlModifier);
            QTest::keyClick(g, Qt::Key_F2);
            QTest::keyClicks(g, QStringLiteral("abc"));
            QTest::keyClick(g, Qt::Key_Return);
        });
        QVERIFY(shown.isEmpty());
        QCOMPARE(g->model()->rowCount(), 5);
        QCOMPARE(g->model()->index(0, 0).data().toString(), before);
        QVERIFY(g->editTriggers() == QAbstractItemView::NoEditTriggers);
        // The database file is unchanged as well: a fresh search finds the same rows.
        r->BitBtn1->click();
        QCOMPARE(r->Edit2->text(), QStringLiteral("5"));
    }

    // Keys pressed as a user does, through the window: typing lists the matching entries while
    // the text stays as typed and editable; Enter and clicks pick; the search sends the box's text.
    void specialityListDropsDownOnTyping_data()
    {
        QTest::addColumn<bool>("room");
        QTest::newRow("lawyers") << false;
        QTest::newRow("firms") << true;
    }
    void specialityListDropsDownOnTyping()
    {
        QFETCH(bool, room);
        QueryForm *w = nullptr;
        QComboBox *domain = nullptr;
        QCheckBox *box = nullptr;
        if (room) {
            TF_lawRoom *r = openRoom();
            w = r;
            domain = r->domain;
            box = r->CheckBox4;
        } else {
            TF_Lawyer *l = openLawyer();
            w = l;
            domain = l->domain;
            box = l->CheckBox4;
        }
        const int entries = domain->count();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QPushButton *search = w->declaration().controls.BitBtn2;
        Query *q = room ? DM->AQ_lawRoom : DM->AQ_lawyer;
        for (const QueryCriterion &c : w->declaration().criteria)
            c.checkBox->setChecked(false);
        box->click();
        QCOMPARE(w->focusWidget(), static_cast<QWidget *>(domain));
        QVERIFY(!openList());

        domain->lineEdit()->selectAll();
        pressText(w, QStringLiteral("医"));
        QAbstractItemView *list = openList();
        QVERIFY(list);
        QStringList offered;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            offered << list->model()->index(i, 0).data().toString();
        QCOMPARE(offered, (QStringList{"医院改制", "医疗卫生", "医疗纠纷", "医药"}));
        // Typed on while the list is open; Backspace edits the text.
        pressText(w, QStringLiteral("疗x"));
        QCOMPARE(domain->currentText(), QStringLiteral("医疗x"));
        pressKey(w, Qt::Key_Backspace);
        QCOMPARE(domain->currentText(), QStringLiteral("医疗"));
        QVERIFY(openList());
        // Enter without an entry chosen keeps the typed text, and that text is searched.
        pressKey(w, Qt::Key_Return);
        QVERIFY(!openList());
        QCOMPARE(domain->currentText(), QStringLiteral("医疗"));
        search->click();
        QCOMPARE(q->ParamByName(QStringLiteral("domain"))->Value, QStringLiteral("医疗"));

        // The cursor keys choose an entry, Enter takes it.
        pressKey(w, Qt::Key_End);
        pressText(w, QStringLiteral("纠"));
        QVERIFY(openList());
        pressKey(w, Qt::Key_Down);
        pressKey(w, Qt::Key_Return);
        QCOMPARE(domain->currentText(), QStringLiteral("医疗纠纷"));
        search->click();
        QCOMPARE(q->ParamByName(QStringLiteral("domain"))->Value, QStringLiteral("医疗纠纷"));

        // A click takes an entry.
        domain->lineEdit()->selectAll();
        pressText(w, QStringLiteral("药"));
        list = openList();
        QVERIFY(list);
        const QModelIndex first = list->model()->index(0, 0);
        QCOMPARE(first.data().toString(), QStringLiteral("医药"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(first).center());
        QVERIFY(!openList());
        QCOMPARE(domain->currentText(), QStringLiteral("医药"));
        search->click();
        QCOMPARE(q->ParamByName(QStringLiteral("domain"))->Value, QStringLiteral("医药"));
        QCOMPARE(domain->count(), entries); // nothing typed was added to the list

        if (!room) {
            // The province list opens only when asked.
            auto *lawyer = static_cast<TF_Lawyer *>(w);
            lawyer->CheckBox3->click();
            pressText(w, QStringLiteral("河"));
            QVERIFY(!openList());
        }
    }

    // Every list at least as wide as its longest entry, whatever the width of its box.
    void listsShowWholeEntries()
    {
        for (QueryForm *w : {static_cast<QueryForm *>(openLawyer()), static_cast<QueryForm *>(openRoom())}) {
            for (QComboBox *combo : w->findChildren<QComboBox *>()) {
                combo->setVisible(true);
                combo->showPopup();
                QAbstractItemView *view = combo->view();
                QVERIFY(view->isVisible());
                for (int i = 0; i < combo->count(); ++i) {
                    const QString text = combo->itemText(i);
                    QVERIFY2(view->fontMetrics().horizontalAdvance(text) < view->viewport()->width(), qPrintable(text));
                }
                combo->hidePopup();
                if (w->declaration().dropDownOnTyping.contains(combo)) {
                    QCompleter *completer = combo->completer();
                    QAbstractItemView *popup = completer->popup();
                    combo->lineEdit()->clear();
                    completer->setCompletionPrefix(QString());
                    completer->complete();
                    QVERIFY(popup->isVisible());
                    for (int i = 0; i < popup->model()->rowCount(); ++i) {
                        const QString text = popup->model()->index(i, 0).data().toString();
                        QVERIFY2(popup->fontMetrics().horizontalAdvance(text) < popup->viewport()->width(),
                                 qPrintable(text));
                    }
                    popup->hide();
                }
            }
        }
    }
};

LSS_TEST_MAIN(TestMainland)
#include "test_mainland.moc"
