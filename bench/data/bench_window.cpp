// Figures of the mainland lawyer window on a large directory, as a user meets them: the first
// search (which loads the table), the same search again, the search returning every row with the
// record counter shown, sorting that result by a caption click (names, then provinces), saving
// it as CSV and copying all of it, two fuzzy searches, scrolling the grid through that result,
// and the peak memory of the process. Beside each search's wall-clock time: the CPU time of the process, the
// longest stretch during it in which the window did not repaint (a timer asks for a repaint every
// 5 ms), and whether the busy cursor showed whenever a statement ran.
// usage: bench_window [MODE]
//   MODE "instant": only the first fuzzy search on the city, clicked the moment the window is on
//                   the screen (shown and painted, the read-ahead only begun);
//   MODE "typing":  the same search clicked one second after the window opened (the user typing);
//   MODE "enter":   the first wide search ('州', over a tenth of the rows) one second after the
//                   window opened, with Enter in the fuzzy box (the seven-column statement);
//   MODE "button":  the same search with the button (the five-column statement);
//   MODE "session": open, read ahead, then Enter '州', the button '州', the button '郑' and all
//                   rows: the resident memory before the first search and the peak of the session;
//   MODE "stall":   the instant search again, watched for repaints and the cursor.
// The data module opens "lss.dll" beside the executable, as the program does: FILE is linked
// there for the run.
#include "app/Application.h"
#include "app/Datemodule.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Query.h"
#include "launcher/One.h"
#include "platform/Appearance.h"
#include "query/Dl_lawyer.h"
#include "widgets/BusyWait.h"
#include "widgets/DBGrid.h"
#include "widgets/GridExport.h"
#include "widgets/GridModel.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPaintEvent>
#include <QProgressDialog>
#include <QSaveFile>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Lets the window repaint everything a search changed, as the event loop would before the user
// sees the result.
void settle(QWidget *w)
{
    QCoreApplication::processEvents();
    w->repaint();
    QCoreApplication::processEvents();
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double cpuMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
double processCpuMs()
{
    return cpuMs(CLOCK_PROCESS_CPUTIME_ID);
}

// Watches the grid repaint while a search runs: a timer asks for a repaint every 5 ms, the
// filter notes when each one happens; the longest gap is the longest the window stood still.
// The timer also looks at the cursor while a statement runs.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *viewport) : m_viewport(viewport)
    {
        viewport->installEventFilter(this);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_viewport->update();
            if (DM->ADOConnection1->statementRunning()) {
                const QCursor *c = QGuiApplication::overrideCursor();
                if (!c || c->shape() != Qt::BusyCursor)
                    m_normalCursor = true;
            }
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        note();
    }
    double longestMs() const { return m_longest; }
    bool normalCursorSeen() const { return m_normalCursor; }
    int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++m_paints;
            if (m_timer.isActive())
                note();
        }
        return false;
    }

private:
    void note()
    {
        const double now = msSince(m_clock);
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QWidget *m_viewport;
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
    bool m_normalCursor = false;
    int m_paints = 0;
};
PaintWatch *g_watch = nullptr;
double g_lastCpuMs = 0;
double g_lastGuiCpuMs = 0; // of that, the GUI thread's (painting the window among it)

// perf's control fifo (perf record -D -1 --control fifo:FILE), when LSS_PERF_CONTROL names it:
// a profile of the searches alone.
void perfControl(const char *command)
{
    static const QByteArray path = qgetenv("LSS_PERF_CONTROL");
    if (path.isEmpty())
        return;
    QFile fifo(QString::fromLocal8Bit(path));
    if (fifo.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fifo.write(QByteArray(command) + '\n');
}

// Runs events, as the window's own loop would, until the grid has painted what the search left
// in it. Repainting the whole window instead would charge the search with painting that nothing
// asked for (the group boxes, the buttons).
void waitForGridPaint(QWidget *w)
{
    const int before = g_watch->paints();
    QElapsedTimer limit;
    limit.start();
    QCoreApplication::processEvents();
    while (g_watch->paints() == before && limit.elapsed() < 2000) {
        QEventLoop wait;
        QTimer::singleShot(1, &wait, &QEventLoop::quit);
        wait.exec();
    }
    if (g_watch->paints() == before) // nothing to paint came: painted now, as before
        settle(w);
}

// Starts a search (a click, a key) and returns the milliseconds until the grid has repainted the
// result; g_lastCpuMs gets the CPU time of the process meanwhile. Watched, the repaints asked for
// add their own time: the timed figures come from searches not watched.
double searchMs(TF_Lawyer *w, const std::function<void()> &start, bool watched = false)
{
    perfControl("enable");
    QElapsedTimer t;
    const double cpu = processCpuMs();
    const double gui = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    t.start();
    if (watched)
        g_watch->start();
    start();
    if (watched)
        g_watch->stop();
    waitForGridPaint(w);
    g_lastCpuMs = processCpuMs() - cpu;
    g_lastGuiCpuMs = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui;
    perfControl("disable");
    return msSince(t);
}
// A button clicked as a user clicks it: pressed and let go over it, the events going through the
// application as the window system's would (the button is drawn pressed, takes the focus, and
// its release makes the click), as Enter below goes through the fuzzy box's keys.
double searchMs(TF_Lawyer *w, QAbstractButton *button, bool watched = false)
{
    return searchMs(
        w, [button] { QTest::mouseClick(button, Qt::LeftButton); }, watched);
}
// Enter in the fuzzy box, as a user presses it: the window watches that box's keys.
double enterMs(TF_Lawyer *w)
{
    return searchMs(w, [w] { QTest::keyClick(w->Edit1, Qt::Key_Return); });
}

// The criteria set as a user would have set them: on the screen before the search is clicked,
// their repaint (the radio button, the box, their group) no part of the search's time.
void enterCriteria(TF_Lawyer *w, const QString &text)
{
    w->RadioButton2->setChecked(true);
    w->Edit1->setText(text);
    QCoreApplication::processEvents();
}

void waitMs(int ms)
{
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

// A box the startup shows (a failed update check, a connection error) ends at once; its text
// goes to stderr so a run against a wrong file is visible.
void answerBoxes()
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [] {
        QWidget *w = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            std::fprintf(stderr, "box: %s\n", box->text().toUtf8().constData());
            box->done(0);
        } else if (auto *dialog = qobject_cast<QDialog *>(w);
                   dialog && dialog != F_Lawyer && !qobject_cast<QProgressDialog *>(dialog)) {
            dialog->done(0);
        }
    });
    timer->start();
}

} // namespace

int main(int argc, char **argv)
{
    Application app(argc, argv);
    app.setTitle(QStringLiteral("青穹阁信息查询系统V1.0"));
    installAppearance(); // the program's style and fonts: the window painted as users see it
    Q_INIT_RESOURCE(lss);
    qputenv("LSS_SITE_BASE", "http://127.0.0.1:9"); // the update check ends at once
    answerBoxes();

    QElapsedTimer t;
    t.start();
    DM = new TDM();
    app.adopt(DM);
    const double connectMs = msSince(t);
    if (!DM->ADOConnection1->connected()) {
        std::fputs("bench_window: the data module did not connect (is lss.dll beside the program?)\n", stderr);
        return 1;
    }
    F_one = new TF_one();
    app.adopt(F_one);
    F_one->show();
    F_one->Button1->click();
    TF_Lawyer *w = F_Lawyer;
    if (!w) {
        std::fputs("bench_window: the lawyer window did not open\n", stderr);
        return 1;
    }
    PaintWatch watch(w->DBGrid1->viewport());
    g_watch = &watch;
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    // A user clicks what is on the screen: the window is shown and painted before any search
    // starts, its first paint no part of the search's time.
    if (!QTest::qWaitForWindowExposed(w)) {
        std::fputs("bench_window: the lawyer window was not shown\n", stderr);
        return 1;
    }
    settle(w);
    if (mode == QLatin1String("stall")) {
        enterCriteria(w, QStringLiteral("郑"));
        searchMs(w, w->BitBtn1, true);
        std::printf("win_instant_stall_ms\t%.1f\n", watch.longestMs());
        std::printf("win_instant_busy_cursor\t%s\n", watch.normalCursorSeen() ? "no" : "yes");
        std::fflush(stdout);
        std::_Exit(0);
    }
    if (mode == QLatin1String("instant") || mode == QLatin1String("typing")) {
        if (mode == QLatin1String("typing"))
            waitMs(1000);
        enterCriteria(w, QStringLiteral("郑"));
        const double ms = searchMs(w, w->BitBtn1);
        std::printf("win_%s_ms\t%.1f\n", qPrintable(mode), ms);
        std::printf("win_%s_cpu_ms\t%.1f\n", qPrintable(mode), g_lastCpuMs);
        std::printf("win_%s_gui_cpu_ms\t%.1f\n", qPrintable(mode), g_lastGuiCpuMs);
        std::printf("win_%s_rows\t%d\n", qPrintable(mode), DM->AQ_lawyer->RecordCount());
        std::fflush(stdout);
        std::_Exit(0);
    }
    if (mode == QLatin1String("enter") || mode == QLatin1String("button")) {
        waitMs(1000);
        enterCriteria(w, QStringLiteral("州"));
        const double ms = mode == QLatin1String("enter") ? enterMs(w) : searchMs(w, w->BitBtn1);
        const int columns = DM->AQ_lawyer->fieldNames().size();
        // Enter that missed the window would time nothing: the statement's width tells which ran.
        if (columns != (mode == QLatin1String("enter") ? 7 : 5)) {
            std::fprintf(stderr, "bench_window: the %s search gave %d columns\n", qPrintable(mode), columns);
            return 1;
        }
        std::printf("win_%s_ms\t%.1f\n", qPrintable(mode), ms);
        std::printf("win_%s_cpu_ms\t%.1f\n", qPrintable(mode), g_lastCpuMs);
        std::printf("win_%s_rows\t%d\n", qPrintable(mode), DM->AQ_lawyer->RecordCount());
        std::fflush(stdout);
        std::_Exit(0);
    }
    if (mode == QLatin1String("session")) {
        settle(w);
        DM->ADOConnection1->waitForWarmUp();
        const long openedKb = statusKb("VmRSS:");
        const long openedPeakKb = statusKb("VmHWM:");
        enterCriteria(w, QStringLiteral("州"));
        const double enter = enterMs(w);
        const double button = searchMs(w, w->BitBtn1);
        w->Edit1->setText(QStringLiteral("郑"));
        const double fuzzy = searchMs(w, w->BitBtn1);
        const double all = searchMs(w, w->BitBtn2);
        std::printf("win_opened_rss_mb\t%.1f\n", openedKb / 1024.0);
        std::printf("win_opened_peak_rss_mb\t%.1f\n", openedPeakKb / 1024.0);
        std::printf("win_session_ms\t%.1f\n", enter + button + fuzzy + all);
        std::printf("win_session_rows\t%d\n", DM->AQ_lawyer->RecordCount());
        std::printf("win_session_rss_mb\t%.1f\n", statusKb("VmRSS:") / 1024.0);
        std::printf("win_session_peak_rss_mb\t%.1f\n", statusKb("VmHWM:") / 1024.0);
        std::fflush(stdout);
        std::_Exit(0);
    }
    settle(w);
    DM->ADOConnection1->waitForWarmUp(); // the figures below are those of a window that has read ahead
    const long baseKb = statusKb("VmRSS:");

    // No criterion box checked: every lawyer.
    const double first = searchMs(w, w->BitBtn2);
    const int allRows = DM->AQ_lawyer->RecordCount();
    double again = 1e300;
    double againCpu = 1e300;
    for (int i = 0; i < 3; ++i) {
        again = std::min(again, searchMs(w, w->BitBtn2));
        againCpu = std::min(againCpu, g_lastCpuMs);
    }
    const QString counter = w->Edit2->text();
    searchMs(w, w->BitBtn2, true);

    // Scrolling through the million rows: page by page from the top, then jumps to far places.
    QScrollBar *bar = w->DBGrid1->verticalScrollBar();
    const int pages = 300;
    t.restart();
    for (int i = 0; i < pages; ++i) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        w->DBGrid1->viewport()->repaint();
    }
    const double pageMs = msSince(t) / pages;
    const int jumps = 100;
    t.restart();
    for (int i = 0; i < jumps; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * ((i * 37) % jumps) / jumps));
        w->DBGrid1->viewport()->repaint();
    }
    const double jumpMs = msSince(t) / jumps;
    // The last record through the navigation button: the grid follows it.
    t.restart();
    w->last->click();
    settle(w);
    const double lastMs = msSince(t);
    const long allKb = statusKb("VmRSS:");

    // The million rows sorted by a caption click, saved as CSV and copied whole, each watched
    // for repainting on a watch of its own.
    // The timed figures come from steps not watched (the watch's repaints cost CPU of their
    // own); a watched run of the same step gives the longest stretch without repainting.
    auto timed = [w](PaintWatch &watch, const std::function<void()> &step, double &cpu) {
        QElapsedTimer clock;
        const double cpu0 = processCpuMs();
        clock.start();
        step();
        settle(w);
        cpu = processCpuMs() - cpu0;
        const double ms = msSince(clock);
        watch.start();
        step();
        watch.stop();
        settle(w);
        return ms;
    };
    DBGrid *grid = w->DBGrid1;
    PaintWatch sortWatch(grid->viewport()), saveWatch(grid->viewport()), copyWatch(grid->viewport());
    double sortNameCpu = 0, sortProvinceCpu = 0, saveCpu = 0, copyCpu = 0;
    // The watched run of a sort clicks the caption again: the other direction, a whole sort too.
    const double sortName = timed(
        sortWatch, [grid] { grid->sortByCaption(0); }, sortNameCpu);
    const double sortProvince = timed(
        sortWatch, [grid] { grid->sortByCaption(2); }, sortProvinceCpu);
    const QString csv = QDir(QDir::tempPath()).filePath(QStringLiteral("lss-bench-save.csv"));
    const double save = timed(
        saveWatch,
        [&] {
            runWithProgress(w, QStringLiteral("正在保存…"), [&](WorkProgress &progress) {
                QSaveFile file(csv);
                if (file.open(QIODevice::WriteOnly)
                    && gridexport::writeCsv(*static_cast<GridModel *>(grid->model()), file, &progress))
                    file.commit();
            });
        },
        saveCpu);
    const double csvMb = QFileInfo(csv).size() / 1048576.0;
    QFile::remove(csv);
    const double copy = timed(
        copyWatch,
        [grid] {
            grid->selectAll();
            grid->copySelection();
        },
        copyCpu);

    // Fuzzy searches on the city: the data benchmark's (a few thousand rows) and a wide one
    // (over a hundred thousand rows).
    w->RadioButton2->setChecked(true);
    auto fuzzyMs = [w](const QString &text, int &rows, double &cpu) {
        w->Edit1->setText(text);
        double best = 1e300;
        cpu = 1e300;
        for (int i = 0; i < 3; ++i) {
            best = std::min(best, searchMs(w, w->BitBtn1));
            cpu = std::min(cpu, g_lastCpuMs);
        }
        rows = DM->AQ_lawyer->RecordCount();
        return best;
    };
    int fuzzyRows = 0;
    int wideRows = 0;
    double fuzzyCpu = 0;
    double wideCpu = 0;
    const double fuzzy = fuzzyMs(QStringLiteral("郑"), fuzzyRows, fuzzyCpu);
    const double wide = fuzzyMs(QStringLiteral("州"), wideRows, wideCpu);
    searchMs(w, w->BitBtn1, true);

    std::printf("win_connect_ms\t%.1f\n", connectMs);
    std::printf("win_first_all_ms\t%.1f\n", first);
    std::printf("win_all_rows\t%d\n", allRows);
    std::printf("win_counter\t%s\n", counter.toUtf8().constData());
    std::printf("win_all_ms\t%.1f\n", again);
    std::printf("win_all_cpu_ms\t%.1f\n", againCpu);
    std::printf("win_fuzzy_ms\t%.1f\n", fuzzy);
    std::printf("win_fuzzy_cpu_ms\t%.1f\n", fuzzyCpu);
    std::printf("win_fuzzy_rows\t%d\n", fuzzyRows);
    std::printf("win_fuzzy_wide_ms\t%.1f\n", wide);
    std::printf("win_fuzzy_wide_cpu_ms\t%.1f\n", wideCpu);
    std::printf("win_stall_ms\t%.1f\n", watch.longestMs());
    std::printf("win_busy_cursor\t%s\n", watch.normalCursorSeen() ? "no" : "yes");
    std::printf("win_fuzzy_wide_rows\t%d\n", wideRows);
    std::printf("win_page_scroll_ms\t%.2f\n", pageMs);
    std::printf("win_jump_scroll_ms\t%.2f\n", jumpMs);
    std::printf("win_last_ms\t%.1f\n", lastMs);
    std::printf("win_sort_name_ms\t%.1f\n", sortName);
    std::printf("win_sort_name_cpu_ms\t%.1f\n", sortNameCpu);
    std::printf("win_sort_province_ms\t%.1f\n", sortProvince);
    std::printf("win_sort_province_cpu_ms\t%.1f\n", sortProvinceCpu);
    std::printf("win_sort_stall_ms\t%.1f\n", sortWatch.longestMs());
    std::printf("win_save_ms\t%.1f\n", save);
    std::printf("win_save_cpu_ms\t%.1f\n", saveCpu);
    std::printf("win_save_mb\t%.1f\n", csvMb);
    std::printf("win_save_stall_ms\t%.1f\n", saveWatch.longestMs());
    std::printf("win_copy_ms\t%.1f\n", copy);
    std::printf("win_copy_cpu_ms\t%.1f\n", copyCpu);
    std::printf("win_copy_stall_ms\t%.1f\n", copyWatch.longestMs());
    std::printf("win_window_rss_mb\t%.1f\n", baseKb / 1024.0);
    std::printf("win_all_open_rss_mb\t%.1f\n", allKb / 1024.0);
    std::printf("win_peak_rss_mb\t%.1f\n", statusKb("VmHWM:") / 1024.0);
    std::fflush(stdout);
    // Leave without tearing the windows down one by one: the figures are out.
    std::_Exit(0);
}
