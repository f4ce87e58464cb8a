#include "syncscan.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "notepictures.h"
#include "storedpath.h"
#include "syncrevision.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>

#include <sys/stat.h>

namespace {

// Size, time to the nanosecond and inode: a whole-file write renames a new
// file into place, so even two writes of one size within a tick differ.
QString fileStamp(const QString &path)
{
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("-");
    return QStringLiteral("%1@%2.%3#%4")
        .arg(status.st_size)
        .arg(status.st_mtim.tv_sec)
        .arg(status.st_mtim.tv_nsec)
        .arg(status.st_ino);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QString syncTimeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

SyncScan::SyncScan(TDBDataModule &database, const AppContext &context, SyncState &state, QString computerName)
    : m_database(database)
    , m_context(context)
    , m_state(state)
    , m_computerName(std::move(computerName))
{
}

void SyncScan::assignGids(QHash<QString, SyncObjectRow> &rows)
{
    tagGids.clear();
    noteGids.clear();
    attachmentGids.clear();
    for (const SyncObjectRow &row : std::as_const(rows)) {
        if (row.localId == 0)
            continue;
        QHash<int, QString> &map = row.kind == SyncKind::Node   ? tagGids
                                   : row.kind == SyncKind::Note ? noteGids
                                                                : attachmentGids;
        map.insert(row.localId, row.gid);
    }
    QList<SyncObjectRow> added;
    auto add = [&](SyncKind kind, int localId, const QString &gid) {
        const SyncObjectRow row{gid, kind, localId, QString(), QString(), QString()};
        rows.insert(gid, row);
        added << row;
    };
    // Nodes parents first, so that a new node's id follows from its parent's and its name.
    QSqlQuery &tags = m_database.runQuery(QStringLiteral("select tagid, tagname, parentid from tags order by deep, tagid"));
    QList<std::tuple<int, QString, int>> tagRows;
    while (tags.next())
        tagRows.append({tags.value(0).toInt(), tags.value(1).toString(), tags.value(2).toInt()});
    tags.finish();
    for (const auto &[tagid, name, parentid] : tagRows) {
        if (tagGids.contains(tagid))
            continue;
        QString gid = SyncRevision::nodeGid(tagGids.value(parentid), name);
        if (rows.contains(gid))
            gid = SyncRevision::newGid(); // a second node of that name there (after a rename)
        tagGids.insert(tagid, gid);
        add(SyncKind::Node, tagid, gid);
    }
    QSqlQuery &notes = m_database.runQuery(QStringLiteral("select noteid from note"));
    QList<int> noteIds;
    while (notes.next())
        noteIds << notes.value(0).toInt();
    notes.finish();
    for (const int noteid : std::as_const(noteIds)) {
        if (!noteGids.contains(noteid)) {
            const QString gid = SyncRevision::newGid();
            noteGids.insert(noteid, gid);
            add(SyncKind::Note, noteid, gid);
        }
    }
    QSqlQuery &attachments = m_database.runQuery(QStringLiteral("select attid from attachment"));
    QList<int> attachmentIds;
    while (attachments.next())
        attachmentIds << attachments.value(0).toInt();
    attachments.finish();
    for (const int attid : std::as_const(attachmentIds)) {
        if (!attachmentGids.contains(attid)) {
            const QString gid = SyncRevision::newGid();
            attachmentGids.insert(attid, gid);
            add(SyncKind::Attachment, attid, gid);
        }
    }
    for (const SyncObjectRow &row : std::as_const(added))
        m_state.put(row);
}

std::optional<SyncScan::NoteRow> SyncScan::noteRow(int noteid)
{
    const bool hasSource = m_database.noteSourceLength() > 0;
    QSqlQuery &query = m_database.runQuery(
        QStringLiteral("select title, tagid, createdate, filename%1 from note where noteid=?")
            .arg(hasSource ? QStringLiteral(", source") : QString()),
        {noteid});
    std::optional<NoteRow> row;
    if (query.next()) {
        row = NoteRow{query.value(0).toString(), query.value(3).toString().replace(QLatin1Char('\\'), QLatin1Char('/')),
                      hasSource ? query.value(4).toString() : QString(), query.value(1).toInt(),
                      query.value(2).toDateTime()};
    }
    query.finish();
    return row;
}

QString SyncScan::nodeFingerprint(int tagid)
{
    const QJsonObject state = nodeState(tagid, QString());
    return state.isEmpty() ? QString() : SyncRevision::idOf(state);
}

QJsonObject SyncScan::nodeState(int tagid, const QString &gid)
{
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select tagname, parentid, icoid from tags where tagid=?"), {tagid});
    QJsonObject state;
    if (query.next()) {
        state = QJsonObject{{QStringLiteral("kind"), QStringLiteral("node")},
                            {QStringLiteral("gid"), gid},
                            {QStringLiteral("deleted"), false},
                            {QStringLiteral("name"), query.value(0).toString()},
                            {QStringLiteral("parent"), tagGids.value(query.value(1).toInt())},
                            {QStringLiteral("icon"), query.value(2).toInt()}};
    }
    query.finish();
    return state;
}

QString SyncScan::noteFingerprint(int noteid)
{
    return noteFingerprints(noteid).value(noteid);
}

QHash<int, QString> SyncScan::noteFingerprints(int onlyNote)
{
    // Two statements for the whole collection: a sync with nothing changed
    // reads the rows once and stats the files.
    const QString where = onlyNote != 0 ? QStringLiteral(" where noteid=?") : QString();
    const QVariantList values = onlyNote != 0 ? QVariantList{onlyNote} : QVariantList();
    QHash<int, QStringList> attachments;
    QSqlQuery &query =
        m_database.runQuery(QStringLiteral("select attid, attname, path, noteid from attachment%1 order by attid").arg(where),
                            values);
    while (query.next()) {
        const QString name = query.value(1).toString(), folder = query.value(2).toString();
        attachments[query.value(3).toInt()] << query.value(0).toString() << name << folder
                                            << attachmentGids.value(query.value(0).toInt())
                                            << fileStamp(StoredPath::resolve(m_context.dataFolder, folder + name));
    }
    query.finish();
    const bool hasSource = m_database.noteSourceLength() > 0;
    QSqlQuery &notes = m_database.runQuery(QStringLiteral("select noteid, title, tagid, createdate, filename%1 from note%2")
                                               .arg(hasSource ? QStringLiteral(", source") : QString(), where),
                                           values);
    QHash<int, QString> fingerprints;
    while (notes.next()) {
        const int noteid = notes.value(0).toInt();
        const QString filename = notes.value(4).toString().replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QStringList parts = QStringList{notes.value(1).toString(), tagGids.value(notes.value(2).toInt()),
                                              syncTimeText(notes.value(3).toDateTime()), filename,
                                              hasSource ? notes.value(5).toString() : QString(),
                                              fileStamp(StoredPath::resolve(m_context.dataFolder, filename))} +
                                  attachments.value(noteid);
        fingerprints.insert(noteid, SyncRevision::sha256Hex(parts.join(QChar(0)).toUtf8()));
    }
    notes.finish();
    return fingerprints;
}

QJsonObject SyncScan::noteState(int noteid, const QString &gid, QHash<QString, QString> *blobFiles)
{
    const std::optional<NoteRow> row = noteRow(noteid);
    if (!row)
        return {};
    const QString file = StoredPath::resolve(m_context.dataFolder, row->filename);
    QJsonObject pictures;
    for (const QString &picture : notePictures(m_context.dataFolder, row->filename)) {
        const QString path = m_context.dataFolder + picture;
        const QString hash = SyncRevision::sha256Hex(fileBytes(path));
        pictures.insert(QFileInfo(picture).fileName(), hash);
        if (blobFiles)
            blobFiles->insert(hash, path);
    }
    QSqlQuery &query =
        m_database.runQuery(QStringLiteral("select attid, attname, path from attachment where noteid=?"), {noteid});
    QList<std::tuple<int, QString, QString>> rows;
    while (query.next())
        rows.append({query.value(0).toInt(), query.value(1).toString(), query.value(2).toString()});
    query.finish();
    QList<QJsonObject> attachments;
    for (const auto &[attid, name, folder] : rows) {
        const QString path = StoredPath::resolve(m_context.dataFolder, folder + name);
        const QString hash = SyncRevision::sha256Hex(fileBytes(path));
        attachments.append(QJsonObject{{QStringLiteral("gid"), attachmentGids.value(attid)},
                                       {QStringLiteral("name"), name},
                                       {QStringLiteral("blob"), hash}});
        if (blobFiles)
            blobFiles->insert(hash, path);
    }
    std::sort(attachments.begin(), attachments.end(), [](const QJsonObject &a, const QJsonObject &b) {
        return a.value(QStringLiteral("gid")).toString() < b.value(QStringLiteral("gid")).toString();
    });
    QJsonArray attachmentArray;
    for (const QJsonObject &attachment : std::as_const(attachments))
        attachmentArray.append(attachment);
    const QFileInfo info(file);
    return QJsonObject{{QStringLiteral("kind"), QStringLiteral("note")},
                       {QStringLiteral("gid"), gid},
                       {QStringLiteral("deleted"), false},
                       {QStringLiteral("title"), row->title},
                       {QStringLiteral("node"), tagGids.value(row->tagid)},
                       {QStringLiteral("created"), syncTimeText(row->created)},
                       {QStringLiteral("html"), QString::fromUtf8(fileBytes(file))},
                       {QStringLiteral("pictures"), pictures},
                       {QStringLiteral("attachments"), attachmentArray},
                       {QStringLiteral("source"), row->source},
                       {QStringLiteral("computer"), m_computerName},
                       {QStringLiteral("changed"), syncTimeText(info.lastModified().toUTC())}};
}

QList<LocalChange> SyncScan::changes(QHash<QString, SyncObjectRow> &rows)
{
    // One transaction for the whole scan: each statement outside one would be
    // a transaction of its own. The new ids are stored with it.
    Transaction transaction(m_database);
    assignGids(rows);
    const QHash<int, QString> notePrints = noteFingerprints(0);
    QList<LocalChange> changes;
    for (const SyncObjectRow &row : std::as_const(rows)) {
        if (row.kind == SyncKind::Attachment || row.localId == 0)
            continue;
        LocalChange change{row.gid, row.kind, row.localId, {}, {}, {}};
        change.fingerprint = row.kind == SyncKind::Node ? nodeFingerprint(row.localId) : notePrints.value(row.localId);
        if (!change.fingerprint.isEmpty() && change.fingerprint == row.fingerprint)
            continue;
        if (change.fingerprint.isEmpty()) {
            change.localId = 0; // gone here: deleted, or in the trash
            change.state = QJsonObject{{QStringLiteral("deleted"), true}};
        } else if (row.kind == SyncKind::Node) {
            change.state = nodeState(row.localId, row.gid);
        } else {
            change.state = noteState(row.localId, row.gid, &change.blobFiles);
        }
        changes << change;
    }
    transaction.commit();
    return changes;
}
