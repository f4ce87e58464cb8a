#include "catalogpreload.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"

CatalogPreload::CatalogPreload(const QString &databasePath)
    : m_tagRowsRead(m_tagRows.get_future())
    , m_titlesRead(m_titles.get_future())
    , m_thread([this, databasePath] { read(databasePath); })
{
}

CatalogPreload::~CatalogPreload()
{
    m_stop = true;
    m_thread.join();
}

void CatalogPreload::read(const QString &databasePath)
{
    bool rowsGiven = false;
    try {
        // A connection belongs to the thread that opens it; this one lives and ends here.
        TDBDataModule database(databasePath, TDBDataModule::Use::Reading);
        QSqlQuery &rows = database.runQuery(allTagRowsStatement());
        m_tagRows.set_value(readTagRows(rows));
        rows.finish();
        rowsGiven = true;

        NoteTitles titles;
        QSqlQuery &notes = database.runQuery(QStringLiteral("select noteid, tagid, title from note"));
        const bool complete = titles.load(notes, [this] { return !m_stop; });
        notes.finish();
        m_titles.set_value(complete ? std::optional<NoteTitles>(std::move(titles)) : std::nullopt);
    } catch (const DbError &) {
        if (!rowsGiven)
            m_tagRows.set_exception(std::current_exception());
        m_titles.set_value(std::nullopt);
    }
}

QList<TagRecord> CatalogPreload::takeTagRows()
{
    return m_tagRowsRead.get();
}

std::optional<NoteTitles> CatalogPreload::takeTitlesIfRead()
{
    if (!m_titlesRead.valid() || m_titlesRead.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return std::nullopt;
    return m_titlesRead.get();
}

bool CatalogPreload::readingTitles() const
{
    return m_titlesRead.valid() && m_titlesRead.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}
