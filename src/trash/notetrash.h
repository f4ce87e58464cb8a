#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

struct AppContext;
class TDBDataModule;

// A note in the trash, as its trashed row keeps it.
struct TrashedNote
{
    int noteId = 0;
    QString title;
    QString catalogPath; // where it was filed
    QString filename;    // relative to the data folder, as its note row had it
    QDateTime created;
    QDateTime trashed;
};

// Notes taken out of the catalog without being destroyed. A trashed note's row
// moves from note to trashednote (with the catalog path it had), its
// attachments' rows to trashedattachment, and its file, pictures and
// attachment copies from the data folder to a folder of its own in the trash
// folder beside the database. Its earlier versions stay where they are, kept
// by its id, which no new note takes. Every change is recorded as pending work
// before a file moves, so that a run cut short ends on one side or the other.
// Database failures throw DbError after rolling back and putting the files
// back; a file that cannot be moved throws std::runtime_error.
class NoteTrash
{
public:
    enum class Step {
        FilesMoved,  // the files are on the new side, the rows not yet
        RowsWritten, // about to commit
        Committed,
        Destroyed, // a trashed note's rows are gone for good, its files not yet
    };

    NoteTrash(TDBDataModule &database, const AppContext &context);

    // Whether the database has the trash's tables (an older file that could
    // not be given them has not: notes are deleted for good then).
    bool isAvailable() const;

    // Moves a stored note to the trash; its node and every node above it lose
    // it. Answers false, changing nothing, for a note that is gone.
    bool trash(int noteId, const QDateTime &now = QDateTime::currentDateTime());
    // Files a trashed note again under the catalog path it had, making the
    // nodes that are gone; answers the node's id, 0 for a note not in the trash.
    int restore(int noteId);
    // Destroys a trashed note for good: its rows, its files, its history.
    bool destroy(int noteId);
    // Destroys every trashed note; answers how many.
    int empty();
    // At start: destroys the notes trashed more than trashDays days before now
    // (0 keeps them for ever) and removes what a destruction cut short left in
    // the trash folder; answers how many notes were destroyed.
    int settle(int trashDays, const QDateTime &now = QDateTime::currentDateTime());

    // The trashed notes, the latest trashed first.
    QList<TrashedNote> notes();
    int count();
    // The note's file while it is in the trash.
    QString fileOf(const TrashedNote &note) const;
    // The folder that holds the files of a trashed note, ending with "/".
    QString folderOf(int noteId) const;

    // Told of each step of a trash, restore or destruction as it is done (the crash test).
    std::function<void(Step)> observer;

private:
    void passed(Step step);

    TDBDataModule &m_database;
    const AppContext &m_context;
};
