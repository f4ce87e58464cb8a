#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ExportFiles;
class TDBDataModule;

// What to export: one note, a catalog node with everything below it, or the
// whole catalog.
struct ExportScope
{
    enum Kind { Note, Node, Catalog };
    Kind kind = Catalog;
    int id = 0; // the noteid or tagid; unused for the whole catalog

    static ExportScope note(int noteId) { return {Note, noteId}; }
    static ExportScope node(int tagId) { return {Node, tagId}; }
    static ExportScope catalog() { return {Catalog, 0}; }
};

// The texts an export writes into its pages, in the interface language.
struct ExportTexts
{
    QString catalogTitle = QStringLiteral("Clipnest notes");
    QString attachments = QStringLiteral("Attachments");
    QString missingNote = QStringLiteral("(the note's file is missing)");
    QString source = QStringLiteral("Source:"); // before the address a note was captured from
};

struct ExportResult
{
    QString indexFile;    // the index.html written
    int notes = 0;        // note pages written
    int pictures = 0;     // local pictures and linked files copied
    int attachments = 0;  // attachment files copied
    QStringList problems; // files that were missing; the export went on without them
};

// Writes notes as standalone web pages into a folder: every note as an HTML
// file titled with its note title (naming the page it was captured from, when
// known, as canonical and on a line at its end), beside copies of its local pictures and its
// attachments (listed at the end of the page), and an index.html that mirrors
// the catalog tree with a link to each note. Opened from the folder, offline,
// every page and picture shows in any browser; scripts kept from captured pages
// never run there.
class NoteExporter
{
public:
    // dataFolder ends with "/".
    NoteExporter(TDBDataModule &database, QString dataFolder);

    // The number of notes the scope holds.
    int countNotes(const ExportScope &scope);

    // Exports into targetFolder, which is created; files already there of the
    // same names are replaced. progress(done, total) is called after each note;
    // answering false stops the export. Throws std::runtime_error when a file
    // cannot be written or the scope does not exist, after removing what the
    // export had created.
    ExportResult exportTo(const ExportScope &scope, const QString &targetFolder, const ExportTexts &texts = {},
                          const std::function<bool(int done, int total)> &progress = {});

    // A folder name for the scope's export, made of the node's or note's name.
    QString suggestedFolderName(const ExportScope &scope, const ExportTexts &texts = {});

private:
    struct Node;
    struct NoteRow;
    struct Catalog;
    Catalog loadCatalog();
    ExportResult writeExport(const ExportScope &scope, const QString &target, const ExportTexts &texts,
                             const std::function<bool(int, int)> &progress, ExportFiles &files);
    QList<int> rootsOf(const ExportScope &scope, const Catalog &catalog);

    TDBDataModule &m_database;
    QString m_dataFolder;
};
