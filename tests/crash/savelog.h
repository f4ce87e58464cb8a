#pragma once

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class TDBDataModule;

// What a note holds after a save: what the crash test expects to find of it
// after every later kill, until a later save of it or its deletion.
struct NoteState
{
    struct Attachment
    {
        int id = 0;
        QString file; // relative to the data folder
        qint64 size = -1;
        QString hash;
    };

    int noteId = 0;
    QString title;   // as stored
    QString catalog; // as typed, compared as the catalog reads typed paths
    QString file;    // relative to the data folder
    QString hash;    // of the note file
    QList<Attachment> attachments;
    QMap<QString, QString> pictures; // relative to the data folder -> hash
};

// A save or deletion the driver began: what it will leave when it is done.
struct BegunWork
{
    QString work; // unique over all runs
    enum Kind { New, Again, Delete, Restore, Empty } kind = New;
    int noteId = 0; // Again, Delete (into the trash) and Restore (out of it)
    QString title;  // New and Again: the title as it will be stored
    QString catalog;
    QString marker; // New and Again: a text the saved note file holds
};

// The crash test's record of saves and deletions, one JSON object a line in a
// file that both the driver and the check append to. The driver records each
// piece of work before it begins and once it returned success; the check
// records what a piece of work cut short by a kill turned out to have left.
class SaveLog
{
public:
    explicit SaveLog(QString path);

    // Each line is flushed to the disk before these return.
    void begun(const BegunWork &work);
    void saved(const QString &work, const NoteState &state);
    void deleted(const QString &work, int noteId);
    // The work left nothing: the folder is as it was before it.
    void undone(const QString &work);

    // Read back: the notes as their last recorded saves left them, the last
    // state of notes deleted since, and the work begun but not recorded as done.
    struct Contents
    {
        QMap<int, NoteState> notes;
        QMap<int, NoteState> deletedNotes;
        std::optional<BegunWork> unfinished;
    };
    Contents read() const;

private:
    void append(const QByteArray &line);

    QString m_path;
};

// The hash the record keeps of a file; empty when it cannot be read.
QString fileHash(const QString &path);
// The pictures inside the data folder that a note file names, relative to the
// data folder (ending with "/").
QStringList picturesNamed(const QString &noteFile, const QString &dataFolder);
// A note file's hash and its pictures' (noteId, title, catalog, file and
// attachments are the caller's).
void readNoteFiles(NoteState &state, const QString &dataFolder);
// The notes as the rows and files hold them now, read from the rows once.
class StoredNotes
{
public:
    StoredNotes(TDBDataModule &database, QString dataFolder);

    QList<int> ids() const { return m_notes.keys(); }
    // With its files' hashes read now; nothing when the note has no row.
    std::optional<NoteState> note(int noteId) const;
    // Whether a note row or an attachment row names the file (relative to the data folder).
    bool holdsFile(const QString &file) const { return m_files.contains(file); }
    // Attachment rows whose note has no row.
    const QList<int> &strayAttachments() const { return m_strayAttachments; }

private:
    QString m_dataFolder;
    QMap<int, NoteState> m_notes; // rows only
    QSet<QString> m_files;
    QList<int> m_strayAttachments;
};
