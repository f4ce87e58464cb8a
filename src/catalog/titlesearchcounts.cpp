#include "titlesearchcounts.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"

TitleSearchCounts::TitleSearchCounts(TDBDataModule &database)
    : m_database(database)
{
}

void TitleSearchCounts::readTitles()
{
    // Whatever changed before this read is in it.
    m_database.takeChangedNotes();
    try {
        NoteTitles titles;
        QSqlQuery &query = m_database.runQuery(QStringLiteral("select noteid, tagid, title from note"));
        titles.load(query);
        query.finish();
        m_titles = std::move(titles);
    } catch (const DbError &) {
        m_titles.reset();
    }
}

QHash<int, int> TitleSearchCounts::count(const QString &searchText)
{
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
