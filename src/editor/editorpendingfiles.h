#pragma once

#include "pendingwork.h"

#include <QString>

class QTreeWidget;
class TDBDataModule;

// The files an editor has put into the data folder that no row holds yet: the
// copies of attachments not stored, and a new note's file while its first save
// runs. They are kept recorded as a PendingWork entry, so that a run cut short
// leaves no file without its row: the next start stores or removes them.
class EditorPendingFiles
{
public:
    // dataFolder ends with "/".
    EditorPendingFiles(TDBDataModule &database, const QString &pendingFolder, const QString &dataFolder);

    // Before a copy is made: the copy (full path) is recorded with what is pending already.
    void addingCopy(const QString &copyPath);
    // The note's file (full path) is about to be written, a new note's for the
    // first time; empty once the save is over. The file's temporary sibling is
    // recorded too.
    void setSavingNoteFile(const QString &notePath, bool newNote);
    // A stored note is being saved again (noteId 0: none): what its row takes
    // once its file is written, so that a run cut short after the write files
    // it so at the next start.
    void setSavingStoredNote(int noteId, bool refile, bool retitle);
    // The new text of a stored note is about to replace its file: its hash is
    // recorded at once, so that the next start knows the text when the run ends
    // between the replacement and noteFileWritten.
    void writingNoteText(const QByteArray &text);
    // The note's new text is in its file; recorded at once.
    void noteFileWritten();
    // Records what is pending now: the attachments of the list not stored, and the
    // note file being saved with its title and catalog.
    void update(const QTreeWidget *attachList, const QString &title, const QString &catalogText);
    // Everything has its row: nothing is pending.
    void allStored();
    // The editor goes without saving: every recorded file that no row holds is removed.
    void discard();

private:
    QString relative(const QString &path) const;

    TDBDataModule &m_database;
    QString m_dataFolder;
    PendingWork m_work;
    QString m_savingNoteFile; // relative to the data folder
    bool m_savingNewNote = false;
    int m_storedNoteId = 0;
    bool m_refile = false;
    bool m_retitle = false;
    bool m_written = false;
    QString m_textHash;
};
