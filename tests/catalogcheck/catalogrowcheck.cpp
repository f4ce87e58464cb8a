#include "catalogrowcheck.h"

#include "dbdatamodule.h"
#include "tagpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace {

struct TagRow
{
    QString name;
    int deep = 0;
    QString path;
    int parentid = 0;
    int childcount = 0;
};

QString normalised(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

bool noteFileComplete(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll().trimmed().toLower().endsWith("</html>");
}

bool copyComplete(const QString &path)
{
    static const QRegularExpression blob(QStringLiteral("blob(\\d+)\\.bin$"));
    const QRegularExpressionMatch match = blob.match(path);
    return !match.hasMatch() || QFileInfo(path).size() == match.captured(1).toLongLong();
}

} // namespace

namespace {

// A trashed note is in the trash only: no note row, its file in its own trash
// folder, and no trash folder without a trashed row.
QStringList checkTrashRows(TDBDataModule &database, const QList<std::pair<int, QString>> &notes,
                           const QString &trashFolder)
{
    QStringList problems;
    if (!database.hasTrashTables())
        return problems;
    QSet<int> stored;
    for (const auto &note : notes)
        stored.insert(note.first);
    QSet<QString> trashed;
    QSqlQuery &query = database.runQuery(QStringLiteral("select noteid, filename from trashednote"));
    QList<std::pair<int, QString>> rows;
    while (query.next())
        rows.append({query.value(0).toInt(), normalised(query.value(1).toString())});
    query.finish();
    for (const auto &[noteid, file] : std::as_const(rows)) {
        trashed.insert(QString::number(noteid));
        if (stored.contains(noteid))
            problems << QStringLiteral("note %1 is both stored and trashed").arg(noteid);
        if (!QFileInfo::exists(trashFolder + QString::number(noteid) + QLatin1Char('/') + file))
            problems << QStringLiteral("the file of trashed note %1 is missing: %2").arg(noteid).arg(file);
    }
    for (const QString &folder : QDir(trashFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!trashed.contains(folder))
            problems << QStringLiteral("trash/%1 has no trashed row").arg(folder);
    }
    return problems;
}

} // namespace

QStringList checkCatalogRows(TDBDataModule &database, const QString &dataFolder, const RowCheckOptions &options)
{
    QStringList problems;
    QHash<int, TagRow> tags;
    QSqlQuery &tagQuery = database.runQuery(QStringLiteral("select * from tags"));
    while (tagQuery.next()) {
        tags.insert(fieldInt(tagQuery, "tagid"),
                    TagRow{fieldText(tagQuery, "tagname"), fieldInt(tagQuery, "deep"), fieldText(tagQuery, "path"),
                           fieldInt(tagQuery, "parentid"), fieldInt(tagQuery, "childcount")});
    }
    tagQuery.finish();

    QHash<int, int> notesIn;
    QSet<QString> noteFiles;
    QSqlQuery &noteQuery = database.runQuery(QStringLiteral("select noteid, tagid, filename from note"));
    QList<std::pair<int, QString>> notes;
    while (noteQuery.next()) {
        const int noteid = noteQuery.value(0).toInt();
        const int tagid = noteQuery.value(1).toInt();
        notes.append({noteid, normalised(noteQuery.value(2).toString())});
        ++notesIn[tagid];
        if (!tags.contains(tagid))
            problems << QStringLiteral("note %1 is filed under node %2, which does not exist").arg(noteid).arg(tagid);
    }
    noteQuery.finish();
    QSet<QString> copies;
    QSqlQuery &attachmentQuery = database.runQuery(QStringLiteral("select attid, path, attname from attachment"));
    QList<std::pair<int, QString>> attachments;
    while (attachmentQuery.next())
        attachments.append({attachmentQuery.value(0).toInt(),
                            normalised(attachmentQuery.value(1).toString()) + attachmentQuery.value(2).toString()});
    attachmentQuery.finish();

    // Counts, levels, parents and paths, walking up from every node.
    QHash<int, int> subtreeNotes;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        QSet<int> seen;
        QStringList names;
        for (int id = it.key(); id != 0 && tags.contains(id); id = tags.value(id).parentid) {
            if (seen.contains(id)) {
                problems << QStringLiteral("the parents of node %1 run in a circle").arg(it.key());
                break;
            }
            seen.insert(id);
            subtreeNotes[id] += notesIn.value(it.key());
            names.prepend(tags.value(id).name);
        }
        const TagRow &row = it.value();
        if (row.parentid == 0 ? row.deep != 1
                              : !tags.contains(row.parentid) || tags.value(row.parentid).deep + 1 != row.deep)
            problems
                << QStringLiteral("node %1 has level %2 under parent %3").arg(it.key()).arg(row.deep).arg(row.parentid);
        if (!pathNamesMatch(row.path, names))
            problems << QStringLiteral("node %1 has path \"%2\" for the names \"%3\"")
                            .arg(it.key())
                            .arg(row.path, names.join(QLatin1Char(',')));
    }
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        if (it.value().childcount != subtreeNotes.value(it.key()))
            problems << QStringLiteral("node %1 (%2) stores %3 notes but holds %4")
                            .arg(it.key())
                            .arg(it.value().name)
                            .arg(it.value().childcount)
                            .arg(subtreeNotes.value(it.key()));
    }

    for (const auto &[noteid, file] : std::as_const(notes)) {
        noteFiles.insert(file);
        if (!QFileInfo::exists(dataFolder + file))
            problems << QStringLiteral("the file of note %1 is missing: %2").arg(noteid).arg(file);
        else if (options.filesComplete && !noteFileComplete(dataFolder + file))
            problems << QStringLiteral("the file of note %1 is cut short: %2").arg(noteid).arg(file);
    }
    for (const auto &[attid, file] : std::as_const(attachments)) {
        copies.insert(file);
        if (!QFileInfo::exists(dataFolder + file))
            problems << QStringLiteral("the copy of attachment %1 is missing: %2").arg(attid).arg(file);
        else if (options.filesComplete && !copyComplete(dataFolder + file))
            problems << QStringLiteral("the copy of attachment %1 is cut short: %2").arg(attid).arg(file);
    }

    // Day folders hold the note files, the template copy, pictures and attachment copies.
    const QDir data(dataFolder);
    for (const QString &day : data.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir dayFolder(dataFolder + day);
        for (const QString &name : dayFolder.entryList(QDir::Files)) {
            if (name != QLatin1String("template.html") && !noteFiles.contains(day + QLatin1Char('/') + name))
                problems << QStringLiteral("%1/%2 has no note row").arg(day, name);
        }
        const QDir attaches(dataFolder + day + QStringLiteral("/attaches"));
        for (const QString &name : attaches.entryList(QDir::Files)) {
            if (!copies.contains(day + QStringLiteral("/attaches/") + name))
                problems << QStringLiteral("%1/attaches/%2 has no attachment row").arg(day, name);
        }
    }
    if (!options.programFolder.isEmpty()) {
        const QStringList left = QDir(options.programFolder + QStringLiteral("pending")).entryList(QDir::Files);
        for (const QString &entry : left)
            problems << QStringLiteral("unfinished work is left recorded: pending/%1").arg(entry);
        problems << checkTrashRows(database, notes, options.programFolder + QStringLiteral("trash/"));
    }
    return problems;
}
