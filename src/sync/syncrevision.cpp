#include "syncrevision.h"

#include "synctarget.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUuid>

#include <cstdio>

namespace {

// A cached revision is checked against its name whenever it is read, so its
// file is written without waiting for the disk: one lost at a power cut is
// read from the target again.
bool keepCopy(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".part");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        file.remove();
        return false;
    }
    file.close();
    return std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0;
}

} // namespace

namespace SyncRevision {

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray canonicalBytes(const QJsonObject &revision)
{
    // QJsonObject keeps its keys sorted, and so writes them.
    return QJsonDocument(revision).toJson(QJsonDocument::Compact);
}

QString idOf(const QJsonObject &revision)
{
    return sha256Hex(canonicalBytes(revision));
}

QString newGid()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

QString nodeGid(const QString &parentGid, const QString &name)
{
    QString folded = name.trimmed();
    for (QChar &c : folded) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    }
    return sha256Hex(("node\n" + parentGid + QLatin1Char('\n') + folded).toUtf8()).left(32);
}

QString conflictGid(const QString &gid, const QString &loserRevision)
{
    return sha256Hex(("conflict\n" + gid + QLatin1Char('\n') + loserRevision).toUtf8()).left(32);
}

QJsonObject withParents(QJsonObject revision, const QStringList &parents)
{
    QStringList sorted = parents;
    sorted.sort();
    sorted.removeDuplicates();
    revision.insert(QStringLiteral("parents"), QJsonArray::fromStringList(sorted));
    return revision;
}

QStringList parentsOf(const QJsonObject &revision)
{
    QStringList parents;
    for (const QJsonValue &parent : revision.value(QStringLiteral("parents")).toArray())
        parents << parent.toString();
    return parents;
}

bool isDeleted(const QJsonObject &revision)
{
    return revision.value(QStringLiteral("deleted")).toBool();
}

QJsonObject stateOf(const QJsonObject &revision)
{
    QJsonObject state = revision;
    state.remove(QStringLiteral("parents"));
    state.remove(QStringLiteral("computer"));
    state.remove(QStringLiteral("changed"));
    return state;
}

} // namespace SyncRevision

RevisionCache::RevisionCache(QString folder, SyncTarget &target)
    : m_folder(std::move(folder))
    , m_target(target)
{
    QDir().mkpath(m_folder);
}

std::optional<QJsonObject> RevisionCache::get(const QString &id)
{
    if (id.isEmpty())
        return std::nullopt;
    if (const auto known = m_known.constFind(id); known != m_known.constEnd())
        return *known;
    QByteArray bytes;
    QFile file(m_folder + id);
    bool fromTarget = false;
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
    } else {
        const std::optional<QByteArray> read = m_target.read(QStringLiteral("revs/") + id);
        if (!read)
            return std::nullopt;
        bytes = *read;
        fromTarget = true;
    }
    const QJsonObject revision = QJsonDocument::fromJson(bytes).object();
    if (revision.isEmpty() || SyncRevision::idOf(revision) != id) {
        if (fromTarget)
            throw SyncTargetError(SyncFault::Damaged, QStringLiteral("The revision %1 is damaged.").arg(id));
        file.remove(); // a damaged copy of our own: read it again from the target
        return get(id);
    }
    if (fromTarget)
        keepCopy(m_folder + id, bytes);
    m_known.insert(id, revision);
    return revision;
}

QString RevisionCache::add(const QJsonObject &revision)
{
    const QByteArray bytes = SyncRevision::canonicalBytes(revision);
    const QString id = SyncRevision::sha256Hex(bytes);
    if (!m_known.contains(id)) {
        if (!QFile::exists(m_folder + id) && !keepCopy(m_folder + id, bytes))
            throw std::runtime_error(QStringLiteral("Cannot write %1.").arg(m_folder + id).toStdString());
        m_known.insert(id, revision);
    }
    return id;
}

bool RevisionCache::descendsFrom(const QString &revision, const QString &ancestor)
{
    if (revision.isEmpty() || ancestor.isEmpty())
        return false;
    QStringList queue{revision};
    QSet<QString> visited;
    while (!queue.isEmpty()) {
        const QString id = queue.takeFirst();
        if (id == ancestor)
            return true;
        if (visited.contains(id))
            continue;
        visited.insert(id);
        if (const std::optional<QJsonObject> known = get(id))
            queue << SyncRevision::parentsOf(*known);
    }
    return false;
}

QSet<QString> RevisionCache::ancestors(const QString &revision)
{
    QSet<QString> found;
    QStringList queue{revision};
    while (!queue.isEmpty()) {
        const QString id = queue.takeLast();
        if (id.isEmpty() || found.contains(id))
            continue;
        found.insert(id);
        if (const std::optional<QJsonObject> known = get(id))
            queue << SyncRevision::parentsOf(*known);
    }
    return found;
}

QString RevisionCache::commonAncestor(const QString &a, const QString &b)
{
    // The same for (a, b) and (b, a), so that two computers merging the same
    // heads make the same revision: of the shared ancestors, those no other
    // shared one follows; of those the smallest id.
    const QSet<QString> shared = ancestors(a).intersect(ancestors(b));
    QSet<QString> covered;
    for (const QString &id : shared) {
        if (const std::optional<QJsonObject> known = get(id))
            for (const QString &parent : SyncRevision::parentsOf(*known))
                covered.unite(ancestors(parent));
    }
    QStringList nearest;
    for (const QString &id : shared)
        if (!covered.contains(id))
            nearest << id;
    std::sort(nearest.begin(), nearest.end());
    return nearest.isEmpty() ? QString() : nearest.first();
}
