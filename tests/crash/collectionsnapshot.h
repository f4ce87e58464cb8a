#pragma once

#include <QString>
#include <QStringList>

// Everything of the user's that a program folder (ending with "/") holds, as
// sorted lines of text: every row of the three tables, the settings file's
// hash, the records of unfinished work, and every file of the data folder
// with its size and hash. Two folders
// hold the same collection when their snapshots are equal.
QStringList collectionSnapshot(const QString &programFolder);

// The first line that one snapshot holds and the other lacks, as "lacks ..."
// or "holds ..."; empty when they are equal.
QString snapshotDifference(const QStringList &now, const QStringList &wanted);

// Which of two snapshots the folder's collection is: 0 or 1, or -1 for neither,
// with the first line that differs from each in difference.
int matchingSnapshot(const QStringList &now, const QStringList &first, const QStringList &second, QString *difference);

QStringList readSnapshot(const QString &path);
void writeSnapshot(const QString &path, const QStringList &snapshot);
