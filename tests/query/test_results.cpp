// What a user does with a result in the query windows: reads its count in the record counter,
// copies cells from the grid, saves the result as a CSV file.

#include "QueryTestSupport.h"
#include "TestMain.h"
#include "support/UserInput.h"

#include "data/Query.h"
#include "query/Dl_lawroom.h"
#include "query/Dl_lawyer.h"
#include "query/Hongkong_lawroom.h"
#include "query/Hongkong_lawyer.h"
#include "query/Macao_lawyer.h"
#include "query/Taiwan_lawyer.h"
#include "widgets/BusyWait.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStyle>
#include <QTemporaryDir>
#include <atomic>

using namespace querytest;

namespace {

// Answers what opens over the window while a step runs: picks a menu entry by its text, gives
// the save dialog a path (or cancels it when the path is empty), accepts message boxes. Records
// what it saw.
class Answerer : public QObject
{
public:
    Answerer(QString entry, QString path) : m_entry(std::move(entry)), m_path(std::move(path))
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
        m_timer.start();
    }

    QStringList menuEntries;   // "text" or "text (disabled)"
    int progressCancelled = 0; // progress windows cancelled
    QString dialogCaption;
    QString suggestedName;
    bool dialogSaves = false;
    QStringList boxes;

private:
    void step()
    {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            menuEntries.clear();
            QAction *pick = nullptr;
            for (QAction *a : menu->actions()) {
                menuEntries << (a->isEnabled() ? a->text() : a->text() + QStringLiteral(" (disabled)"));
                if (a->text() == m_entry)
                    pick = a;
            }
            if (pick && pick->isEnabled()) {
                menu->setActiveAction(pick);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                menu->close();
            }
            return;
        }
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            dialogCaption = dialog->windowTitle();
            dialogSaves = dialog->acceptMode() == QFileDialog::AcceptSave;
            suggestedName = dialog->selectedFiles().value(0).section(QLatin1Char('/'), -1);
            if (m_path.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(m_path);
                static_cast<QDialog *>(dialog)->accept(); // as the dialog's save button does
            }
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes << box->text();
            box->accept();
        } else if (auto *progress = qobject_cast<QProgressDialog *>(modal)) {
            // As a user does: the window's 取消 button.
            if (QPushButton *cancel = progress->findChild<QPushButton *>()) {
                QCOMPARE(cancel->text(), QStringLiteral("取消"));
                cancel->click();
                ++progressCancelled;
            }
        }
    }

    QString m_entry;
    QString m_path;
    QTimer m_timer;
};

// The six query windows and the launcher buttons that open them.
struct Window
{
    const char *key;
    QPushButton *TF_one::*button;
    QueryForm *(*window)();
};
const Window kWindows[] = {
    {"lawyer", &TF_one::Button1, [] { return static_cast<QueryForm *>(F_Lawyer); }},
    {"law firm", &TF_one::Button5, [] { return static_cast<QueryForm *>(F_lawRoom); }},
    {"HK lawyer", &TF_one::Button2, [] { return static_cast<QueryForm *>(F_HKlawyer); }},
    {"HK law firm", &TF_one::Button6, [] { return static_cast<QueryForm *>(F_HKlawRoom); }},
    {"MC lawyer", &TF_one::Button4, [] { return static_cast<QueryForm *>(F_Mclawyer); }},
    {"TW lawyer", &TF_one::Button3, [] { return static_cast<QueryForm *>(F_TwLawyer); }},
};

// The room a line edit leaves for its text: its contents less the frame, the edit's fixed inner
// margin of 2 pixels a side, and the text margins.
int textRoom(const QLineEdit *edit)
{
    const int frame = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
    return edit->contentsRect().width() - 2 * frame - 4 - edit->textMargins().left() - edit->textMargins().right();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestResults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static TF_Lawyer *openLawyer()
    {
        F_one->Button1->click();
        return F_Lawyer;
    }
    // All lawyers of the test directory in the lawyer window's grid, the first cell current.
    static DBGrid *searchAll(TF_Lawyer *w)
    {
        w->BitBtn2->click(); // no criterion: every row
        DBGrid *g = w->DBGrid1;
        g->setFocus();
        g->setCurrentIndex(g->model()->index(0, 0));
        return g;
    }
    static QPoint cellCentre(DBGrid *g, int row, int column)
    {
        return g->visualRect(g->model()->index(row, column)).center();
    }
    // A right click on a cell: the press makes the cell current, and the window system follows
    // the click with the context-menu event.
    static void rightClick(DBGrid *g, int row, int column)
    {
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, cellCentre(g, row, column));
        const QPoint at = cellCentre(g, row, column);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, g->viewport()->mapToGlobal(at));
        QApplication::sendEvent(g->viewport(), &event);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(lss);
        QVERIFY(m_dir.isValid());
        QMap<QString, QStringList> rows;
        rows[QStringLiteral("lawyer")] = {
            QStringLiteral("1,张三,男,北京,北京,东城区一号,税务"),
            QStringLiteral("2,\"Smith, \"\"J\"\"\",女,上海,上海,浦东二号,\"证券,期货\""),
            QStringLiteral("3,王五,,河南,郑州,金水区三号,税务"),
        };
        const QString db = buildDatabase(m_dir.path(), rows);
        QVERIFY(!db.isEmpty());
        startProgram(db);
        QVERIFY(DM && F_one);
    }

    void cleanup()
    {
        if (!F_one->Button1->isEnabled() && F_Lawyer)
            F_Lawyer->close();
        flushDeletes();
    }

    // Every window's record counter keeps its place and size, and shows every digit of any count
    // up to five million; a short count keeps the laid-out font.
    void counterShowsEveryDigit_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("count");
        for (int i = 0; i < int(std::size(kWindows)); ++i) {
            for (const char *count : {"7", "999999", "1000000", "5000000"})
                QTest::addRow("%s %s", kWindows[i].key, count) << i << QString::fromLatin1(count);
        }
    }
    void counterShowsEveryDigit()
    {
        QFETCH(int, which);
        QFETCH(QString, count);
        (F_one->*kWindows[which].button)->click();
        QueryForm *w = kWindows[which].window();
        QVERIFY(w);
        QLineEdit *counter = w->declaration().controls.Edit2;
        QVERIFY(counter);
        const QRect laidOut = counter->geometry();
        const QFont font = counter->font();
        counter->setText(count);
        QCOMPARE(counter->geometry(), laidOut);
        QCOMPARE(counter->text(), count);
        const int textWidth = QFontMetrics(counter->font()).horizontalAdvance(count);
        QVERIFY2(textWidth <= textRoom(counter),
                 qPrintable(QStringLiteral("%1 px of text in %2 px").arg(textWidth).arg(textRoom(counter))));
        QVERIFY(QFontInfo(counter->font()).pixelSize() >= 7);
        if (count.size() == 1)
            QCOMPARE(counter->font(), font);
        // A short count after it gets the laid-out font and margins back.
        counter->setText(QStringLiteral("7"));
        QCOMPARE(counter->font(), font);
        QCOMPARE(QFontInfo(counter->font()).pixelSize(), QFontInfo(font).pixelSize());
        QCOMPARE(counter->textMargins(), QMargins());
        closeWindow(w);
    }

    // Ctrl+C on the focused grid copies the selected cells, tab-separated, rows by line breaks;
    // the context menu's 复制 does the same.
    void copyCells()
    {
        TF_Lawyer *w = openLawyer();
        DBGrid *g = searchAll(w);
        QCOMPARE(w->Edit2->text(), QStringLiteral("3"));
        QApplication::clipboard()->clear();
        pressKey(g, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("张三"));

        // Two rows of the first two columns, selected by keys as a user does.
        pressKey(g, Qt::Key_Down, Qt::ShiftModifier);
        pressKey(g, Qt::Key_Right, Qt::ShiftModifier);
        pressKey(g, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("张三\t男\nSmith, \"J\"\t女"));

        // Cells apart: the rectangle that holds them, the cells between left empty.
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cellCentre(g, 0, 0));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::ControlModifier, cellCentre(g, 2, 3));
        pressKey(g, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("张三\t\t\t\n\t\t\t\n\t\t\t郑州"));

        // Everything.
        pressKey(g, Qt::Key_A, Qt::ControlModifier);
        pressKey(g, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().split(QLatin1Char('\n')),
                 (QStringList{QStringLiteral("张三\t男\t北京\t北京\t税务"),
                              QStringLiteral("Smith, \"J\"\t女\t上海\t上海\t证券,期货"),
                              QStringLiteral("王五\t\t河南\t郑州\t税务")}));

        // A click makes one cell the selection again; the menu copies it.
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cellCentre(g, 2, 3));
        QCOMPARE(DM->AQ_lawyer->RecNo(), 2);
        Answerer user(QStringLiteral("复制"), QString());
        rightClick(g, 2, 3);
        QCOMPARE(user.menuEntries, (QStringList{QStringLiteral("复制"), QStringLiteral("另存为 CSV 文件…")}));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("郑州"));
    }

    // A click on a caption sorts the result by that column in pinyin order (Chinese before
    // Latin, as the Chinese collation has it), a second click reverses it, empty cells last
    // either way. The navigation buttons, the current record and
    // Ctrl+C follow the order shown; a new search comes in the statement's order.
    void sortByCaption()
    {
        TF_Lawyer *w = openLawyer();
        DBGrid *g = searchAll(w);
        g->show();
        Query *q = DM->AQ_lawyer;
        QHeaderView *header = g->horizontalHeader();
        auto clickCaption = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                     header->height() / 2));
        };
        auto shown = [&](int column) {
            QStringList cells;
            for (int r = 0; r < g->model()->rowCount(); ++r)
                cells << g->model()->index(r, column).data().toString();
            return cells;
        };
        const QString smith = QStringLiteral("Smith, \"J\"");
        q->MoveTo(2); // 王五: stays the current record through the sorts
        clickCaption(0);
        QCOMPARE(shown(0), (QStringList{QStringLiteral("王五"), QStringLiteral("张三"), smith}));
        QCOMPARE(q->RecNo(), 2);
        QCOMPARE(g->currentIndex().row(), 0);
        QCOMPARE(g->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("▶"));
        QVERIFY(header->isSortIndicatorShown());
        clickCaption(0);
        QCOMPARE(shown(0), (QStringList{smith, QStringLiteral("张三"), QStringLiteral("王五")}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        clickCaption(1); // another column: ascending again
        QCOMPARE(shown(1), (QStringList{QStringLiteral("男"), QStringLiteral("女"), QString()}));
        clickCaption(1);
        QCOMPARE(shown(1), (QStringList{QStringLiteral("女"), QStringLiteral("男"), QString()}));
        QCOMPARE(shown(0), (QStringList{smith, QStringLiteral("张三"), QStringLiteral("王五")}));

        // The buttons go through the rows as shown; Ctrl+C copies them in that order.
        w->first->click();
        QCOMPARE(q->RecNo(), 1);
        w->next->click();
        QCOMPARE(q->RecNo(), 0);
        w->next->click();
        w->next->click();
        QCOMPARE(q->RecNo(), 2);
        w->Prior->click();
        QCOMPARE(q->RecNo(), 0);
        w->last->click();
        QCOMPARE(q->RecNo(), 2);
        QCOMPARE(g->currentIndex().row(), 2);
        g->setCurrentIndex(g->model()->index(0, 0)); // a click on the top row
        QCOMPARE(q->RecNo(), 1);
        g->setFocus();
        pressKey(g, Qt::Key_A, Qt::ControlModifier);
        pressKey(g, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().section(QLatin1Char('\t'), 0, 0), smith);
        QCOMPARE(QApplication::clipboard()->text().section(QLatin1Char('\n'), 2),
                 QStringLiteral("王五\t\t河南\t郑州\t税务"));

        w->BitBtn2->click();
        QCOMPARE(shown(0), (QStringList{QStringLiteral("张三"), smith, QStringLiteral("王五")}));
        QVERIFY(!header->isSortIndicatorShown());
        QVERIFY(!g->isSorted());
        w->last->click();
        QCOMPARE(q->RecNo(), 2);
        QCOMPARE(g->currentIndex().row(), 2);

        // The query closed while a sort reads its cells on the worker: the sort reads the result
        // it began on to the end, and its order is not put on what the grid shows now.
        std::atomic<bool> closed{false};
        setWorkStartHook([&] {
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    q->Close();
                    closed = true;
                },
                Qt::QueuedConnection);
            while (!closed)
                QThread::msleep(1);
        });
        clickCaption(0);
        setWorkStartHook(nullptr);
        QVERIFY(closed);
        QCOMPARE(g->model()->rowCount(), 0);
        QVERIFY(!g->isSorted());
    }

    // The context menu saves the whole result, in the grid's columns under their captions, as
    // UTF-8 CSV with a byte-order mark; cancelling writes nothing; a file that cannot be written
    // is reported, never left half written.
    void saveResultAsCsv()
    {
        TF_Lawyer *w = openLawyer();
        DBGrid *g = searchAll(w);
        const QString path = m_dir.filePath(QStringLiteral("out.csv"));
        {
            Answerer user(QStringLiteral("另存为 CSV 文件…"), path);
            rightClick(g, 0, 0);
            QCOMPARE(user.dialogCaption, QStringLiteral("另存为 CSV 文件"));
            QVERIFY(user.dialogSaves);
            QCOMPARE(user.suggestedName, QStringLiteral("大陆律师信息查询.csv"));
            QVERIFY(user.boxes.isEmpty());
        }
        const QByteArray expected = QStringLiteral("\uFEFF律师姓名,性别,省份,城市,专长\r\n"
                                                   "张三,男,北京,北京,税务\r\n"
                                                   "\"Smith, \"\"J\"\"\",女,上海,上海,\"证券,期货\"\r\n"
                                                   "王五,,河南,郑州,税务\r\n")
                                        .toUtf8();
        QCOMPARE(readAll(path), expected);

        {
            const QString cancelled = m_dir.filePath(QStringLiteral("cancelled.csv"));
            Answerer user(QStringLiteral("另存为 CSV 文件…"), QString());
            rightClick(g, 0, 0);
            QCOMPARE(user.dialogCaption, QStringLiteral("另存为 CSV 文件"));
            QVERIFY(!QFile::exists(cancelled));
        }
        {
            // Cancelled in the progress window while writing: no file, no box.
            const QString cancelled = m_dir.filePath(QStringLiteral("cancelled-while-writing.csv"));
            Answerer user(QStringLiteral("另存为 CSV 文件…"), cancelled);
            setProgressDelay(0);
            setWorkStartHook([&user] {
                while (user.progressCancelled == 0)
                    QThread::msleep(1);
            });
            rightClick(g, 0, 0);
            setWorkStartHook(nullptr);
            setProgressDelay(400);
            QCOMPARE(user.progressCancelled, 1);
            QVERIFY(user.boxes.isEmpty());
            QVERIFY(!QFile::exists(cancelled));
            QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("cancelled*")}), QStringList());
        }
        {
            const QString unwritable = m_dir.filePath(QStringLiteral("no-such-dir/out.csv"));
            Answerer user(QStringLiteral("另存为 CSV 文件…"), unwritable);
            rightClick(g, 0, 0);
            QCOMPARE(user.boxes.size(), 1);
            QVERIFY2(user.boxes.at(0).startsWith(QStringLiteral("无法写入文件")), qPrintable(user.boxes.at(0)));
            QVERIFY(!QFile::exists(unwritable));
        }

        // With the query closed the grid shows nothing: nothing to copy or save.
        DM->AQ_lawyer->Close();
        Answerer user{QString(), QString()};
        rightClick(g, 0, 0);
        QCOMPARE(user.menuEntries,
                 (QStringList{QStringLiteral("复制 (disabled)"), QStringLiteral("另存为 CSV 文件… (disabled)")}));
    }
};

LSS_TEST_MAIN(TestResults)
#include "test_results.moc"
