#include "catalogrows.h"

#include "dbdatamodule.h"

QList<CatalogNode> loadCatalogForest(TDBDataModule &database)
{
    QList<CatalogNode> forest;
    const int deepest = database.queryInteger(QStringLiteral("select max(deep) as deep from tags"));
    if (deepest <= 0)
        return forest;

    QHash<int, int> indexOfTag; // tagid -> index in forest, for the levels above the current one
    for (int level = 1; level <= deepest; ++level) {
        const qsizetype levelStart = forest.size();
        QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags where deep=? order by tagid"), {level});
        while (query.next()) {
            CatalogNode node;
            node.record.tagid = fieldInt(query, "tagid");
            node.record.name = fieldText(query, "tagname");
            node.record.deep = fieldInt(query, "deep");
            node.record.path = fieldText(query, "path");
            node.record.parentid = fieldInt(query, "parentid");
            node.record.childcount = fieldInt(query, "childcount");
            node.record.icoid = fieldInt(query, "icoid");
            if (node.record.parentid != 0) {
                const auto parent = indexOfTag.constFind(node.record.parentid);
                if (parent == indexOfTag.constEnd())
                    continue;
                node.parentIndex = parent.value();
            }
            forest.append(std::move(node));
        }
        query.finish();
        // A parent must sit on a level above its child: a row whose parent is on its
        // own level stays out like one whose parent is missing.
        for (qsizetype i = levelStart; i < forest.size(); ++i)
            indexOfTag.insert(forest[i].record.tagid, int(i));
    }
    return forest;
}

QHash<int, int> countMatchingNotes(TDBDataModule &database, const QString &searchText)
{
    // Counted here rather than grouped by the engine: reading the matching ids is
    // cheaper than the engine's sort on a large table.
    QHash<int, int> counts;
    QSqlQuery &query = database.runQuery(
        QStringLiteral("select tagid from note where UPPER(title) like '%' || UPPER(CAST(? AS VARCHAR(2000))) || '%'"),
        {searchText});
    while (query.next())
        ++counts[query.value(0).toInt()];
    query.finish();
    return counts;
}

namespace {

// Runs the statement with "(?)" standing for a list of ids, in slices the engine
// takes, and hands each row to read.
template <typename Read>
void forIdSlices(TDBDataModule &database, const QString &statement, const QList<int> &tagids,
                 const QVariantList &before, Read read)
{
    constexpr qsizetype Slice = 200;
    for (qsizetype start = 0; start < tagids.size(); start += Slice) {
        const QList<int> slice = tagids.mid(start, Slice);
        QStringList marks(slice.size(), QStringLiteral("?"));
        QVariantList values = before;
        for (int id : slice)
            values << id;
        QSqlQuery &query = database.runQuery(
            QString(statement).replace(QLatin1String("(?)"),
                                       QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')')),
            values);
        while (query.next())
            read(query);
        query.finish();
    }
}

} // namespace

QHash<int, TagRecord> readTagRows(TDBDataModule &database, const QList<int> &tagids)
{
    QHash<int, TagRecord> rows;
    forIdSlices(database, QStringLiteral("select * from tags where tagid in (?)"), tagids, {},
                [&rows](const QSqlQuery &query) {
                    TagRecord record{.tagid = fieldInt(query, "tagid"),
                                     .name = fieldText(query, "tagname"),
                                     .deep = fieldInt(query, "deep"),
                                     .path = fieldText(query, "path"),
                                     .parentid = fieldInt(query, "parentid"),
                                     .childcount = fieldInt(query, "childcount"),
                                     .icoid = fieldInt(query, "icoid")};
                    rows.insert(record.tagid, record);
                });
    return rows;
}

QHash<int, int> countOwnMatchingNotes(TDBDataModule &database, const QList<int> &tagids, const QString &searchText)
{
    QHash<int, int> counts;
    forIdSlices(database,
                QStringLiteral("select tagid, count(*) from note where UPPER(title) like '%' || "
                               "UPPER(CAST(? AS VARCHAR(2000))) || '%' and tagid in (?) group by tagid"),
                tagids, {searchText},
                [&counts](const QSqlQuery &query) { counts.insert(query.value(0).toInt(), query.value(1).toInt()); });
    return counts;
}

QString upperAsciiLetters(const QString &text)
{
    QString folded = text;
    for (QChar &c : folded) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return folded;
}

QString lowerAsciiLetters(const QString &text)
{
    QString folded = text;
    for (QChar &c : folded) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() - 'A' + 'a');
    }
    return folded;
}
