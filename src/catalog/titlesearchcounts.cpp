#include "titlesearchcounts.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"

namespace {

QString allTitlesStatement()
{
    return QStringLiteral("select noteid, tagid, title from note");
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
        try {
            TDBDataModule database(databasePath, TDBDataModule::Use::Reading);
            NoteTitles titles;
            QSqlQuery &query = database.runQuery(allTitlesStatement());
            const bool complete = titles.load(query, [this] { return !m_stopReadingAside; });
            query.finish();
            if (complete)
                return titles;
        } catch (const DbError &) {
            // The first search reads them on the program's own connection.
        }
        return std::nullopt;
    });
}

void TitleSearchCounts::readTitles()
{
    // Whatever changed before this read is in it.
    m_database.takeChangedNotes();
    try {
        NoteTitles titles;
        QSqlQuery &query = m_database.runQuery(allTitlesStatement());
        titles.load(query);
        query.finish();
        m_titles = std::move(titles);
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
