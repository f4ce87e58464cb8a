#include "searchcommand.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "indexpass.h"
#include "notesearcher.h"
#include "searchindex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

enum class Build { Done, ProgramRunning, Failed };

// Builds or completes the index when the program is not running. The build
// reads a copy of the database, taken while this process holds the file, so
// that Clipnest can start while the index is built; it then waits for the
// index, as it does for any other writer of it.
Build buildIfFree(const QString &programFolder, const QString &indexFolder, QTextStream &err)
{
    const QString databasePath = programFolder + QStringLiteral("notes.fdb");
    QTemporaryDir snapshot(QDir::tempPath() + QStringLiteral("/clipnest-search-XXXXXX"));
    const QString copy = snapshot.filePath(QStringLiteral("notes.fdb"));
    {
        std::optional<TDBDataModule> database;
        try {
            database.emplace(databasePath, TDBDataModule::Use::Reading);
        } catch (const DbError &) {
            return Build::ProgramRunning; // it builds the index itself
        }
        // While this process holds the file, nothing changes it.
        if (!snapshot.isValid() || !QFile::copy(databasePath, copy)) {
            err << QStringLiteral("clipnest: cannot copy the database to build the search index in %1.")
                       .arg(QDir::tempPath())
                << Qt::endl;
            return Build::Failed;
        }
    }
    SearchIndex index(indexFolder);
    try {
        index.open();
    } catch (const SearchIndexError &error) {
        if (error.locked())
            return Build::ProgramRunning;
        err << QStringLiteral("clipnest: the search index could not be built: %1").arg(error.message()) << Qt::endl;
        return Build::Failed;
    }
    const bool showProgress = isatty(STDERR_FILENO);
    if (showProgress)
        err << QStringLiteral("clipnest: building the search index; Clipnest can be started meanwhile.") << Qt::endl;
    IndexPass pass(index, copy, programFolder + QStringLiteral("data/"));
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
    } catch (const DbError &error) {
        err << QStringLiteral("clipnest: the search index could not be built: %1").arg(error.message()) << Qt::endl;
        return Build::Failed;
    } catch (const SearchIndexError &error) {
        err << QStringLiteral("clipnest: the search index could not be built: %1").arg(error.message()) << Qt::endl;
        return Build::Failed;
    }
    return Build::Done;
}

} // namespace

int runSearchCommand(const QString &programFolder, const QString &query, int maxCount, QTextStream &out,
                     QTextStream &err)
{
    const QString indexFolder = programFolder + QStringLiteral("index");
    // A second round after damage found by the search itself, which marked it.
    for (int round = 0;; ++round) {
        NoteSearcher searcher(indexFolder);
        const bool usable =
            searcher.refresh() && searcher.isComplete() && !SearchIndex::isMarkedForRebuild(indexFolder);
        if (!usable) {
            const Build built = buildIfFree(programFolder, indexFolder, err);
            if (built == Build::Failed)
                return 2;
            if (!searcher.refresh() || SearchIndex::isMarkedForRebuild(indexFolder)) {
                err << QStringLiteral("clipnest: the search index in %1 is not ready yet; Clipnest, which is "
                                      "running, builds it. Try again once it has.")
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
            if (error.kind() == SearchIndexError::Damaged && round == 0)
                continue;
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
}
