// The program on a large catalog, as a user meets it: start-up until the tree
// is shown, the save of a 1 MB note (first and again, each until the save
// returns and then until the explorer has loaded the note's page), the
// recount of a title search (Enter until the tree is repainted), the full tree
// load (Enter on an empty search box, ending the search), the tree rebuilt
// from every row (as at start-up), a click on a node of 1,000 notes until they
// are listed, and the peak memory of the program's process, at the session's
// end and once the index check started with the program has ended.
//
//   catalog_bench [--runs N] SEEDED_FOLDER...
//
// Each folder is seeded by seed_catalog. Every run works on a fresh copy of
// its database in a new process, and measures in that process the bare select
// of every tags row as well, so that each figure is also given as a ratio to
// it: the ratios hold on a machine shared with other work. The table gives
// the medians of the runs.
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "indexpass.h"
#include "mainform.h"
#include "searchindex.h"
#include "startup.h"

#include <QAbstractItemView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

namespace {

constexpr int Repeats = 3; // of each repeatable figure inside one run

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The resident memory of this process now and at its peak, in kB.
std::pair<long long, long long> residentKb()
{
    long long rss = 0, hwm = 0;
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            std::sscanf(line, "VmRSS: %lld", &rss);
            std::sscanf(line, "VmHWM: %lld", &hwm);
        }
        std::fclose(status);
    }
    return {rss, hwm};
}

// Peak resident memory of this process, in MB.
double peakMemoryMb()
{
    return residentKb().second / 1024.0;
}

// With CLIPNEST_BENCH_MEMORY_TRACE set, the session writes to standard error
// the resident memory every 50 ms and at each step it takes, with the heap's
// figures there, to tell which step sets the peak.
class MemoryTrace
{
public:
    MemoryTrace()
        : m_on(qEnvironmentVariableIsSet("CLIPNEST_BENCH_MEMORY_TRACE"))
    {
        m_timer.start();
        if (m_on)
            m_sampler = std::thread([this] {
                while (!m_stop) {
                    const auto [rss, hwm] = residentKb();
                    std::fprintf(stderr, "mem %8.0f ms rss %4lld MB hwm %4lld MB\n", msSince(m_timer), rss / 1024,
                                 hwm / 1024);
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            });
    }
    ~MemoryTrace() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_sampler.joinable())
            m_sampler.join();
    }

    void step(const char *name)
    {
        if (!m_on)
            return;
        const auto [rss, hwm] = residentKb();
        const struct mallinfo2 heap = mallinfo2();
        long long anonymous = 0;
        if (FILE *rollup = std::fopen("/proc/self/smaps_rollup", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, rollup))
                std::sscanf(line, "Anonymous: %lld", &anonymous);
            std::fclose(rollup);
        }
        std::fprintf(stderr,
                     "step %-12s %8.0f ms rss %4lld MB (anonymous %4lld) hwm %4lld MB heap: arenas %zu MB in use %zu "
                     "MB free %zu MB mapped %zu MB\n",
                     name, msSince(m_timer), rss / 1024, anonymous / 1024, hwm / 1024, heap.arena >> 20,
                     heap.uordblks >> 20, heap.fordblks >> 20, heap.hblkhd >> 20);
    }

private:
    bool m_on;
    QElapsedTimer m_timer;
    std::atomic_bool m_stop = false;
    std::thread m_sampler;
};

void report(const char *key, double value)
{
    std::printf("%s %.3f\n", key, value);
    std::fflush(stdout);
}

// Every tags row with every column, read by position: what the engine and the
// driver cost at the least for reading the catalog.
double bareSelectMs(TDBDataModule &database)
{
    std::vector<double> times;
    for (int i = 0; i < Repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags"));
        qint64 sink = 0;
        while (query.next()) {
            for (int column = 0; column < 7; ++column)
                sink += query.value(column).toString().size();
        }
        query.finish();
        times.push_back(msSince(timer));
        if (sink == 42)
            std::printf(" ");
    }
    return median(times);
}

QAbstractItemView *catalogTree(TMainForm *explorer)
{
    return explorer->findChild<QAbstractItemView *>(QStringLiteral("TagTreeView"));
}

QAbstractItemView *noteList(TMainForm *explorer)
{
    return explorer->findChild<QAbstractItemView *>(QStringLiteral("NoteListView"));
}

// The node whose caption is its name followed by the count.
QModelIndex findNode(const QAbstractItemModel *model, const QString &name, const QModelIndex &parent = {})
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data().toString().startsWith(name + QLatin1Char('(')))
            return index;
        const QModelIndex below = findNode(model, name, index);
        if (below.isValid())
            return below;
    }
    return {};
}

// Enter in the title search box, until the tree is painted again.
double searchEnterMs(TMainForm *explorer, const QString &text)
{
    QLineEdit *box = explorer->titleFilterEdit();
    box->setText(text);
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(box, Qt::Key_Return);
    QCoreApplication::processEvents();
    catalogTree(explorer)->viewport()->repaint();
    return msSince(timer);
}

// A click on a node, until its notes are listed and painted.
double clickNodeMs(TMainForm *explorer, const QModelIndex &node, int expected)
{
    QAbstractItemView *tree = catalogTree(explorer);
    QAbstractItemView *list = noteList(explorer);
    tree->scrollTo(node);
    // A deep caption may reach past the viewport's edge: click its visible part.
    const QPoint point = tree->visualRect(node).intersected(tree->viewport()->rect()).center();
    // Far enough in time from the last click not to make a double click.
    QTest::mouseMove(tree->viewport(), point, 1000);
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, point);
    if (!QTest::qWaitFor([&] { return list->model()->rowCount() >= expected; }, 30000))
        std::fprintf(stderr, "the node's notes were not listed\n");
    list->viewport()->repaint();
    return msSince(timer);
}

QByteArray bigNoteHtml(int approximateBytes)
{
    QByteArray html;
    for (int paragraph = 0; html.size() < approximateBytes; ++paragraph)
        html += "<p>Paragraph " + QByteArray::number(paragraph) +
                ": a sentence about harbours, boats and the weather, with <b>bold</b> words and "
                "<a href=\"https://example.org/notes/" +
                QByteArray::number(paragraph) + ".html\">a link</a>. " + QByteArray(700, 'x') + "</p>\n";
    return html;
}

// One run in this process on a copy of a seeded folder; prints "key value" lines.
int session(const QString &folder)
{
    const QSettings seeded(folder + QStringLiteral("seeded"), QSettings::IniFormat);
    const QString listedName = seeded.value(QStringLiteral("listed-node-name")).toString();

    MemoryTrace trace;
    ClipnestProgram program(folder);
    program.bringUp();
    trace.step("bringup");
    TMainForm *explorer = program.explorer();
    QCoreApplication::processEvents();

    trace.step("shown");
    report("bare", bareSelectMs(*program.database()));
    trace.step("bare");

    std::vector<double> reloads, searchEnds, recounts, listings;
    // The tree rebuilt from every row, as at start-up.
    for (int i = 0; i < Repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        explorer->LoadTagTree(QString());
        catalogTree(explorer)->viewport()->repaint();
        reloads.push_back(msSince(timer));
        QCoreApplication::processEvents();
    }
    trace.step("reloads");
    // A search and its end, two texts by turns, so that every Enter changes the
    // captions it shows.
    for (int i = 0; i < Repeats; ++i) {
        recounts.push_back(searchEnterMs(explorer, i % 2 ? QStringLiteral("harbour") : QStringLiteral("report")));
        searchEnds.push_back(searchEnterMs(explorer, QString()));
    }
    trace.step("searches");
    report("reload", median(reloads));
    report("fullload", median(searchEnds));
    report("recount", median(recounts));

    const QAbstractItemModel *model = catalogTree(explorer)->model();
    const QModelIndex listed = findNode(model, listedName);
    const QModelIndex other = model->index(0, 0);
    if (!listed.isValid()) {
        std::fprintf(stderr, "node %s not found in the tree\n", qPrintable(listedName));
        return 1;
    }
    for (int i = 0; i < Repeats; ++i) {
        clickNodeMs(explorer, other, 0);
        listings.push_back(clickNodeMs(explorer, listed, 1000));
    }
    trace.step("listings");
    report("listing", median(listings));
    report("listed", noteList(explorer)->model()->rowCount());

    TEditorForm *editor = program.newEditor();
    editor->show();
    editor->PrefillFromCapture(QString::fromUtf8(bigNoteHtml(1 << 20)), QStringLiteral("Big note"));
    editor->tagsEdit()->setText(QStringLiteral("Bench,Big"));
    // The editor lays the captured note out, as it has long before a user saves it.
    editor->content()->RunScript(QStringLiteral("document.body.offsetHeight"));
    trace.step("editor");
    // A save ends when SaveNote returns; the explorer then loads the saved note's
    // page, which is timed on its own.
    QElapsedTimer timer;
    QSignalSpy pagesLoaded(explorer->content(), &QWebEngineView::loadFinished);
    auto explorerShowsTheNote = [&] {
        QElapsedTimer shown;
        shown.start();
        const qsizetype loadedBefore = pagesLoaded.count();
        if (!QTest::qWaitFor(
                [&] {
                    return pagesLoaded.count() > loadedBefore && explorer->currentNoteId() == editor->noteId() &&
                           !explorer->content()->Busy();
                },
                30000))
            std::fprintf(stderr, "the explorer did not show the saved note\n");
        return msSince(shown);
    };
    timer.start();
    const bool saved = editor->SaveNote();
    report("savefirst", msSince(timer));
    report("shownfirst", explorerShowsTheNote());
    trace.step("savefirst");
    timer.restart();
    editor->SaveNote();
    report("saveagain", msSince(timer));
    report("shownagain", explorerShowsTheNote());
    // What no catalog bears on: the web view writing the note out to a file.
    const QTemporaryDir writeOut;
    timer.restart();
    editor->content()->SaveDocument(writeOut.filePath(QStringLiteral("note.html")));
    report("writeout", msSince(timer));
    trace.step("saves");
    if (!saved) {
        std::fprintf(stderr, "the note was not saved\n");
        return 1;
    }
    report("peakmb", peakMemoryMb());
    // The index check started with the program reads every note; its end
    // comes later than the session's, with memory of its own.
    if (!QTest::qWaitFor([&] { return explorer->fullTextSearch()->isIdle(); }, 600000)) {
        std::fprintf(stderr, "the index check did not end\n");
        return 1;
    }
    trace.step("indexcheck");
    trace.stop();
    report("peakindexmb", peakMemoryMb());
    std::fflush(stdout);
    std::quick_exit(0);
}

// A new process: from its start until the explorer shows the tree.
int startupProbe(const QString &folder)
{
    ClipnestProgram program(folder);
    program.bringUp();
    catalogTree(program.explorer())->viewport()->repaint();
    std::printf("ready %.3f\n", peakMemoryMb());
    std::fflush(stdout);
    std::quick_exit(0);
}

// The full-text index of the seeded folder, built once and kept beside it: a
// user's program has it up to date, so each start only checks it.
bool prepareSearchIndex(const QString &seeded)
{
    QElapsedTimer timer;
    timer.start();
    try {
        SearchIndex index(seeded + QStringLiteral("index"));
        index.open();
        if (index.isComplete())
            return true;
        IndexPass pass(index, seeded + QStringLiteral("notes.fdb"), seeded + QStringLiteral("data/"));
        const std::atomic_bool cancelled = false;
        pass.run({}, cancelled);
        std::printf("built the full-text index of %d notes in %.0f s\n", pass.notesToIndex(), msSince(timer) / 1000);
        return true;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "the full-text index could not be built: %s\n", error.what());
        return false;
    }
}

bool copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QString &name : source.entryList(QDir::Files)) {
        if (!QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name))
            return false;
    }
    for (const QString &name : source.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!copyFolder(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name))
            return false;
    }
    return true;
}

// The seeded note folders shared through a link each, so that the search index
// finds them as it stamped them; the folder of today's new notes is the run's own.
bool linkNoteFolders(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (!(entry.isDir() ? QFile::link(entry.absoluteFilePath(), target)
                            : QFile::copy(entry.absoluteFilePath(), target)))
            return false;
    }
    return true;
}

// A program folder holding a copy of the seeded database and of its search index.
bool copyProgramFolder(const QString &from, const QString &to, const QString &database)
{
    QDir().mkpath(to);
    for (const char *name : {"en.ini", "cn.ini", "logo", "seeded"}) {
        if (!QFile::copy(from + QLatin1String(name), to + QLatin1String(name)))
            return false;
    }
    return linkNoteFolders(from + QStringLiteral("data"), to + QStringLiteral("data")) &&
           copyFolder(from + QStringLiteral("index"), to + QStringLiteral("index")) &&
           QFile::copy(database, to + QStringLiteral("notes.fdb"));
}

using Figures = std::map<std::string, double>;

bool runChild(const QStringList &arguments, const std::function<void(const QByteArray &)> &onLine, double *elapsedMs)
{
    QProcess child;
    // What goes wrong in a run, and the memory trace, reach the terminal as it happens.
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    QByteArray pending;
    bool done = false;
    while (!done && child.waitForReadyRead(600000)) {
        pending += child.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith("ready") && elapsedMs)
                *elapsedMs = msSince(timer);
            onLine(line);
            if (line.startsWith("ready") || line.startsWith("peakindexmb"))
                done = true;
        }
    }
    child.waitForFinished(60000);
    return done;
}

bool measureRun(const QString &programFolder, Figures &figures)
{
    double startup = 0;
    bool ok = runChild(
        {QStringLiteral("--measure-startup"), programFolder},
        [&](const QByteArray &line) {
            if (line.startsWith("ready"))
                figures["startpeakmb"] = line.mid(6).toDouble();
        },
        &startup);
    figures["startup"] = startup;
    ok = ok && runChild(
                   {QStringLiteral("--measure-session"), programFolder},
                   [&](const QByteArray &line) {
                       const QList<QByteArray> parts = line.split(' ');
                       if (parts.size() == 2)
                           figures[parts[0].toStdString()] = parts[1].toDouble();
                   },
                   nullptr);
    return ok;
}

struct Row
{
    const char *key;
    const char *label;
    bool memory;
};

const Row Rows[] = {
    {"startup", "start-up to the tree shown", false},
    {"savefirst", "save of a 1 MB note, first", false},
    {"shownfirst", "then the explorer showing its page", false},
    {"saveagain", "save of a 1 MB note, again", false},
    {"shownagain", "then the explorer showing its page", false},
    {"writeout", "the web view's write-out of it alone", false},
    {"recount", "title-search recount (Enter to repaint)", false},
    {"fullload", "full tree load (Enter on an empty box)", false},
    {"reload", "tree rebuilt from every row", false},
    {"listing", "listing a node of 1,000 notes (click)", false},
    {"bare", "bare select of every tags row", false},
    {"peakmb", "main process peak memory (MB)", true},
    {"peakindexmb", "peak memory until the index check has ended (MB)", true},
    {"startpeakmb", "peak memory at start-up (MB)", true},
};

int orchestrate(const QStringList &folders, int runs)
{
    std::vector<std::pair<QString, std::vector<Figures>>> results;
    for (QString seeded : folders) {
        if (!seeded.endsWith(QLatin1Char('/')))
            seeded += QLatin1Char('/');
        const QSettings marker(seeded + QStringLiteral("seeded"), QSettings::IniFormat);
        const QString size = QStringLiteral("%1 / %2")
                                 .arg(marker.value(QStringLiteral("nodes")).toInt())
                                 .arg(marker.value(QStringLiteral("notes")).toInt());
        QTemporaryDir work(QDir::tempPath() + QStringLiteral("/clipnest-bench-work-XXXXXX"));
        const QString base = work.path() + QStringLiteral("/base.fdb");
        const QString programFolder = work.path() + QStringLiteral("/program/");
        if (!prepareSearchIndex(seeded))
            return 1;
        // Opened once before the runs: a first open may bring an older file up to date.
        if (!QFile::copy(seeded + QStringLiteral("notes.fdb"), base)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(seeded));
            return 1;
        }
        {
            QElapsedTimer timer;
            timer.start();
            TDBDataModule upgrade(base);
            std::printf("%s: first open of the seeded database %.0f ms\n", qPrintable(size), msSince(timer));
        }
        std::vector<Figures> perRun;
        for (int run = 0; run <= runs; ++run) {
            QDir(programFolder).removeRecursively(); // removes links, not what they point to
            if (!copyProgramFolder(seeded, programFolder, base)) {
                std::fprintf(stderr, "cannot lay out %s\n", qPrintable(programFolder));
                return 1;
            }
            Figures figures;
            if (!measureRun(programFolder, figures)) {
                std::fprintf(stderr, "run %d at %s failed\n", run, qPrintable(size));
                return 1;
            }
            if (run == 0)
                continue; // warms the file cache and the engine's libraries
            std::printf("%s run %d:", qPrintable(size), run);
            for (const auto &[key, value] : figures)
                std::printf(" %s=%.1f", key.c_str(), value);
            std::printf("\n");
            std::fflush(stdout);
            perRun.push_back(figures);
        }
        results.emplace_back(size, perRun);
    }

    std::printf("\nmedians of %d runs (each ratio is to the bare select of the same run)\n", runs);
    int labelWidth = 0;
    for (const Row &row : Rows)
        labelWidth = std::max(labelWidth, int(std::strlen(row.label)));
    std::printf("%-*s", labelWidth, "work");
    for (const auto &[size, perRun] : results)
        std::printf(" | %-26s", qPrintable(size));
    std::printf("\n");
    for (const Row &row : Rows) {
        std::printf("%-*s", labelWidth, row.label);
        for (const auto &[size, perRun] : results) {
            std::vector<double> values, ratios;
            for (const Figures &figures : perRun) {
                values.push_back(figures.count(row.key) ? figures.at(row.key) : 0);
                if (figures.count("bare") && figures.at("bare") > 0)
                    ratios.push_back(values.back() / figures.at("bare"));
            }
            const QString cell =
                row.memory
                    ? QStringLiteral("%1").arg(median(values), 0, 'f', 0)
                    : QStringLiteral("%1 ms (%2x)").arg(median(values), 0, 'f', 1).arg(median(ratios), 0, 'f', 2);
            std::printf(" | %-26s", qPrintable(cell));
        }
        std::printf("\n");
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Not "--session": Qt takes that one for the window system's session manager.
    const QByteArray mode = argc == 3 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--measure-session" || mode == "--measure-startup") {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        ClipnestApplication app(argc, argv);
        return mode == "--measure-session" ? session(folder) : startupProbe(folder);
    }
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int runs = 3;
    if (arguments.size() >= 2 && arguments[0] == QLatin1String("--runs")) {
        runs = std::max(1, arguments[1].toInt());
        arguments = arguments.mid(2);
    }
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: catalog_bench [--runs N] SEEDED_FOLDER...\n");
        return 2;
    }
    return orchestrate(arguments, runs);
}
