#include "editorpendingfiles.h"

#include "attachlistitem.h"
#include "dberror.h"
#include "notehistory.h"
#include "pendingrecovery.h"

#include <QFile>
#include <QTreeWidget>

EditorPendingFiles::EditorPendingFiles(TDBDataModule &database, const QString &pendingFolder, const QString &dataFolder)
    : m_database(database)
    , m_dataFolder(dataFolder)
    , m_work(pendingFolder)
{
}

QString EditorPendingFiles::relative(const QString &path) const
{
    QString relativePath = path;
    relativePath.remove(m_dataFolder, Qt::CaseInsensitive);
    return relativePath;
}

void EditorPendingFiles::addingCopy(const QString &copyPath)
{
    PendingEntry entry = m_work.entry();
    entry.files << relative(copyPath);
    m_work.record(entry);
}

void EditorPendingFiles::setSavingNoteFile(const QString &notePath, bool newNote)
{
    m_savingNoteFile = notePath.isEmpty() ? QString() : relative(notePath);
    m_savingNewNote = newNote && !notePath.isEmpty();
    m_written = false;
    m_textHash.clear();
}

void EditorPendingFiles::setSavingStoredNote(int noteId, bool refile, bool retitle)
{
    m_storedNoteId = noteId;
    m_refile = refile;
    m_retitle = retitle;
}

void EditorPendingFiles::writingNoteText(const QByteArray &text)
{
    if (m_storedNoteId <= 0 || m_savingNoteFile.isEmpty())
        return;
    m_textHash = versionHash(text);
    PendingEntry entry = m_work.entry();
    entry.note.textHash = m_textHash;
    m_work.record(entry);
}

void EditorPendingFiles::noteFileWritten()
{
    if (m_storedNoteId <= 0 || m_savingNoteFile.isEmpty())
        return;
    m_written = true;
    PendingEntry entry = m_work.entry();
    entry.note.written = true;
    m_work.record(entry);
}

void EditorPendingFiles::update(const QTreeWidget *attachList, const QString &title, const QString &catalogText)
{
    PendingEntry entry;
    if (!m_savingNoteFile.isEmpty()) {
        // The rewrite that makes the note's addresses relative goes through this file.
        entry.files << m_savingNoteFile + QStringLiteral(".saving");
    }
    if (m_savingNewNote || (m_storedNoteId > 0 && !m_savingNoteFile.isEmpty())) {
        entry.note.file = m_savingNoteFile;
        entry.note.title = title;
        entry.note.catalogText = catalogText;
    }
    if (!m_savingNewNote && m_storedNoteId > 0 && !m_savingNoteFile.isEmpty()) {
        entry.note.noteId = m_storedNoteId;
        entry.note.refile = m_refile;
        entry.note.retitle = m_retitle;
        entry.note.written = m_written;
        entry.note.textHash = m_textHash;
    }
    for (int i = 0; i < attachList->topLevelItemCount(); ++i) {
        const AttachListRecord &record = static_cast<const AttachListItem *>(attachList->topLevelItem(i))->record;
        if (record.attid == 0)
            entry.note.attachments << record.path + record.attname;
    }
    if (entry.files.isEmpty() && entry.note.file.isEmpty() && entry.note.attachments.isEmpty())
        m_work.finish();
    else
        m_work.record(entry);
}

void EditorPendingFiles::allStored()
{
    m_savingNoteFile.clear();
    m_savingNewNote = false;
    m_storedNoteId = 0;
    m_written = false;
    m_textHash.clear();
    m_work.finish();
}

void EditorPendingFiles::discard()
{
    if (!m_work.isRecorded())
        return;
    const PendingEntry entry = m_work.entry();
    QStringList files = entry.files + entry.note.attachments;
    if (!entry.note.file.isEmpty())
        files << entry.note.file;
    try {
        for (const QString &file : std::as_const(files)) {
            if (!fileHasRow(m_database, file))
                QFile::remove(m_dataFolder + file);
        }
        m_work.finish();
    } catch (const DbError &) {
        // The entry stays: the next start removes what has no row.
    }
}
