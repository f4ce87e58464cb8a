#pragma once

#include "indexednote.h"
#include "noterows.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace Xapian {
class Error;
}

// A failure of the search index, with the engine's own description.
class SearchIndexError : public std::runtime_error
{
public:
    enum Kind {
        Failed,
        Locked,  // another process is writing the index
        Damaged, // the index is corrupt: it has been marked to be built anew
        NoRoom,  // the disk is nearly full: the index gave its space back
    };

    SearchIndexError(const QString &message, Kind kind = Failed)
        : std::runtime_error(message.toStdString())
        , m_message(message)
        , m_kind(kind)
    {
    }

    const QString &message() const { return m_message; }
    Kind kind() const { return m_kind; }
    bool locked() const { return m_kind == Locked; }

private:
    QString m_message;
    Kind m_kind;
};

// The full-text index of the notes, a Xapian database in its own folder. It
// is derived data: deleting it loses nothing, it is rebuilt from the note rows
// and files. Every method may be called from any thread; one lock keeps the
// writer to one caller at a time.
class SearchIndex
{
public:
    // folder: where the index lives, for example the program folder + "index".
    explicit SearchIndex(QString folder);
    ~SearchIndex();
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    const QString &folder() const { return m_folder; }

    // A damaged index is marked, wherever the damage shows (in this process or
    // another); the next open() builds it anew.
    static void markForRebuild(const QString &folder);
    static bool isMarkedForRebuild(const QString &folder);

    // Opens the index for writing. A missing index is created; one of another
    // format, one that cannot be read, one marked for rebuilding, or a plain
    // file in its place, is replaced by an empty one. Throws SearchIndexError
    // (locked() when another process writes it).
    void open();
    bool isOpen() const;
    void close();

    // A full pass over the notes has finished at least once, so the index holds
    // every note (as far as the changes since have reached it).
    bool isComplete() const;
    void markComplete();
    int noteCount() const;

    // Changes made as the user works, committed at once; SearchIndexError on failure.
    void storeNote(const IndexedNote &note, const QString &bodyText);
    void removeNote(int noteId);
    void changeCatalogPaths(const QList<NoteCatalogPath> &paths);

    // The background pass that brings the index up to date with the database.
    // Notes changed through the methods above after beginPass() are left alone
    // by it: the pass read them before those changes.
    void beginPass();
    // What the index keeps of those of the notes that it holds.
    QHash<int, IndexedNote> indexedNotes(const QList<int> &noteIds) const;
    // The id of every note the index holds for which kept answers false, in no
    // particular order.
    QList<int> indexedNoteIdsExcept(const std::function<bool(int)> &kept) const;
    struct PassDocument
    {
        IndexedNote note;
        QString bodyText;
        bool inIndex = true; // false: added without looking for an older copy, much faster
    };
    void storeFromPass(const QList<PassDocument> &documents);
    void removeFromPass(const QList<int> &noteIds);
    void commit();
    // Rewrites the index compactly (a full build leaves it about twice its
    // size), when the disk has room for the copy. Readers reopen it by its folder.
    void compact();

    // Notes come before the index: it stops growing while the disk holding it
    // has less than a margin free (100 MB, or 1% of a smaller disk). Throws
    // SearchIndexError of kind NoRoom then.
    void checkRoom() const;
    // Closes the index and removes it, giving its space back; the next open()
    // builds it anew.
    void discard();

private:
    struct Writer;
    void requireOpen() const;
    // Throws the engine's error as a SearchIndexError; a damaged index is marked.
    [[noreturn]] void fail(const Xapian::Error &error) const;

    QString m_folder;
    mutable std::mutex m_mutex;
    std::unique_ptr<Writer> m_writer;
    QSet<int> m_changedDuringPass;
};

// The engine's error as a SearchIndexError of its kind.
SearchIndexError searchIndexError(const Xapian::Error &error);
