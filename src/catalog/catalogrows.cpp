#include "catalogrows.h"

#include "dbdatamodule.h"

#include <algorithm>

QString allTagRowsStatement()
{
    return QStringLiteral("select tagid, tagname, deep, path, parentid, childcount, icoid from tags");
}

QList<TagRecord> readTagRows(QSqlQuery &query)
{
    // By position: a value read by name builds the row's record anew each time.
    QList<TagRecord> rows;
    while (query.next()) {
        rows.append(TagRecord{.tagid = query.value(0).toInt(),
                              .name = query.value(1).toString(),
                              .deep = query.value(2).toInt(),
                              .path = query.value(3).toString(),
                              .parentid = query.value(4).toInt(),
                              .childcount = query.value(5).toInt(),
                              .icoid = query.value(6).toInt()});
    }
    return rows;
}

QList<CatalogNode> catalogForest(const QList<TagRecord> &rows)
{
    QList<const TagRecord *> ordered;
    ordered.reserve(rows.size());
    for (const TagRecord &row : rows) {
        if (row.deep >= 1)
            ordered << &row;
    }
    std::sort(ordered.begin(), ordered.end(), [](const TagRecord *a, const TagRecord *b) {
        return a->deep != b->deep ? a->deep < b->deep : a->tagid < b->tagid;
    });

    QList<CatalogNode> forest;
    forest.reserve(ordered.size());
    QHash<int, int> indexOfTag; // tagid -> index in forest, for the levels above the current one
    indexOfTag.reserve(ordered.size());
    qsizetype levelStart = 0;
    for (const TagRecord *row : std::as_const(ordered)) {
        if (!forest.isEmpty() && forest.constLast().record.deep != row->deep) {
            // A parent must sit on a level above its child: a row whose parent is on its
            // own level stays out like one whose parent is missing.
            for (qsizetype i = levelStart; i < forest.size(); ++i)
                indexOfTag.insert(forest[i].record.tagid, int(i));
            levelStart = forest.size();
        }
        CatalogNode node{.record = *row};
        if (row->parentid != 0) {
            const auto parent = indexOfTag.constFind(row->parentid);
            if (parent == indexOfTag.constEnd())
                continue;
            node.parentIndex = parent.value();
        }
        forest.append(std::move(node));
    }
    return forest;
}

QList<CatalogNode> loadCatalogForest(TDBDataModule &database)
{
    QSqlQuery &query = database.runQuery(allTagRowsStatement());
    const QList<TagRecord> rows = readTagRows(query);
    query.finish();
    return catalogForest(rows);
}

QString titleHoldsSearchText()
{
    // Escaping at most doubles the text: every search text the title column can
    // hold fits the cast.
    return QStringLiteral("UPPER(title) like '%' || UPPER(CAST(? AS VARCHAR(4000))) || '%' ESCAPE '\\'");
}

QString titleSearchPattern(const QString &searchText)
{
    QString pattern;
    pattern.reserve(searchText.size());
    for (const QChar c : searchText) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern;
}

QHash<int, int> countMatchingNotes(TDBDataModule &database, const QString &searchText)
{
    // Counted here rather than grouped by the engine: reading the matching ids is
    // cheaper than the engine's sort on a large table.
    QHash<int, int> counts;
    QSqlQuery &query = database.runQuery(QStringLiteral("select tagid from note where ") + titleHoldsSearchText(),
                                         {titleSearchPattern(searchText)});
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

TagRecord tagRecordOfRow(const QSqlQuery &query)
{
    return TagRecord{.tagid = fieldInt(query, "tagid"),
                     .name = fieldText(query, "tagname"),
                     .deep = fieldInt(query, "deep"),
                     .path = fieldText(query, "path"),
                     .parentid = fieldInt(query, "parentid"),
                     .childcount = fieldInt(query, "childcount"),
                     .icoid = fieldInt(query, "icoid")};
}

QHash<int, TagRecord> readTagRows(TDBDataModule &database, const QList<int> &tagids)
{
    QHash<int, TagRecord> rows;
    forIdSlices(database, QStringLiteral("select * from tags where tagid in (?)"), tagids, {},
                [&rows](const QSqlQuery &query) {
                    const TagRecord record = tagRecordOfRow(query);
                    rows.insert(record.tagid, record);
                });
    return rows;
}

QHash<int, int> countOwnMatchingNotes(TDBDataModule &database, const QList<int> &tagids, const QString &searchText)
{
    QHash<int, int> counts;
    forIdSlices(database,
                QStringLiteral("select tagid, count(*) from note where ") + titleHoldsSearchText() +
                    QStringLiteral(" and tagid in (?) group by tagid"),
                tagids, {titleSearchPattern(searchText)},
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
