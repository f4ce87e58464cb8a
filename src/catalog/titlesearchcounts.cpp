#include "titlesearchcounts.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "freedmemory.h"

namespace {

// Every note's title with its node; nothing when keepGoing said to stop.
std::optional<NoteTitles> readAllTitles(TDBDataModule &database, const std::function<bool()> &keepGoing = {})
{
    NoteTitles titles;
    QSqlQuery &query = database.runQuery(QStringLiteral("select noteid, tagid, title from note"));
    const bool complete = titles.load(query, keepGoing);
    query.finish();
    return complete ? std::optional<NoteTitles>(std::move(titles)) : std::nullopt;
}

} // namespace

TitleSearchCounts::TitleSearchCounts(TDBDataModule &database)
    : m_database(database)
{
}

TitleSearchCounts::~TitleSearchCounts()
{
    m_stopReadingAside = true;
    if (m_titlesAside.valid())
        m_titlesAside.wait();
}

void TitleSearchCounts::readTitlesAside()
{
    if (m_titles || m_titlesAside.valid())
        return;
    // Whatever changed before this read is in it; what changes from now on stays marked.
    m_database.takeChangedNotes();
    const QString databasePath = m_database.connection().databaseName();
    m_titlesAside = std::async(std::launch::async, [this, databasePath]() -> std::optional<NoteTitles> {
        std::optional<NoteTitles> titles;
        try {
            TDBDataModule database(databasePath, TDBDataModule::Use::Reading);
            titles = readAllTitles(database, [this] { return !m_stopReadingAside; });
        } catch (const DbError &) {
            // The first search reads them on the program's own connection.
        }
        // A million rows passed through this thread's heap.
        releaseFreedMemory();
        return titles;
    });
}

void TitleSearchCounts::readTitles()
{
    // Whatever changed before this read is in it.
    m_database.takeChangedNotes();
    try {
        m_titles = readAllTitles(m_database);
    } catch (const DbError &) {
        m_titles.reset();
    }
}

QHash<int, int> TitleSearchCounts::count(const QString &searchText)
{
    if (!m_titles && m_titlesAside.valid())
        m_titles = m_titlesAside.get();
    if (!m_titles)
        readTitles();
    if (m_titles) {
        const QSet<int> changed = m_database.takeChangedNotes();
        try {
            m_titles->refresh(m_database, changed.values());
            if (std::optional<QHash<int, int>> counts = m_titles->countMatching(searchText))
                return *counts;
        } catch (const DbError &) {
            // Kept for the next search; the engine counts this one.
            for (int noteid : changed)
                m_database.markNoteChanged(noteid);
        }
    }
    return countMatchingNotes(m_database, searchText);
}
