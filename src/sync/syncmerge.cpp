#include "syncmerge.h"

#include "syncrevision.h"

#include <QDateTime>
#include <QJsonArray>
#include <QStringList>

namespace {

// The fields that change together, by kind.
QList<QStringList> fieldGroups(const QString &kind)
{
    if (kind == QLatin1String("node"))
        return {{QStringLiteral("name")}, {QStringLiteral("parent")}, {QStringLiteral("icon")}};
    return {{QStringLiteral("title")},   {QStringLiteral("node")},        {QStringLiteral("created")},
            {QStringLiteral("html"), QStringLiteral("pictures")}, {QStringLiteral("attachments")},
            {QStringLiteral("source")}};
}

QJsonObject fieldsOf(const QJsonObject &revision, const QStringList &group)
{
    QJsonObject fields;
    for (const QString &field : group)
        fields.insert(field, revision.value(field));
    return fields;
}

bool changedAgainst(const QJsonObject &side, const QJsonObject &base, const QList<QStringList> &groups)
{
    if (base.isEmpty())
        return true;
    for (const QStringList &group : groups) {
        if (fieldsOf(side, group) != fieldsOf(base, group))
            return true;
    }
    return false;
}

// The kept copy of a note's losing side: a note of its own beside the winner.
QJsonObject conflictCopyOf(const QJsonObject &loser, const QString &loserId, const QJsonObject &merged)
{
    QJsonObject copy = SyncRevision::withParents(loser, {});
    const QString gid = SyncRevision::conflictGid(loser.value(QStringLiteral("gid")).toString(), loserId);
    copy.insert(QStringLiteral("gid"), gid);
    copy.insert(QStringLiteral("deleted"), false);
    copy.insert(QStringLiteral("node"), merged.value(QStringLiteral("node")));
    copy.insert(QStringLiteral("title"), conflictTitle(loser.value(QStringLiteral("title")).toString(),
                                                       loser.value(QStringLiteral("changed")).toString(),
                                                       loser.value(QStringLiteral("computer")).toString()));
    QJsonArray attachments;
    for (const QJsonValue &value : loser.value(QStringLiteral("attachments")).toArray()) {
        QJsonObject attachment = value.toObject();
        attachment.insert(QStringLiteral("gid"),
                          SyncRevision::conflictGid(gid, attachment.value(QStringLiteral("gid")).toString()));
        attachments.append(attachment);
    }
    copy.insert(QStringLiteral("attachments"), attachments);
    return copy;
}

} // namespace

QString conflictTitle(const QString &title, const QString &changedUtc, const QString &computer)
{
    const QDateTime changed = QDateTime::fromString(changedUtc, Qt::ISODateWithMs);
    return QStringLiteral("%1 (conflict %2 %3)")
        .arg(title, changed.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")), computer);
}

MergeResult mergeRevisions(const QJsonObject &base, const QJsonObject &a, const QString &aId, const QJsonObject &b,
                           const QString &bId)
{
    const bool aWins = aId > bId;
    const QJsonObject &winner = aWins ? a : b;
    const QJsonObject &loser = aWins ? b : a;
    const QString loserId = aWins ? bId : aId;
    const QString kind = winner.value(QStringLiteral("kind")).toString();
    const QList<QStringList> groups = fieldGroups(kind);
    auto follows = [&](QJsonObject revision) {
        const QString changed = std::max(a.value(QStringLiteral("changed")).toString(),
                                         b.value(QStringLiteral("changed")).toString());
        if (!changed.isEmpty())
            revision.insert(QStringLiteral("changed"), changed);
        return SyncRevision::withParents(revision, {aId, bId});
    };

    const bool aDeleted = SyncRevision::isDeleted(a), bDeleted = SyncRevision::isDeleted(b);
    if (aDeleted || bDeleted) {
        if (aDeleted && bDeleted)
            return {follows(winner), std::nullopt};
        const QJsonObject &live = aDeleted ? b : a;
        // A change wins over a deletion: the object comes back as changed.
        if (changedAgainst(live, base, groups))
            return {follows(live), std::nullopt};
        return {follows(aDeleted ? a : b), std::nullopt};
    }

    QJsonObject merged = winner;
    bool lostContent = false;
    for (const QStringList &group : groups) {
        const QJsonObject fromA = fieldsOf(a, group), fromB = fieldsOf(b, group);
        if (fromA == fromB)
            continue;
        const bool aChanged = base.isEmpty() || fromA != fieldsOf(base, group);
        const bool bChanged = base.isEmpty() || fromB != fieldsOf(base, group);
        const QJsonObject &taken = aChanged && bChanged ? fieldsOf(winner, group) : aChanged ? fromA : fromB;
        for (auto field = taken.begin(); field != taken.end(); ++field)
            merged.insert(field.key(), field.value());
        if (aChanged && bChanged && kind == QLatin1String("note") &&
            (group.contains(QStringLiteral("title")) || group.contains(QStringLiteral("html")) ||
             group.contains(QStringLiteral("attachments"))))
            lostContent = true;
    }
    MergeResult result{follows(merged), std::nullopt};
    if (lostContent)
        result.conflictCopy = conflictCopyOf(loser, loserId, result.merged);
    return result;
}
