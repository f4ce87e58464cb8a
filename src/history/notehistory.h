#pragma once

#include "settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One earlier version of a note: when its text was saved, the hash that names
// its stored copy, and its size.
struct NoteVersion
{
    QDateTime time;
    QString hash; // SHA-256 of the text, in hexadecimal
    qint64 size = 0;
};

// The earlier versions of one note, in data/history/<noteid>/: each distinct
// text once, compressed with zlib and named by its hash ("<hash>.z"), and an
// index of the versions ("versions.json") that is written whole. A stored copy
// is complete on the disk before the index names it, so an index entry always
// has its copy; a copy that no entry names (a save cut short) goes at the next
// prune.
class NoteHistory
{
public:
    static constexpr const char IndexName[] = "versions.json";

    // dataFolder ends with "/".
    NoteHistory(const QString &dataFolder, int noteId);

    // data/history/<noteid>, without a trailing "/".
    static QString folderOf(const QString &dataFolder, int noteId);
    // data/history/, the folder of every note's versions.
    static QString historyFolder(const QString &dataFolder);

    QString folder() const { return m_folder; }

    // Newest first; empty when there are none or the index cannot be read.
    QList<NoteVersion> versions() const;
    // The version's text; throws std::runtime_error when its copy is missing or damaged.
    QByteArray text(const NoteVersion &version) const;
    // The file that holds a text's compressed copy.
    QString copyPath(const QString &hash) const;

    // Keeps the text as the version saved at the time. Answers an empty text,
    // or why it could not be kept (nothing of it is named then).
    QString keep(const QByteArray &text, const QDateTime &time);

    // Keeps the text of the file as the version saved at the time without
    // reading or writing it: a second name for the file, beside the versions,
    // which settle() makes a version as keep() would. The file must never be
    // changed in place afterwards, only replaced (as replaceNoteFile does).
    // Answers false when the file cannot be linked (the folder is on another
    // file system, or the name is taken by another file); keep() is the way then.
    bool keepByLink(const QString &filePath, const QDateTime &time);
    // Makes every linked text a version, then drops its link. Reading the
    // versions, keeping and pruning settle first. Answers an empty text, or why
    // some could not be settled (their links stay for the next try).
    QString settle() const;

    // Drops what the keeping rule no longer keeps at the time now, and every
    // file of the folder that the index does not name; an emptied history goes
    // whole. Answers the number of versions dropped.
    int prune(const HistoryKeeping &keeping, const QDateTime &now);

private:
    // The versions the index names; nothing when it is there but cannot be read.
    std::optional<QList<NoteVersion>> readIndex() const;
    QString writeIndex(const QList<NoteVersion> &versions) const;
    // The text's compressed copy, whole on the disk, unless it is there already.
    QString storeCopy(const QString &hash, const QByteArray &text) const;

    QString m_folder;
};

// SHA-256 of the text in hexadecimal, as versions are named.
QString versionHash(const QByteArray &text);

// Whether a file of a history folder is a text linked by keepByLink, waiting to
// be settled.
bool isVersionLink(const QString &fileName);

// Removes every version of a note, for a note that is destroyed for good: the
// index first, so that a removal cut short leaves no entry without its copy.
// Answers whether nothing of it is left.
bool forgetNoteHistory(const QString &dataFolder, int noteId);

// The notes that have a history folder, by id.
QList<int> notesWithHistory(const QString &dataFolder);
