// The explorer on a large catalog, in one process and one run, so that the
// figures can be read as ratios:
//   - the full tree load against the bare query that reads every tags row;
//   - the recount of the tree for a title search;
//   - showing the notes of a node that holds 1,000 notes.
//
//   explorer_bench PROGRAM_FOLDER        (seeded with seed_catalog)
#include "appcontext.h"
#include "dbdatamodule.h"
#include "mainform.h"
#include "notefiling.h"
#include "tagtreeview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: explorer_bench PROGRAM_FOLDER\n");
        return 2;
    }
    AppContext context(QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/'));
    TDBDataModule database(context.databasePath());
    TMainForm explorer(context, database);
    explorer.show();

    const int rows = database.queryInteger(QStringLiteral("select count(*) from tags"));
    const int notes = database.queryInteger(QStringLiteral("select count(*) from note"));
    const int runs = 7;

    const double bareQuery = medianMs(runs, [&] {
        QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags"));
        qint64 sink = 0;
        while (query.next()) {
            sink += fieldInt(query, "tagid") + fieldInt(query, "deep") + fieldInt(query, "parentid") +
                    fieldInt(query, "childcount") + fieldInt(query, "icoid");
            sink += fieldText(query, "tagname").size() + fieldText(query, "path").size();
        }
        query.finish();
        if (sink == 42)
            std::printf(" ");
    });
    const double fullLoad = medianMs(runs, [&] { explorer.LoadTagTree(QString()); });
    const double recount = medianMs(runs, [&] { explorer.LoadTagTree(QStringLiteral("report")); });
    explorer.LoadTagTree(QString());

    int bigTag = 0;
    for (TagTreeItem *tag : explorer.TagTreeView_()->allTags()) {
        if (database.queryInteger(QStringLiteral("select count(*) from note where tagid=?"), {tag->record.tagid}) >=
            1000) {
            bigTag = tag->record.tagid;
            break;
        }
    }
    double showNode = 0;
    int listed = 0;
    if (bigTag) {
        TagTreeItem *tag = explorer.TagTreeView_()->findTag(bigTag);
        explorer.TagTreeView_()->setCurrentItem(tag);
        showNode = medianMs(runs, [&] { explorer.ShowTagNotes(); });
        listed = explorer.noteList()->topLevelItemCount();
    }

    // A save as the explorer sees it: the note is filed, then the tree shows the change.
    double saveRefresh = 0;
    {
        int saved = 0;
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            NoteFilingRequest request;
            request.title = QStringLiteral("Benchmark note %1").arg(++saved);
            request.catalogText = explorer.TagTreeView_()->allTags().constLast()->record.path;
            request.relativeFile = QStringLiteral("bench/%1.html").arg(saved);
            const NoteFilingResult filed = NoteFiling(database).file(request);
            QElapsedTimer clock;
            clock.start();
            explorer.NoteSaved(filed.noteId, filed.tagId);
            times << clock.nsecsElapsed() / 1e6;
        }
        std::sort(times.begin(), times.end());
        saveRefresh = times.at(times.size() / 2);
    }

    std::printf("catalog: %d nodes, %d notes\n", rows, notes);
    std::printf("bare query of every tags row:  %8.1f ms\n", bareQuery);
    std::printf("full tree load:                %8.1f ms  (%.2f x the bare query; goal <= 3)\n", fullLoad,
                fullLoad / bareQuery);
    std::printf("recount for a title search:    %8.1f ms  (goal <= 300 ms)\n", recount);
    std::printf("tree after a save:             %8.1f ms  (%.2f x the full tree load; the rows it touched)\n",
                saveRefresh, saveRefresh / fullLoad);
    if (bigTag)
        std::printf("show a node with %d notes:   %8.1f ms  (goal <= 100 ms)\n", listed, showNode);
    return 0;
}
