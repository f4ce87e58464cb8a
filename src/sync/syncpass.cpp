#include "syncpass.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "syncmerge.h"
#include "pendingwork.h"
#include "synctarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <algorithm>

namespace {

const QString JournalFolder = QStringLiteral("journal");
constexpr int ItemsPerCommit = 50;

SyncKind kindOf(const QString &name)
{
    return name == QLatin1String("node") ? SyncKind::Node : SyncKind::Note;
}

// The content hashes a note revision names: its pictures and attachments.
QSet<QString> blobsOf(const QJsonObject &revision)
{
    QSet<QString> blobs;
    const QJsonObject pictures = revision.value(QStringLiteral("pictures")).toObject();
    for (auto picture = pictures.begin(); picture != pictures.end(); ++picture)
        blobs.insert(picture.value().toString());
    for (const QJsonValue &attachment : revision.value(QStringLiteral("attachments")).toArray())
        blobs.insert(attachment.toObject().value(QStringLiteral("blob")).toString());
    return blobs;
}

} // namespace

SyncPass::SyncPass(SyncRun &run, TDBDataModule &database, const AppContext &context, SyncTarget &target)
    : m_run(run)
    , m_database(database)
    , m_context(context)
    , m_target(target)
    , m_state(database)
    , m_cache(context.programFolder + QStringLiteral("sync/revisions/"), target)
    , m_scan(database, context, m_state, run.computerName)
{
}

QJsonObject SyncPass::revision(const QString &id)
{
    return m_cache.get(id).value_or(QJsonObject());
}

QString SyncPass::addRevision(const QJsonObject &revision)
{
    const QString id = m_cache.add(revision);
    if (!m_toPush.contains(id))
        m_toPush << id;
    return id;
}

SyncOutcome SyncPass::run(const QString &targetId)
{
    m_state.useTarget(targetId);
    m_sentFolder = m_context.programFolder + QStringLiteral("sync/sent/") +
                   SyncRevision::sha256Hex(targetId.toUtf8()).left(16) + QLatin1Char('/');
    m_computer = m_state.setting(QStringLiteral("computer"));
    if (m_computer.isEmpty()) {
        m_computer = QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, QLatin1Char('0'));
        Transaction transaction(m_database);
        m_state.setSetting(QStringLiteral("computer"), m_computer);
        transaction.commit();
    }
    m_rows = m_state.objects();
    takeLocalChanges();
    m_database.startTransaction(); // the reads of the merge, as one transaction
    readJournal();
    mergeRemote();
    keepNodesOfLiveObjects();
    breakNodeCircles();
    const int deletions = deletionsToApply();
    const int localNotes = m_database.queryInteger(QStringLiteral("select count(*) from note"));
    m_database.commit();
    if (!m_run.allowMassDelete && deletions >= 3 && deletions * 2 > localNotes) {
        m_outcome.massDeleteHeld = true;
        m_outcome.deletionsHeld = deletions;
        return m_outcome;
    }
    holdOpenNotes();
    for (const SyncWork &item : std::as_const(m_work))
        m_progress.total += item.final != item.held ? 1 : 0;
    m_progress.total += m_toPush.size() + m_blobsToPush.size();
    report();
    push();
    if (!apply())
        return m_outcome; // cancelled: the journal entries are read again next time
    if (!m_readUpTo.isEmpty()) {
        Transaction transaction(m_database);
        for (auto read = m_readUpTo.cbegin(); read != m_readUpTo.cend(); ++read)
            m_state.setSeen(read.key(), read.value());
        transaction.commit();
    }
    m_outcome.changedNotes.unite(m_database.takeChangedNotes());
    m_outcome.changedTags.unite(m_database.takeChangedTags());
    return m_outcome;
}

void SyncPass::report()
{
    if (m_run.progress)
        m_run.progress(m_progress);
}

void SyncPass::takeLocalChanges()
{
    const QList<LocalChange> changes = m_scan.changes(m_rows);
    for (const LocalChange &change : changes) {
        const SyncObjectRow &row = m_rows[change.gid];
        SyncWork item{change.gid, change.kind, change.localId, row.head, row.head, change.fingerprint};
        const QJsonObject head = revision(row.head);
        QJsonObject local;
        if (SyncRevision::isDeleted(change.state)) {
            if (row.head.isEmpty() || head.isEmpty()) {
                // Never synced: nothing to tell anyone.
                Transaction transaction(m_database);
                m_state.remove(change.gid);
                transaction.commit();
                continue;
            }
            if (!SyncRevision::isDeleted(head)) {
                local = head;
                local.insert(QStringLiteral("deleted"), true);
            }
        } else if (head.isEmpty() || SyncRevision::stateOf(head) != SyncRevision::stateOf(change.state)) {
            local = change.state;
        }
        if (!local.isEmpty()) {
            local = SyncRevision::withParents(local, row.head.isEmpty() ? QStringList() : QStringList{row.head});
            item.held = item.final = addRevision(local);
            const QSet<QString> sent = blobsOf(head);
            for (const QString &blob : blobsOf(local)) {
                if (!sent.contains(blob) && !m_blobsToPush.contains(blob)) {
                    m_blobsToPush << blob;
                    m_blobFiles.insert(blob, change.blobFiles.value(blob));
                }
            }
        }
        m_work.insert(change.gid, item);
    }
}

void SyncPass::readJournal()
{
    const QHash<QString, int> seen = m_state.seen();
    QList<std::pair<QString, int>> unread;
    for (const QString &name : m_target.list(JournalFolder)) {
        const qsizetype dash = name.lastIndexOf(QLatin1Char('-'));
        bool numeric = false;
        const int sequence = name.mid(dash + 1).toInt(&numeric);
        if (dash <= 0 || !numeric)
            continue;
        const QString computer = name.left(dash);
        if (sequence > seen.value(computer, 0))
            unread.append({computer, sequence});
    }
    std::sort(unread.begin(), unread.end());
    for (const auto &[computer, sequence] : std::as_const(unread)) {
        const QString name = QStringLiteral("%1/%2-%3").arg(JournalFolder, computer).arg(sequence, 10, 10, QLatin1Char('0'));
        // Entries never change once written: each is read from the target once.
        const QString copy = m_sentFolder + QStringLiteral("j-") + name.mid(JournalFolder.size() + 1);
        std::optional<QByteArray> bytes;
        if (QFile file(copy); file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        if (!bytes || QJsonDocument::fromJson(*bytes).isNull()) {
            bytes = m_target.read(name);
            if (!bytes)
                continue;
            QDir().mkpath(QFileInfo(copy).absolutePath());
            if (QFile file(copy); file.open(QIODevice::WriteOnly))
                file.write(*bytes);
        }
        const QJsonArray revisions = QJsonDocument::fromJson(*bytes).object().value(QStringLiteral("revisions")).toArray();
        for (const QJsonValue &value : revisions) {
            const QJsonObject entry = value.toObject();
            const QString gid = entry.value(QStringLiteral("gid")).toString();
            if (!gid.isEmpty())
                m_remote[gid] << entry.value(QStringLiteral("rev")).toString();
        }
        m_readUpTo[computer] = std::max(m_readUpTo.value(computer), sequence);
    }
    // Remote changes that waited while their note was open come again.
    for (const SyncObjectRow &row : std::as_const(m_rows)) {
        if (!row.waiting.isEmpty())
            m_remote[row.gid].prepend(row.waiting);
    }
}

QString SyncPass::combine(const QString &x, const QString &y)
{
    if (x.isEmpty() || x == y)
        return y;
    if (m_cache.descendsFrom(x, y))
        return x;
    if (m_cache.descendsFrom(y, x))
        return y;
    const QString base = m_cache.commonAncestor(x, y);
    const MergeResult merged = mergeRevisions(revision(base), revision(x), x, revision(y), y);
    const QString id = addRevision(merged.merged);
    if (merged.conflictCopy) {
        const QString gid = merged.conflictCopy->value(QStringLiteral("gid")).toString();
        const QString copy = addRevision(*merged.conflictCopy);
        m_remote[gid] << copy;
        ++m_outcome.conflicts;
    }
    return id;
}

void SyncPass::mergeRemote()
{
    // Conflict copies join the list while it is worked through.
    for (int round = 0; !m_remote.isEmpty() && round < 3; ++round) {
        const QHash<QString, QStringList> remote = std::exchange(m_remote, {});
        for (auto object = remote.cbegin(); object != remote.cend(); ++object) {
            auto item = m_work.find(object.key());
            if (item == m_work.end()) {
                const SyncObjectRow row = m_rows.value(object.key());
                SyncWork fresh{object.key(), row.kind, row.localId, row.head, row.head, row.fingerprint};
                if (row.gid.isEmpty()) {
                    const QJsonObject first = revision(object.value().first());
                    if (first.isEmpty())
                        continue;
                    fresh.kind = kindOf(first.value(QStringLiteral("kind")).toString());
                }
                item = m_work.insert(object.key(), fresh);
            }
            // Only the remote heads: revisions another one there follows are in it already.
            QStringList heads;
            for (const QString &remoteId : object.value()) {
                if (!heads.contains(remoteId) && !revision(remoteId).isEmpty())
                    heads << remoteId;
            }
            QStringList kept;
            for (const QString &head : std::as_const(heads)) {
                const bool followed = std::any_of(heads.cbegin(), heads.cend(), [&](const QString &other) {
                    return other != head && m_cache.descendsFrom(other, head);
                });
                if (!followed)
                    kept << head;
            }
            std::sort(kept.begin(), kept.end());
            QString current = item->final;
            for (const QString &remoteId : std::as_const(kept))
                current = combine(current, remoteId);
            item->final = current;
        }
    }
}

void SyncPass::keepNodesOfLiveObjects()
{
    auto finalOf = [&](const QString &gid) {
        const auto item = m_work.constFind(gid);
        return item != m_work.constEnd() ? item->final : m_rows.value(gid).head;
    };
    QStringList needed;
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select noteid, tagid from note"));
    QList<std::pair<int, int>> filed;
    while (query.next())
        filed.append({query.value(0).toInt(), query.value(1).toInt()});
    query.finish();
    for (const auto &[noteid, tagid] : std::as_const(filed)) {
        if (!m_work.contains(m_scan.noteGids.value(noteid)))
            needed << m_scan.tagGids.value(tagid);
    }
    for (const SyncWork &item : std::as_const(m_work)) {
        const QJsonObject final = revision(item.final);
        if (final.isEmpty() || SyncRevision::isDeleted(final))
            continue;
        needed << final.value(item.kind == SyncKind::Note ? QStringLiteral("node") : QStringLiteral("parent")).toString();
    }
    for (const SyncObjectRow &row : std::as_const(m_rows)) {
        if (row.kind == SyncKind::Node && !m_work.contains(row.gid) && row.localId != 0)
            needed << revision(row.head).value(QStringLiteral("parent")).toString();
    }
    // A node deleted on one side while something was put in it on the other comes back.
    QSet<QString> checked;
    while (!needed.isEmpty()) {
        const QString gid = needed.takeLast();
        if (gid.isEmpty() || checked.contains(gid))
            continue;
        checked.insert(gid);
        const QString finalId = finalOf(gid);
        QJsonObject node = revision(finalId);
        if (node.isEmpty())
            continue;
        if (SyncRevision::isDeleted(node)) {
            node.insert(QStringLiteral("deleted"), false);
            const QString back = addRevision(SyncRevision::withParents(node, {finalId}));
            auto item = m_work.find(gid);
            if (item == m_work.end()) {
                const SyncObjectRow row = m_rows.value(gid);
                item = m_work.insert(gid, SyncWork{gid, SyncKind::Node, row.localId, row.head, row.head, row.fingerprint});
            }
            item->final = back;
        }
        needed << node.value(QStringLiteral("parent")).toString();
    }
}

void SyncPass::breakNodeCircles()
{
    // Moves on two sides can close a circle of parents: the node of the smallest
    // id in it goes to the top, on every computer alike.
    QHash<QString, QString> parentOf;
    auto finalOf = [&](const QString &gid) {
        const auto item = m_work.constFind(gid);
        return item != m_work.constEnd() ? item->final : m_rows.value(gid).head;
    };
    QSet<QString> nodes;
    for (const SyncObjectRow &row : std::as_const(m_rows))
        if (row.kind == SyncKind::Node)
            nodes.insert(row.gid);
    for (const SyncWork &item : std::as_const(m_work))
        if (item.kind == SyncKind::Node)
            nodes.insert(item.gid);
    for (const QString &gid : std::as_const(nodes)) {
        const QJsonObject node = revision(finalOf(gid));
        if (!node.isEmpty() && !SyncRevision::isDeleted(node))
            parentOf.insert(gid, node.value(QStringLiteral("parent")).toString());
    }
    QStringList ordered = parentOf.keys();
    std::sort(ordered.begin(), ordered.end());
    for (const QString &start : std::as_const(ordered)) {
        QStringList chain;
        QString at = start;
        while (!at.isEmpty() && parentOf.contains(at) && !chain.contains(at)) {
            chain << at;
            at = parentOf.value(at);
        }
        if (at.isEmpty() || !chain.contains(at))
            continue;
        QStringList circle = chain.mid(chain.indexOf(at));
        std::sort(circle.begin(), circle.end());
        const QString cut = circle.first();
        const QString finalId = finalOf(cut);
        QJsonObject node = revision(finalId);
        node.insert(QStringLiteral("parent"), QString());
        auto item = m_work.find(cut);
        if (item == m_work.end()) {
            const SyncObjectRow row = m_rows.value(cut);
            item = m_work.insert(cut, SyncWork{cut, SyncKind::Node, row.localId, row.head, row.head, row.fingerprint});
        }
        item->final = addRevision(SyncRevision::withParents(node, {finalId}));
        parentOf.insert(cut, QString());
    }
}

int SyncPass::deletionsToApply()
{
    int deletions = 0;
    for (const SyncWork &item : std::as_const(m_work)) {
        if (item.kind == SyncKind::Note && item.localId != 0 && item.final != item.held &&
            SyncRevision::isDeleted(revision(item.final)))
            ++deletions;
    }
    return deletions;
}

void SyncPass::holdOpenNotes()
{
    if (!m_run.noteIsOpen)
        return;
    for (SyncWork &item : m_work) {
        if (item.kind != SyncKind::Note || item.localId == 0 || item.final == item.held || !m_run.noteIsOpen(item.localId))
            continue;
        // Never under the user's hands: the change waits for the next sync.
        Transaction transaction(m_database);
        m_state.put(SyncObjectRow{item.gid, item.kind, item.localId, item.held, item.fingerprint, item.final});
        transaction.commit();
        item.final = item.held;
        item.recorded = true;
        m_outcome.waiting << item.localId;
    }
}

void SyncPass::writeEntry(const QStringList &revisions)
{
    QJsonArray entries;
    for (const QString &id : revisions) {
        const QJsonObject written = revision(id);
        entries.append(QJsonObject{{QStringLiteral("kind"), written.value(QStringLiteral("kind"))},
                                   {QStringLiteral("gid"), written.value(QStringLiteral("gid"))},
                                   {QStringLiteral("rev"), id}});
    }
    const QByteArray bytes = QJsonDocument(QJsonObject{{QStringLiteral("revisions"), entries}}).toJson(QJsonDocument::Compact);
    // The revisions it names are on the target for good before it is.
    keepSent();
    int sequence = std::max(1, m_state.setting(QStringLiteral("sequence")).toInt());
    while (!m_target.writeNew(QStringLiteral("%1/%2-%3").arg(JournalFolder, m_computer).arg(sequence, 10, 10, QLatin1Char('0')),
                              bytes))
        ++sequence; // an entry of a run cut short has that number
    m_target.keepWritten();
    Transaction transaction(m_database);
    m_state.setSetting(QStringLiteral("sequence"), QString::number(sequence + 1));
    transaction.commit();
    m_readUpTo[m_computer] = std::max(m_readUpTo.value(m_computer), sequence);
}

void SyncPass::recordUnapplied(const QSet<QString> &toPush, const QSet<QString> &pushed)
{
    // What needs nothing done here is synced once its revision is on the target.
    QList<SyncWork *> synced;
    for (SyncWork &item : m_work) {
        if (!item.recorded && item.final == item.held && (!toPush.contains(item.final) || pushed.contains(item.final)))
            synced << &item;
    }
    if (synced.isEmpty())
        return;
    Transaction transaction(m_database);
    for (SyncWork *item : std::as_const(synced)) {
        m_state.put(SyncObjectRow{item->gid, item->kind, item->localId, item->final, item->fingerprint, QString()});
        item->recorded = true;
    }
    transaction.commit();
}

void SyncPass::push()
{
    for (const QString &blob : std::as_const(m_blobsToPush)) {
        if (isSent(QStringLiteral("b-") + blob)) {
            ++m_progress.done;
            continue;
        }
        QFile file(m_blobFiles.value(blob));
        if (!file.open(QIODevice::ReadOnly))
            throw SyncFileError(QStringLiteral("Cannot read %1.").arg(file.fileName()).toStdString());
        const QByteArray bytes = file.readAll();
        if (SyncRevision::sha256Hex(bytes) != blob)
            throw SyncFileError(QStringLiteral("%1 changed while it was sent.").arg(file.fileName()).toStdString());
        sendOnce(QStringLiteral("blobs/") + blob, bytes);
        sent(QStringLiteral("b-") + blob);
        if (m_unkeptSent.size() >= SyncRun::RevisionsPerEntry)
            keepSent();
        ++m_progress.done;
        report();
    }
    // Asked of every item after every entry: a list would make that quadratic.
    const QSet<QString> toPush(m_toPush.cbegin(), m_toPush.cend());
    QSet<QString> pushed;
    QStringList entry;
    for (const QString &id : std::as_const(m_toPush)) {
        if (!isSent(QStringLiteral("r-") + id)) {
            sendOnce(QStringLiteral("revs/") + id, SyncRevision::canonicalBytes(revision(id)));
            sent(QStringLiteral("r-") + id);
        }
        entry << id;
        pushed.insert(id);
        ++m_progress.done;
        if (entry.size() >= SyncRun::RevisionsPerEntry) {
            writeEntry(std::exchange(entry, {}));
            recordUnapplied(toPush, pushed);
        }
        report();
    }
    if (!entry.isEmpty())
        writeEntry(entry);
    m_outcome.sent = m_toPush.size();
    recordUnapplied(toPush, pushed);
}

void SyncPass::sendOnce(const QString &path, const QByteArray &bytes)
{
    if (m_target.writeNew(path, bytes))
        return;
    // There already: sent by another computer, or by us before a power loss
    // that cut it short. Only the second needs writing again.
    std::optional<QByteArray> there;
    try {
        there = m_target.read(path);
    } catch (const SyncTargetError &error) {
        if (error.fault() != SyncFault::Damaged)
            throw;
    }
    if (there != bytes)
        m_target.write(path, bytes);
}

void SyncPass::sent(const QString &item)
{
    // A server has kept it: marked now, so that a sync that keeps being cut
    // short still gets further each time.
    if (m_target.keepsLater())
        m_unkeptSent << item;
    else
        markSent(item);
}

void SyncPass::keepSent()
{
    if (m_unkeptSent.isEmpty())
        return;
    m_target.keepWritten();
    for (const QString &item : std::exchange(m_unkeptSent, {}))
        markSent(item);
}

// What this collection has written to the target, as empty files beside the
// database: a sync cut short does not send it again. A mark that is lost only
// costs a request; a mark is made once the item is flushed.
bool SyncPass::isSent(const QString &item) const
{
    return QFile::exists(m_sentFolder + item);
}

void SyncPass::markSent(const QString &item)
{
    QFile mark(m_sentFolder + item);
    if (!mark.open(QIODevice::WriteOnly)) {
        QDir().mkpath(m_sentFolder);
        mark.open(QIODevice::WriteOnly);
    }
}

int SyncPass::nodeDepth(const QString &gid)
{
    int depth = 0;
    QString at = gid;
    for (; depth < 4001 && !at.isEmpty(); ++depth) {
        const auto item = m_work.constFind(at);
        at = revision(item != m_work.constEnd() ? item->final : m_rows.value(at).head)
                 .value(QStringLiteral("parent"))
                 .toString();
    }
    return depth;
}

void SyncPass::applyItem(SyncWork &item)
{
    SyncApply apply(m_database, m_context, m_scan, m_state, [this](const QString &hash) {
        // Bytes received are kept until the apply is done, so that a sync cut
        // short does not receive them again.
        const QString kept = m_sentFolder + QStringLiteral("incoming/") + hash;
        if (QFile file(kept); file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            if (SyncRevision::sha256Hex(bytes) == hash)
                return bytes;
        }
        const std::optional<QByteArray> bytes = m_target.read(QStringLiteral("blobs/") + hash);
        if (!bytes || SyncRevision::sha256Hex(*bytes) != hash)
            throw SyncTargetError(SyncFault::Damaged, QStringLiteral("The item blobs/%1 is missing or damaged.").arg(hash));
        QDir().mkpath(m_sentFolder + QStringLiteral("incoming"));
        if (QFile file(kept); file.open(QIODevice::WriteOnly))
            file.write(*bytes);
        return *bytes;
    });
    apply.unfinished = &m_unfinished;
    const QJsonObject final = revision(item.final);
    if (item.kind == SyncKind::Node) {
        if (SyncRevision::isDeleted(final))
            apply.deleteNode(item.gid, item.localId, item.final);
        else
            item.localId = apply.placeNode(item.gid, item.localId, final, item.final);
    } else {
        item.localId = apply.applyNote(item.gid, item.localId, final, item.final);
    }
    item.recorded = true;
    ++m_outcome.received;
    ++m_progress.done;
    report();
}

void SyncPass::commitBatch()
{
    m_database.commit();
    for (const std::shared_ptr<PendingWork> &pending : std::as_const(m_unfinished))
        pending->finish();
    m_unfinished.clear();
}

bool SyncPass::apply()
{
    QList<SyncWork *> nodes, deletedNodes, notes;
    for (SyncWork &item : m_work) {
        if (item.recorded || item.final == item.held)
            continue;
        const bool deleted = SyncRevision::isDeleted(revision(item.final));
        (item.kind == SyncKind::Note ? notes : deleted ? deletedNodes : nodes) << &item;
    }
    QHash<QString, int> depth;
    for (const QList<SyncWork *> &list : {nodes, deletedNodes})
        for (const SyncWork *item : list)
            depth.insert(item->gid, nodeDepth(item->gid));
    auto byDepth = [&](const SyncWork *a, const SyncWork *b) {
        return std::pair(depth.value(a->gid), a->gid) < std::pair(depth.value(b->gid), b->gid);
    };
    std::sort(nodes.begin(), nodes.end(), byDepth);
    std::sort(deletedNodes.begin(), deletedNodes.end(), byDepth);
    std::reverse(deletedNodes.begin(), deletedNodes.end()); // children first
    // Items are committed a batch at a time: a large first sync writes its
    // files item by item but commits rows only every few dozen items.
    int inBatch = 0;
    for (const QList<SyncWork *> &list : {nodes, notes, deletedNodes}) {
        for (SyncWork *item : list) {
            if (m_run.cancelled && m_run.cancelled()) {
                commitBatch();
                return false;
            }
            m_database.startTransaction();
            try {
                applyItem(*item);
            } catch (const SyncTargetError &) {
                // A note's items are read before any of its rows is written:
                // the items done so far are kept.
                commitBatch();
                throw;
            } catch (...) {
                m_database.rollback(); // the batch's files are written again next time
                throw;
            }
            if (++inBatch >= ItemsPerCommit) {
                commitBatch();
                inBatch = 0;
            }
        }
    }
    commitBatch();
    QDir(m_sentFolder + QStringLiteral("incoming")).removeRecursively();
    return true;
}
