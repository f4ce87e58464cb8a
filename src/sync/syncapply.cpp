#include "syncapply.h"

#include "appcontext.h"
#include "catalogedits.h"
#include "catalogrows.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "notefilereplace.h"
#include "notefilestore.h"
#include "notetrash.h"
#include "pendingwork.h"
#include "storedpath.h"
#include "syncrevision.h"
#include "syncscan.h"
#include "tagpaths.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString fileHash(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? SyncRevision::sha256Hex(file.readAll()) : QString();
}

void writeOrThrow(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString problem = writeWholeFile(path, bytes);
    if (!problem.isEmpty())
        throw SyncFileError(QStringLiteral("%1: %2").arg(path, problem).toStdString());
}

// The transaction of one item, or a part of the caller's when it has one open
// (a batch of items committed together).
class ItemTransaction
{
public:
    explicit ItemTransaction(TDBDataModule &database)
        : m_database(database)
        , m_owned(!database.inTransaction())
    {
        m_database.startTransaction();
    }
    ~ItemTransaction()
    {
        if (m_owned && !m_committed)
            m_database.rollback();
    }
    void commit()
    {
        m_committed = true;
        if (m_owned)
            m_database.commit();
    }

private:
    TDBDataModule &m_database;
    bool m_owned;
    bool m_committed = false;
};

// Whether the local rows and files hold the revision as it is. When they could
// not (a title cut to the column, a node that is gone, a missing picture), no
// fingerprint is kept, so that the next scan sends what they hold instead and
// every computer ends the same.
bool heldAsIs(const QJsonObject &local, const QJsonObject &revision)
{
    return SyncRevision::stateOf(local) == SyncRevision::stateOf(revision);
}

} // namespace

SyncApply::SyncApply(TDBDataModule &database, const AppContext &context, SyncScan &scan, SyncState &state,
                     std::function<QByteArray(const QString &hash)> blob)
    : m_database(database)
    , m_context(context)
    , m_scan(scan)
    , m_state(state)
    , m_blob(std::move(blob))
{
}

int SyncApply::localTag(const QString &nodeGid)
{
    const int tagid = m_scan.tagGids.key(nodeGid, 0);
    return tagid != 0 && readTagRow(m_database, tagid) ? tagid : 0;
}

int SyncApply::untaggedNode()
{
    const int found = m_database.queryInteger(
        QStringLiteral("select min(tagid) from tags where parentid=0 and lower(tagname)='untagged'"));
    if (found != 0)
        return found;
    const QList<TagWalkStep> steps = AddTagPath(m_database, nullptr, QStringLiteral("untagged"));
    return steps.isEmpty() ? 0 : steps.last().record.tagid;
}

int SyncApply::placeNode(const QString &gid, int tagid, const QJsonObject &revision, const QString &head)
{
    const QString name = revision.value(QStringLiteral("name")).toString();
    const int icon = revision.value(QStringLiteral("icon")).toInt();
    int parentid = localTag(revision.value(QStringLiteral("parent")).toString());
    ItemTransaction transaction(m_database);
    std::optional<TagRecord> row = tagid != 0 ? readTagRow(m_database, tagid) : std::nullopt;
    // A parent below the node itself would close a circle: the node goes to the top then.
    if (row && parentid != 0 && ancestorChain(m_database, parentid).contains(tagid))
        parentid = 0;
    const std::optional<TagRecord> parent = parentid != 0 ? readTagRow(m_database, parentid) : std::nullopt;
    const QString path = parent ? parent->path + QLatin1Char(',') + name : name;
    const int deep = parent ? parent->deep + 1 : 1;
    if (!row) {
        tagid = m_database.nextTagId();
        m_database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                                {tagid, name, deep, path, parentid, 0, icon});
    } else {
        if (row->parentid != parentid) {
            if (row->parentid != 0 && readTagRow(m_database, row->parentid))
                shiftNoteCounts(m_database, row->parentid, -row->childcount);
            if (parentid != 0)
                shiftNoteCounts(m_database, parentid, row->childcount);
        }
        m_database.runStatement(QStringLiteral("update tags set tagname=?, path=?, deep=?, parentid=?, icoid=? where tagid=?"),
                                {name, path, deep, parentid, icon, tagid});
        QHash<int, std::pair<QString, int>> placed{{tagid, {path, deep}}};
        for (const SubtreeRow &below : rowsBelow(m_database, tagid)) {
            const auto above = placed.value(below.record.parentid);
            const QString belowPath = above.first + QLatin1Char(',') + below.record.name;
            m_database.runStatement(QStringLiteral("update tags set path=?, deep=? where tagid=?"),
                                    {belowPath, above.second + 1, below.record.tagid});
            placed.insert(below.record.tagid, {belowPath, above.second + 1});
            m_database.markTagChanged(below.record.tagid);
        }
    }
    m_database.markTagChanged(tagid);
    m_scan.tagGids.insert(tagid, gid);
    m_state.put(SyncObjectRow{gid, SyncKind::Node, tagid, head,
                              heldAsIs(m_scan.nodeState(tagid, gid), revision) ? m_scan.nodeFingerprint(tagid) : QString(),
                              QString()});
    transaction.commit();
    return tagid;
}

void SyncApply::deleteNode(const QString &gid, int tagid, const QString &head)
{
    ItemTransaction transaction(m_database);
    const bool empty =
        tagid == 0 || (m_database.queryInteger(QStringLiteral("select count(*) from tags where parentid=?"), {tagid}) == 0 &&
                       m_database.queryInteger(QStringLiteral("select count(*) from note where tagid=?"), {tagid}) == 0);
    if (empty && tagid != 0 && readTagRow(m_database, tagid)) {
        m_database.runStatement(QStringLiteral("delete from tags where tagid=?"), {tagid});
        m_database.markTagChanged(tagid);
    }
    if (empty) {
        m_scan.tagGids.remove(tagid);
        m_state.put(SyncObjectRow{gid, SyncKind::Node, 0, head, QString(), QString()});
    } else {
        m_state.put(SyncObjectRow{gid, SyncKind::Node, tagid, head, QString(), QString()});
    }
    transaction.commit();
}

QString SyncApply::writeBlob(const QString &path, const QString &hash)
{
    if (fileHash(path) != hash)
        writeOrThrow(path, m_fetched.contains(hash) ? m_fetched.take(hash) : m_blob(hash));
    return path;
}

QStringList SyncApply::writeAttachments(int noteid, const QString &dayRelative, const QJsonObject &revision)
{
    QStringList dropped;
    // Rows of attachments the revision no longer has go, with their copies
    // once committed; the ones it adds are written first.
    QHash<QString, QJsonObject> wanted;
    for (const QJsonValue &value : revision.value(QStringLiteral("attachments")).toArray())
        wanted.insert(value.toObject().value(QStringLiteral("gid")).toString(), value.toObject());
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select attid, attname, path from attachment where noteid=?"),
                                           {noteid});
    QList<std::tuple<int, QString, QString>> rows;
    while (query.next())
        rows.append({query.value(0).toInt(), query.value(1).toString(), query.value(2).toString()});
    query.finish();
    for (const auto &[attid, name, folder] : rows) {
        const QString gid = m_scan.attachmentGids.value(attid);
        const auto keep = wanted.constFind(gid);
        const QString path = StoredPath::resolve(m_context.dataFolder, folder + name);
        if (keep != wanted.constEnd() && keep->value(QStringLiteral("name")).toString() == name &&
            fileHash(path) == keep->value(QStringLiteral("blob")).toString()) {
            wanted.remove(gid);
            continue;
        }
        m_database.runStatement(QStringLiteral("delete from attachment where attid=?"), {attid});
        if (!gid.isEmpty())
            m_state.remove(gid);
        m_scan.attachmentGids.remove(attid);
        if (!path.isEmpty())
            dropped << path;
    }
    for (auto attachment = wanted.cbegin(); attachment != wanted.cend(); ++attachment) {
        // The name the attachment has everywhere; when another file of the day
        // has it, the copy goes to a folder of its own below attaches/.
        const QString name = attachment->value(QStringLiteral("name")).toString();
        QString folder = dayRelative + QStringLiteral("attaches/");
        if (QFileInfo::exists(m_context.dataFolder + folder + name))
            folder += attachment.key().left(16) + QLatin1Char('/');
        if (!StoredPath::isInsideAttachment(folder, name))
            throw SyncFileError(QStringLiteral("The attachment name \"%1\" is not a file name.").arg(name).toStdString());
        writeBlob(m_context.dataFolder + folder + name, attachment->value(QStringLiteral("blob")).toString());
        const int attid = m_database.nextAttachmentId();
        m_database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"), {attid, noteid, name, folder});
        m_scan.attachmentGids.insert(attid, attachment.key());
        m_state.put(SyncObjectRow{attachment.key(), SyncKind::Attachment, attid, QString(), QString(), QString()});
    }
    return dropped;
}

int SyncApply::applyNote(const QString &gid, int noteid, const QJsonObject &revision, const QString &head)
{
    if (noteid != 0 &&
        m_database.queryInteger(QStringLiteral("select count(*) from note where noteid=?"), {noteid}) == 0)
        noteid = 0;
    if (SyncRevision::isDeleted(revision)) {
        if (noteid != 0) {
            m_database.commit(); // the trash commits on its own: the items before it first
            NoteTrash trash(m_database, m_context);
            if (trash.isAvailable()) {
                trash.trash(noteid);
            } else {
                const QStringList files = noteFiles(m_database, noteid);
                deleteNote(m_database, noteid);
                for (const QString &file : files)
                    QFile::remove(m_context.dataFolder + file);
            }
            m_database.markNoteChanged(noteid);
            m_scan.noteGids.remove(noteid);
        }
        ItemTransaction transaction(m_database);
        m_state.put(SyncObjectRow{gid, SyncKind::Note, 0, head, QString(), QString()});
        transaction.commit();
        return 0;
    }

    // The bytes of new attachments are read before any file or row changes, so
    // that a dropped connection never leaves a note file without its row, or
    // the note's rows half changed.
    m_fetched.clear();
    for (const QJsonValue &value : revision.value(QStringLiteral("attachments")).toArray()) {
        const QJsonObject attachment = value.toObject();
        const QString blob = attachment.value(QStringLiteral("blob")).toString();
        if (m_scan.attachmentGids.key(attachment.value(QStringLiteral("gid")).toString(), 0) == 0 &&
            !m_fetched.contains(blob))
            m_fetched.insert(blob, m_blob(blob));
    }
    int tagid = localTag(revision.value(QStringLiteral("node")).toString());
    if (tagid == 0)
        tagid = untaggedNode();
    QByteArray html = revision.value(QStringLiteral("html")).toString().toUtf8();
    QString filename;
    if (noteid != 0) {
        QSqlQuery &query = m_database.runQuery(QStringLiteral("select filename from note where noteid=?"), {noteid});
        if (query.next())
            filename = query.value(0).toString().replace(QLatin1Char('\\'), QLatin1Char('/'));
        query.finish();
    }
    const QString notePath = StoredPath::resolve(m_context.dataFolder, filename);
    QString dayRelative;
    if (noteid != 0 && !notePath.isEmpty()) {
        dayRelative = QFileInfo(filename).path() + QLatin1Char('/');
    } else {
        const QDateTime created = QDateTime::fromString(revision.value(QStringLiteral("created")).toString(),
                                                        Qt::ISODateWithMs);
        const NoteLocation location = NewNoteLocation(m_context.dataFolder, created.toLocalTime());
        if (!location.problem.isEmpty())
            throw SyncFileError(location.problem.toStdString());
        dayRelative = location.dayFolder.mid(m_context.dataFolder.size()) + QLatin1Char('/');
        filename = dayRelative + location.fileName;
        noteid = 0;
    }
    const QJsonObject pictures = revision.value(QStringLiteral("pictures")).toObject();
    const QByteArray ownText = noteid != 0 ? readAll(notePath) : QByteArray();
    for (auto picture = pictures.begin(); picture != pictures.end(); ++picture) {
        QString name = picture.key();
        if (name.contains(QLatin1Char('/')) || name == QLatin1String(".."))
            continue;
        const QString hash = picture.value().toString();
        const QString images = m_context.dataFolder + dayRelative + QStringLiteral("images/");
        // Another note of the day has a picture of that name: this one takes a
        // name of its own rather than overwrite it, and the note's text follows
        // (so the revision is not held as it is, and goes back out as held).
        const QByteArray reference = "images/" + name.toUtf8();
        if (QFileInfo::exists(images + name) && fileHash(images + name) != hash && !ownText.contains(reference)) {
            const QFileInfo info(name);
            name = info.completeBaseName() + QLatin1Char('-') + hash.left(12)
                   + (info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix());
            html.replace(reference, "images/" + name.toUtf8());
        }
        writeBlob(images + name, hash);
    }
    // A new note's files are recorded as pending work before they are
    // written: a run killed before its rows commit leaves them for the
    // recovery at the next start to remove.
    auto pending = std::make_shared<PendingWork>(m_context.pendingFolder());
    if (noteid == 0) {
        PendingEntry entry;
        entry.files << filename;
        for (const QJsonValue &value : revision.value(QStringLiteral("attachments")).toArray()) {
            const QString name = value.toObject().value(QStringLiteral("name")).toString();
            entry.files << dayRelative + QStringLiteral("attaches/") + name
                        << dayRelative + QStringLiteral("attaches/") +
                               value.toObject().value(QStringLiteral("gid")).toString().left(16) + QLatin1Char('/') + name;
        }
        try {
            pending->record(entry);
        } catch (const std::runtime_error &error) {
            throw SyncFileError(error.what());
        }
    }
    if (noteid != 0) {
        const QString problem = replaceNoteFile(m_context.dataFolder, noteid, notePath, html, m_context.history);
        if (!problem.isEmpty())
            throw SyncFileError(QStringLiteral("%1: %2").arg(notePath, problem).toStdString());
    } else {
        writeOrThrow(m_context.dataFolder + filename, html);
    }

    const QString title = cutToCharacters(revision.value(QStringLiteral("title")).toString(), m_database.noteTitleLength());
    const QString source = revision.value(QStringLiteral("source")).toString();
    const bool hasSource = m_database.noteSourceLength() > 0;
    const QDateTime created =
        QDateTime::fromString(revision.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs).toLocalTime();
    ItemTransaction transaction(m_database);
    if (noteid == 0) {
        noteid = m_database.nextNoteId();
        m_database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,?,?)"),
            {noteid, title, tagid, created, filename});
        shiftNoteCounts(m_database, tagid, 1);
    } else {
        const int oldTag = m_database.queryInteger(QStringLiteral("select tagid from note where noteid=?"), {noteid});
        if (oldTag != tagid) {
            if (readTagRow(m_database, oldTag))
                shiftNoteCounts(m_database, oldTag, -1);
            shiftNoteCounts(m_database, tagid, 1);
        }
        m_database.runStatement(QStringLiteral("update note set title=?, tagid=?, createdate=? where noteid=?"),
                                {title, tagid, created, noteid});
        m_database.markTagChanged(tagid);
    }
    if (hasSource) {
        // A cut address would lead elsewhere: one too long is not kept at all.
        const bool keep = !source.isEmpty() && cutToCharacters(source, m_database.noteSourceLength()) == source;
        m_database.runStatement(QStringLiteral("update note set source=? where noteid=?"),
                                {keep ? QVariant(source) : QVariant(QMetaType(QMetaType::QString)), noteid});
    }
    const QStringList dropped = writeAttachments(noteid, dayRelative, revision);
    m_database.markNoteChanged(noteid);
    m_scan.noteGids.insert(noteid, gid);
    m_state.put(SyncObjectRow{gid, SyncKind::Note, noteid, head,
                              heldAsIs(m_scan.noteState(noteid, gid), revision) ? m_scan.noteFingerprint(noteid)
                                                                                 : QString(),
                              QString()});
    transaction.commit();
    if (pending->isRecorded()) {
        if (m_database.inTransaction() && unfinished)
            unfinished->append(pending); // finished once the caller's batch commits
        else
            pending->finish();
    }
    for (const QString &path : dropped)
        QFile::remove(path);
    return noteid;
}
