#pragma once

#include <QDateTime>
#include <QString>
#include <QTreeWidgetItem>

class TMainForm;

// The record of each note list item.
struct NoteListRecord
{
    int noteid = 0;
    int tagid = 0;
    QString title;
    QDateTime createdate;
    QString filename; // relative to the data folder
};

// A note list item; it owns its record.
class NoteListItem : public QTreeWidgetItem
{
public:
    explicit NoteListItem(NoteListRecord noteRecord)
        : record(std::move(noteRecord))
    {
    }

    NoteListRecord record;
};

// The note list of the explorer: the notes of the listed node, and the note
// shown with its attachments.
class NoteListPane
{
public:
    explicit NoteListPane(TMainForm &explorer);

    // Lists the notes of the selected node.
    void ShowTagNotes();
    // Shows the selected note and lists its attachments.
    void ShowNote();
    // Selects that node and that note and shows them.
    void SelectTagAndNote(int noteId, int tagId);
    // Makes item the list's current item without showing it.
    void setCurrentNoteQuietly(QTreeWidgetItem *item);
    void showBlank();

    // The list is being filled or emptied by the program, not by the user.
    bool listing() const { return m_listing; }

    // The record of a note item, or null.
    static const NoteListRecord *noteRecord(const QTreeWidgetItem *item);
    // The selected note's record, or null when no note is selected.
    const NoteListRecord *selectedNote() const;
    // The catalog path of a note's node as the tree shows it.
    QString catalogPathOf(int tagId) const;

private:
    TMainForm &m_explorer;
    bool m_listing = false;
};
