#include "searchcommand.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "indexpass.h"
#include "notesearcher.h"
#include "searchindex.h"

#include <QTextStream>

#include <optional>

#include <unistd.h>

namespace {

QString field(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

// Builds or completes the index when this process can have both the index and
// the database to itself; otherwise leaves it to the running program.
void buildIfFree(const QString &programFolder, const QString &indexFolder, QTextStream &err)
{
    const QString databasePath = programFolder + QStringLiteral("notes.fdb");
    std::optional<TDBDataModule> database;
    try {
        // Held for the whole build, so that the program does not start meanwhile.
        database.emplace(databasePath);
    } catch (const DbError &) {
        return; // the program is running: it builds the index itself
    }
    SearchIndex index(indexFolder);
    try {
        index.open();
    } catch (const SearchIndexError &) {
        return;
    }
    const bool showProgress = isatty(STDERR_FILENO);
    IndexPass pass(index, databasePath, programFolder + QStringLiteral("data/"));
    std::atomic_bool cancelled = false;
    try {
        pass.run(
            [&](int done, int total) {
                if (showProgress) {
                    err << QStringLiteral("\rIndexing notes: %1 of %2").arg(done).arg(total);
                    err.flush();
                }
            },
            cancelled);
        if (showProgress && pass.notesToIndex() > 0)
            err << Qt::endl;
    } catch (const DbError &) {
        // The database is in use: the program is starting or running.
    } catch (const SearchIndexError &error) {
        err << QStringLiteral("clipnest: the search index could not be built: %1").arg(error.message()) << Qt::endl;
    }
}

} // namespace

int runSearchCommand(const QString &programFolder, const QString &query, int maxCount, QTextStream &out,
                     QTextStream &err)
{
    const QString indexFolder = programFolder + QStringLiteral("index");
    NoteSearcher searcher(indexFolder);
    if (!searcher.refresh() || !searcher.isComplete()) {
        buildIfFree(programFolder, indexFolder, err);
        if (!searcher.refresh()) {
            err << QStringLiteral("clipnest: there is no search index in %1 yet, and Clipnest is using the "
                                  "database; try again once it has built the index.")
                       .arg(indexFolder)
                << Qt::endl;
            return 2;
        }
        if (!searcher.isComplete())
            err << QStringLiteral("clipnest: the search index is still being built; some notes may be missing.")
                << Qt::endl;
    }
    QList<SearchHit> hits;
    try {
        hits = searcher.search(query, maxCount);
    } catch (const SearchIndexError &error) {
        err << QStringLiteral("clipnest: the search index cannot be read: %1").arg(error.message()) << Qt::endl;
        return 2;
    }
    for (const SearchHit &hit : hits) {
        out << hit.note.noteId << '\t' << field(hit.note.title) << '\t' << field(hit.note.catalogPath) << '\t'
            << field(hit.note.fileName) << '\n';
    }
    out.flush();
    return hits.isEmpty() ? 1 : 0;
}
