#include "catalogprefetch.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"

CatalogRowsPrefetch::CatalogRowsPrefetch(const QString &databasePath)
{
    m_rows = std::async(std::launch::async, [databasePath]() -> std::optional<QList<TagRecord>> {
        try {
            TDBDataModule database(databasePath, TDBDataModule::Use::Reading);
            QSqlQuery &query = database.runQuery(allTagRowsStatement());
            QList<TagRecord> rows = readTagRows(query);
            query.finish();
            return rows;
        } catch (const DbError &) {
            return std::nullopt; // the program's own connection reads them and reports what fails
        }
    });
}

CatalogRowsPrefetch::~CatalogRowsPrefetch()
{
    if (m_rows.valid())
        m_rows.wait();
}

std::optional<QList<TagRecord>> CatalogRowsPrefetch::take()
{
    if (!m_rows.valid())
        return std::nullopt;
    return m_rows.get();
}
