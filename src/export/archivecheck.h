#pragma once

#include <QList>
#include <QString>

// An entry a backup archive was written with: its name and its size in bytes
// (0 for a folder).
struct ArchivedEntry
{
    QString name;
    qint64 size = 0;
};

// Reads a written gzip-compressed tar archive back from the disk, as a
// restore would, and checks that it holds exactly the entries given, in that
// order and of those sizes, and that its gzip stream ends with a trailer whose
// length and checksum match what it holds. Throws std::runtime_error saying
// what is wrong.
void verifyArchive(const QString &path, const QList<ArchivedEntry> &entries);
