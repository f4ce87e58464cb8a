#include "tagpaths.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "dberror.h"

#include <optional>

namespace {

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 32;
}

QString trimBlanksAndControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QString appendToPath(const QString &path, const QString &name)
{
    return path.isEmpty() ? name : path + QLatin1Char(',') + name;
}

TagRecord readTagRecord(const QSqlQuery &query)
{
    return TagRecord{.tagid = fieldInt(query, "tagid"),
                     .name = fieldText(query, "tagname"),
                     .deep = fieldInt(query, "deep"),
                     .path = fieldText(query, "path"),
                     .parentid = fieldInt(query, "parentid"),
                     .childcount = fieldInt(query, "childcount"),
                     .icoid = fieldInt(query, "icoid")};
}

// The node of that name at that place. Names match with only the letters a to z
// folded, on both sides: the engine's upper() folds accented letters as well, so
// comparing against it would never find "Café" again once stored.
std::optional<TagRecord> findTag(TDBDataModule &database, const QString &name, int deep, int parentid)
{
    const QString wanted = upperAsciiLetters(name);
    QSqlQuery &query = database.runQuery(
        QStringLiteral("select * from tags where deep=? and parentid=? order by tagid"), {deep, parentid});
    std::optional<TagRecord> found;
    while (!found && query.next()) {
        if (upperAsciiLetters(fieldText(query, "tagname")) == wanted)
            found = readTagRecord(query);
    }
    query.finish();
    return found;
}

void insertTag(TDBDataModule &database, const TagRecord &record)
{
    database.runStatement(
        QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
        {record.tagid, record.name, record.deep, record.path, record.parentid, record.childcount, record.icoid});
}

// Takes one note away from a node and from every node above it.
void releaseFiling(TDBDataModule &database, int tagid)
{
    while (tagid != 0) {
        QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags where tagid=?"), {tagid});
        if (!query.next()) {
            // The node is gone, and with it the way up.
            query.finish();
            return;
        }
        const int id = fieldInt(query, "tagid");
        const int childcount = fieldInt(query, "childcount");
        const int parentid = fieldInt(query, "parentid");
        query.finish();
        database.runStatement(QStringLiteral("update tags set childcount=? where tagid=?"), {childcount - 1, id});
        tagid = parentid;
    }
}

} // namespace

QStringList splitTagPath(const QString &text)
{
    QStringList names;
    QString rest = text;
    qsizetype comma;
    while ((comma = rest.indexOf(QLatin1Char(','))) >= 0) {
        names << trimBlanksAndControls(rest.left(comma));
        rest = rest.mid(comma + 1);
    }
    const QString last = trimBlanksAndControls(rest);
    if (!last.isEmpty())
        names << last;
    return names;
}

QList<TagWalkStep> AddTagPath(TDBDataModule &database, const TagRecord *parent, const QString &input)
{
    const QStringList names = splitTagPath(input);
    QList<TagWalkStep> steps;
    if (names.isEmpty())
        return steps;

    int parentid = parent ? parent->tagid : 0;
    int deep = parent ? parent->deep + 1 : 1;
    QString path = parent ? parent->path : QString();

    Transaction transaction(database);
    for (const QString &name : names) {
        // The id is allocated before the lookup, also for a node that turns out to exist.
        const int candidate = database.nextTagId();
        path = appendToPath(path, name);
        TagWalkStep step;
        if (std::optional<TagRecord> existing = findTag(database, name, deep, parentid)) {
            step.record = *existing;
        } else {
            step.record = TagRecord{.tagid = candidate, .name = name, .deep = deep, .path = path, .parentid = parentid};
            insertTag(database, step.record);
            step.created = true;
        }
        parentid = step.record.tagid;
        ++deep;
        steps.append(step);
    }
    transaction.commit();
    return steps;
}

int ResolveTagPath(TDBDataModule &database, const QString &fieldText, int previousTagId, const QString &openedPath)
{
    try {
        Transaction transaction(database);
        if (!openedPath.isEmpty() && previousTagId != 0)
            releaseFiling(database, previousTagId);

        const QStringList names = splitTagPath(trimBlanksAndControls(fieldText));
        const QString leafPath = lowerAsciiLetters(fieldText);
        int parentid = 0;
        int deep = 1;
        QString path;
        int leaf = 0;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString &name = names.at(i);
            const int candidate = database.nextTagId();
            path = appendToPath(path, name);
            const QString &writtenPath = i == names.size() - 1 ? leafPath : path;
            if (std::optional<TagRecord> existing = findTag(database, name, deep, parentid)) {
                database.runStatement(
                    QStringLiteral("update tags set deep=?,parentid=?,childcount=?,path=? where tagid=?"),
                    {deep, parentid, existing->childcount + 1, writtenPath, existing->tagid});
                leaf = existing->tagid;
            } else {
                insertTag(database, TagRecord{.tagid = candidate,
                                              .name = name,
                                              .deep = deep,
                                              .path = writtenPath,
                                              .parentid = parentid,
                                              .childcount = 1});
                leaf = candidate;
            }
            parentid = leaf;
            ++deep;
        }
        transaction.commit();
        return leaf;
    } catch (const DbError &) {
        return 0;
    }
}
