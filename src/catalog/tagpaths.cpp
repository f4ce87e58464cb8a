#include "tagpaths.h"

#include "catalogrows.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "dberror.h"

#include <algorithm>
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
            found = tagRecordOfRow(query);
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

// The names of a stored path, each trimmed and folded, cut at every comma.
QStringList foldedSegments(const QString &path)
{
    QStringList segments = path.split(QLatin1Char(','));
    for (QString &segment : segments)
        segment = upperAsciiLetters(trimBlanksAndControls(segment));
    return segments;
}

// The index of the n-th comma of a path (1-based), or -1.
qsizetype nthComma(const QString &path, int n)
{
    qsizetype at = -1;
    for (int i = 0; i < n; ++i) {
        at = path.indexOf(QLatin1Char(','), at + 1);
        if (at < 0)
            return -1;
    }
    return at;
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
            database.markTagChanged(step.record.tagid);
            step.created = true;
        }
        parentid = step.record.tagid;
        ++deep;
        steps.append(step);
    }
    transaction.commit();
    return steps;
}

bool pathNamesMatch(const QString &path, const QStringList &names)
{
    QStringList segments = foldedSegments(path);
    if (segments.size() == names.size() + 1 && segments.last().isEmpty())
        segments.removeLast(); // "Work," typed for Work
    if (segments.size() != names.size())
        return false;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (segments.at(i) != upperAsciiLetters(trimBlanksAndControls(names.at(i))))
            return false;
    }
    return true;
}

qsizetype pathPrefixEnd(const QString &path, const QString &prefix, int prefixNames)
{
    if (prefixNames <= 0)
        return -1;
    const QStringList wanted = foldedSegments(prefix).mid(0, prefixNames);
    const QStringList segments = foldedSegments(path);
    if (wanted.size() < prefixNames || segments.size() <= prefixNames)
        return -1;
    for (int i = 0; i < prefixNames; ++i) {
        if (segments.at(i) != wanted.at(i))
            return -1;
    }
    return nthComma(path, prefixNames);
}

QString renamedTagPath(const QString &oldPath, int deep, const QString &oldName, const QString &newName)
{
    const QStringList segments = foldedSegments(oldPath);
    const int own = std::max(deep, 1) - 1;
    if (segments.size() <= own || segments.at(own) != upperAsciiLetters(trimBlanksAndControls(oldName)))
        return oldPath;
    return own == 0 ? newName : oldPath.left(nthComma(oldPath, own) + 1) + newName;
}

int fileUnderTagPath(TDBDataModule &database, const QString &fieldText, int previousTagId, const QString &openedPath)
{
    if (!openedPath.isEmpty() && previousTagId != 0)
        shiftNoteCounts(database, previousTagId, -1);

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
            // Counted relative to the row: another save may have changed it since it was read.
            database.runStatement(
                QStringLiteral("update tags set deep=?,parentid=?,childcount=childcount+1,path=? where tagid=?"),
                {deep, parentid, writtenPath, existing->tagid});
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
        database.markTagChanged(leaf);
        parentid = leaf;
        ++deep;
    }
    return leaf;
}

int ResolveTagPath(TDBDataModule &database, const QString &fieldText, int previousTagId, const QString &openedPath)
{
    try {
        Transaction transaction(database);
        const int leaf = fileUnderTagPath(database, fieldText, previousTagId, openedPath);
        transaction.commit();
        return leaf;
    } catch (const DbError &) {
        return 0;
    }
}
