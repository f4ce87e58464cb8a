#pragma once

#include "notedocument.h"
#include "notefilestore.h"
#include "resourcefiles.h"

#include <QDateTime>
#include <QString>

#include <functional>

class TDBDataModule;

// What filing an imported note gave.
struct ImportedNoteFiled
{
    int noteId = 0;
    int tagId = 0;
    QString relativeFile; // from the data folder
};

// One imported note on its way into the store, as a save stores a note: its
// place in the folder of the day it was created on, the copies of its
// pictures and attachments there, then the note file written whole and its
// rows filed in one transaction. What was copied goes again when the note
// cannot be stored, so that a note is either stored whole or not at all.
class ImportedNoteWriter
{
public:
    // Throws std::runtime_error when the day folder cannot be made.
    ImportedNoteWriter(const QString &dataFolder, const QDateTime &created);
    ~ImportedNoteWriter();
    ImportedNoteWriter(const ImportedNoteWriter &) = delete;
    ImportedNoteWriter &operator=(const ImportedNoteWriter &) = delete;

    ResourceFiles &resources() { return m_resources; }

    struct Filing
    {
        QString catalogPath; // "Imported,…"
        QString source;      // the address the note came from, or empty
        // Further rows stored in the note's transaction.
        std::function<void(TDBDataModule &database, int noteId)> alsoStore;
    };
    // Writes the note file and files its rows; throws std::runtime_error or
    // DbError, having removed the note's files again.
    ImportedNoteFiled file(TDBDataModule &database, const NoteBody &body, const Filing &filing);

private:
    QDateTime m_created;
    NoteLocation m_location;
    ResourceFiles m_resources;
    bool m_filed = false;
};
