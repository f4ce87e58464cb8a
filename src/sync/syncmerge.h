#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The three-way merge of two concurrent revisions of one object against the
// revision both follow (empty when they have none), field by field: a field
// changed on one side takes that side. The same field changed differently on
// both: the revision with the greater id wins; for a note's title, text and
// pictures or attachments the losing side's whole state is kept as a new note
// beside it (the conflict copy). A deleted side loses to a side that changed
// anything. The result follows both. The same inputs give the same result on
// every computer, whichever side is "a".
struct MergeResult
{
    QJsonObject merged;
    std::optional<QJsonObject> conflictCopy; // a new note, without parents
};

MergeResult mergeRevisions(const QJsonObject &base, const QJsonObject &a, const QString &aId, const QJsonObject &b,
                           const QString &bId);

// The title of a conflict copy: "<title> (conflict <yyyy-MM-dd HH:mm> <computer>)".
QString conflictTitle(const QString &title, const QString &changedUtc, const QString &computer);
