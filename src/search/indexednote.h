#pragma once

#include <QString>
#include <QStringList>

// What the search index keeps about one note besides its words: enough to list
// a hit without the database, and to tell whether the note changed since it
// was indexed.
struct IndexedNote
{
    int noteId = 0;
    QString title;
    QString catalogPath;
    QString fileName; // relative to the data folder
    QStringList attachmentNames;
    qint64 fileSize = -1;     // -1: the file was missing
    qint64 fileModified = -1; // milliseconds since the epoch

    bool operator==(const IndexedNote &other) const = default;

    QByteArray toData() const;
    static IndexedNote fromData(const QByteArray &data);
};
