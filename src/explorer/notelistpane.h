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

    // Lists the notes of the selected node. A request made while an earlier one
    // waits for the view supersedes it: the list is filled once, by the last.
    void ShowTagNotes();
    // Shows the selected note and lists its attachments.
    void ShowNote();
    // Selects that node and that note; the note's page is shown once the caller
    // has returned to the event loop.
    void SelectTagAndNote(int noteId, int tagId);
    // Makes item the list's current item without showing it.
    void setCurrentNoteQuietly(QTreeWidgetItem *item);
    void showBlank();

    // The list is being filled or emptied by the program, not by the user.
    bool listing() const { return m_listing; }
    // The node whose notes the list holds (-1 for none), and the search text
    // they were filtered by.
    int listedTagId() const { return m_listedTagId; }
    const QString &listedFilter() const { return m_listedFilter; }
    // Empties both lists and the view: the listed node is gone.
    void clearListing();
    // The list holds no node's notes any more (it shows search hits); a
    // listing under way stops.
    void forgetListing();

    // The record of a note item, or null.
    static const NoteListRecord *noteRecord(const QTreeWidgetItem *item);
    // The selected note's record, or null when no note is selected.
    const NoteListRecord *selectedNote() const;
    // The catalog path of a note's node as the tree shows it.
    QString catalogPathOf(int tagId) const;

private:
    TMainForm &m_explorer;
    bool m_listing = false;
    int m_listRequest = 0; // counts listing requests, so that a superseded one stops
    int m_listedTagId = -1;
    QString m_listedFilter;
};
