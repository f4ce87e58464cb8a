#include "catalogwalk.h"

#include "catalogrows.h"
#include "dbdatamodule.h"

#include <QSet>

CatalogLoopError::CatalogLoopError(int tagid)
    : DbError(QStringLiteral("The catalog is damaged: the parent links of node %1 run in a circle. "
                             "Nothing was changed.")
                  .arg(tagid))
    , m_tagid(tagid)
{
}

std::optional<TagRecord> readTagRow(TDBDataModule &database, int tagid)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags where tagid=?"), {tagid});
    std::optional<TagRecord> row;
    if (query.next())
        row = tagRecordOfRow(query);
    query.finish();
    return row;
}

QList<int> ancestorChain(TDBDataModule &database, int tagid)
{
    QList<int> chain;
    QSet<int> seen;
    while (tagid != 0) {
        if (seen.contains(tagid) || chain.size() >= MaxCatalogDepth)
            throw CatalogLoopError(tagid);
        QSqlQuery &query = database.runQuery(QStringLiteral("select parentid from tags where tagid=?"), {tagid});
        const bool found = query.next();
        const int parentid = found ? query.value(0).toInt() : 0;
        query.finish();
        if (!found)
            break;
        seen.insert(tagid);
        chain.append(tagid);
        tagid = parentid;
    }
    return chain;
}

void shiftNoteCounts(TDBDataModule &database, int tagid, int delta)
{
    const QList<int> chain = ancestorChain(database, tagid);
    for (int id : chain) {
        if (delta != 0)
            database.runStatement(QStringLiteral("update tags set childcount=childcount+? where tagid=?"), {delta, id});
        database.markTagChanged(id);
    }
}

QList<SubtreeRow> rowsBelow(TDBDataModule &database, int tagid)
{
    QList<SubtreeRow> rows;
    QSet<int> seen{tagid};
    QList<int> level{tagid};
    for (int depth = 1; !level.isEmpty(); ++depth) {
        if (depth > MaxCatalogDepth)
            throw CatalogLoopError(tagid);
        QList<int> next;
        for (int parent : std::as_const(level)) {
            QList<TagRecord> children;
            QSqlQuery &query =
                database.runQuery(QStringLiteral("select * from tags where parentid=? order by tagid"), {parent});
            while (query.next())
                children << tagRecordOfRow(query);
            query.finish();
            for (const TagRecord &child : std::as_const(children)) {
                if (seen.contains(child.tagid))
                    throw CatalogLoopError(child.tagid);
                seen.insert(child.tagid);
                rows.append({child, depth});
                next.append(child.tagid);
            }
        }
        level = next;
    }
    return rows;
}
