#pragma once

#include "attachlistrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class TDBDataModule;

// What one save of a note stores in the database.
struct NoteFilingRequest
{
    int noteId = 0;                      // the stored note's id; 0 for a new note
    QString title;                       // as typed: a new note's is trimmed; every title is cut to the column
    QString catalogText;                 // the catalog field, "untagged" when the user left it empty
    bool refile = true;                  // file the note under catalogText (a new note always is)
    bool retitle = true;                 // a stored note's row takes the title
    QString relativeFile;                // the note's file, relative to the data folder
    QString source;                      // the address a new note was captured from, or empty
    QList<AttachListRecord> attachments; // attachments not stored yet, stored with the note
    QDateTime created;                   // a new note's creation time; invalid for now
    // Further rows of the same save, stored in its transaction (given the note's id).
    std::function<void(TDBDataModule &database, int noteId)> alsoStore;
};

struct NoteFilingResult
{
    int noteId = 0;
    int tagId = 0;
    QList<int> attachmentIds; // one per pending attachment, in order
};

// Files a note in one transaction: the catalog filing (the note leaves the node
// its row names and joins the typed path, counts relative to the rows), the note
// row, and the pending attachment rows. Either all of it is stored or nothing.
// Widget-free, so that saves can be tested and crash-tested without a window.
class NoteFiling
{
public:
    // The database steps of a save, for observers that want to stop the program
    // at each (the crash test).
    enum class Step {
        Begun,
        PreviousFilingReleased,
        CatalogResolved,
        NoteRowWritten,
        AttachmentRowsWritten,
        Committing,
        Committed,
    };

    explicit NoteFiling(TDBDataModule &database);

    // Stores the note; throws DbError (CatalogLoopError for looping parent links)
    // after rolling everything back. A stored note whose row is gone is stored
    // again as a new one.
    NoteFilingResult file(const NoteFilingRequest &request);

    // Told of each step as it is done.
    std::function<void(Step)> observer;

private:
    void passed(Step step);

    TDBDataModule &m_database;
};
