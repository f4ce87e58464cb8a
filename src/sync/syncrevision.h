#pragma once

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>

#include <optional>

class SyncTarget;

// Revisions: the whole state of one note or one catalog node at one moment,
// immutable, named by the SHA-256 of their canonical JSON (keys sorted,
// compact), so that two computers that compute the same state write the same
// item. kind is "note" or "node"; parents are the revisions it follows.
namespace SyncRevision {

QString sha256Hex(const QByteArray &bytes);
QByteArray canonicalBytes(const QJsonObject &revision);
QString idOf(const QJsonObject &revision);

// A new random global id.
QString newGid();
// The global id of a node made by name below a parent ("" at the top): two
// computers that make the same path give it the same id.
QString nodeGid(const QString &parentGid, const QString &name);
// The note that keeps the losing side of a conflict, the same on every computer.
QString conflictGid(const QString &gid, const QString &loserRevision);

// The revision with parents replaced and the id it then has.
QJsonObject withParents(QJsonObject revision, const QStringList &parents);
QStringList parentsOf(const QJsonObject &revision);
bool isDeleted(const QJsonObject &revision);
// The revision without what says where it comes from (parents, computer,
// time): equal for two revisions of the same state.
QJsonObject stateOf(const QJsonObject &revision);

} // namespace SyncRevision

// The revisions this collection knows, kept as files in a folder beside the
// database (never in the data folder); one not there is read from the target
// once and kept.
class RevisionCache
{
public:
    // folder ends with "/".
    RevisionCache(QString folder, SyncTarget &target);

    std::optional<QJsonObject> get(const QString &id);
    // Keeps a revision made here; answers its id.
    QString add(const QJsonObject &revision);

    // Whether ancestor is the revision itself or one it follows.
    bool descendsFrom(const QString &revision, const QString &ancestor);
    // The nearest revision both follow, or empty when they have none.
    QString commonAncestor(const QString &a, const QString &b);
    // The revision and every one it follows.
    QSet<QString> ancestors(const QString &revision);

private:
    QString m_folder;
    SyncTarget &m_target;
    QHash<QString, QJsonObject> m_known;
};
