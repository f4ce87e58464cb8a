#pragma once

#include "trashmove.h"

#include <QString>
#include <QStringList>

// A note that was being saved for the first time: what storing it takes.
struct PendingNote
{
    QString file; // the note file, relative to the data folder
    QString title;
    QString catalogText;
    QStringList attachments; // its attachment copies, relative to the data folder
    // A stored note saved again: its id, what its row takes, and whether its
    // new text is in its file already.
    int noteId = 0;
    bool refile = false;
    bool retitle = false;
    bool written = false;
    // SHA-256 of the new text in hexadecimal, recorded before it is written: a
    // file that has it holds the new text even when the run ended before
    // `written` could be recorded.
    QString textHash = QString();
};

// What a piece of work has put into the data folder, or is about to take out of
// it, while the rows that own those files are not committed yet.
struct PendingEntry
{
    QStringList files; // relative to the data folder
    PendingNote note;  // file empty when no new note is being saved
    TrashMove trash{}; // a note's files on their way into the trash or out of it
};

// The record of one piece of unfinished file work, kept as a small file in the
// pending folder beside the database while the work runs. An entry still there
// at start-up belongs to work that was interrupted: recovery stores or removes
// the files it names, so that no file in the data folder lacks its row.
class PendingWork
{
public:
    // folder: the pending folder, ending with "/".
    explicit PendingWork(QString folder);
    ~PendingWork() = default;
    PendingWork(const PendingWork &) = delete;
    PendingWork &operator=(const PendingWork &) = delete;

    // Writes (or rewrites) the entry before the work touches the files. Throws
    // std::runtime_error when it cannot be written: the work must not go on.
    void record(const PendingEntry &entry);
    // The rows are committed (or the files are gone): the entry goes.
    void finish();
    bool isRecorded() const { return !m_path.isEmpty(); }
    const PendingEntry &entry() const { return m_entry; }

    // The entries left in a pending folder, oldest first, and what one holds.
    static QStringList entriesIn(const QString &folder);
    static PendingEntry read(const QString &entryPath);

private:
    QString m_folder;
    QString m_path;
    PendingEntry m_entry;
};
