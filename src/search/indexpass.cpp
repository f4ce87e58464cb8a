#include "indexpass.h"

#include "dbdatamodule.h"
#include "noterows.h"
#include "notetext.h"
#include "searchindex.h"

#include <QElapsedTimer>

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>
#include <vector>

namespace {

// Small batches keep the index's lock short for the saves that come meanwhile.
// Each commit merges what was added into every word's list, so commits are
// rare: every few thousand notes, or every minute, keep the work done.
constexpr int BatchSize = 32;
constexpr int CommitEvery = 5000;
constexpr qint64 CommitInterval = 60000;
constexpr int CompactAfter = 1000;
// Notes read and compared at a time: enough to keep the queries few, few
// enough to keep memory small whatever the number of notes.
constexpr int SliceSize = 2000;
// Changed notes read again at a time, by their ids.
constexpr int ReadByIds = 128;

// Ascending ids as runs of consecutive ones: a million ids one by one take
// 4 MB, and new notes take the id after the highest, so runs are few.
class IdRuns
{
public:
    void append(int id)
    {
        if (!m_runs.empty() && qint64(m_runs.back().last) + 1 == id)
            m_runs.back().last = id;
        else
            m_runs.push_back({id, id});
    }
    bool contains(int id) const
    {
        auto after = std::upper_bound(m_runs.cbegin(), m_runs.cend(), id,
                                      [](int value, const Run &run) { return value < run.first; });
        return after != m_runs.cbegin() && std::prev(after)->last >= id;
    }

private:
    struct Run
    {
        int first;
        int last;
    };
    std::vector<Run> m_runs;
};

} // namespace

IndexPass::IndexPass(SearchIndex &index, QString databasePath, QString dataFolder)
    : m_index(index)
    , m_databasePath(std::move(databasePath))
    , m_dataFolder(std::move(dataFolder))
    , m_sliceSize(SliceSize)
{
}

void IndexPass::run(const std::function<void(int, int)> &progress, const std::atomic_bool &cancelled)
{
    try {
        runPass(progress, cancelled);
    } catch (const SearchIndexError &error) {
        // The notes come first: an index that would fill the disk gives its
        // space back and waits for room.
        if (error.kind() == SearchIndexError::NoRoom)
            m_index.discard();
        throw;
    }
}

void IndexPass::runPass(const std::function<void(int, int)> &progress, const std::atomic_bool &cancelled)
{
    m_index.beginPass();
    m_toIndex = 0;

    // First the notes are compared with the index a slice at a time, keeping
    // only the ids of those to index: a million notes never sit in memory at once.
    struct Change
    {
        int noteId;
        bool inIndex;
    };
    std::vector<Change> changed; // ascending, as the slices come
    IdRuns inDatabase;
    CatalogPathTable tagPaths;
    {
        TDBDataModule database(m_databasePath);
        tagPaths = readTagPaths(database);
        int after = std::numeric_limits<int>::min();
        while (!cancelled) {
            // Each slice in a short read of its own: a transaction held over the
            // whole pass would keep the database from cleaning up meanwhile.
            Transaction read(database);
            QList<IndexedNote> slice = readIndexedNotesAfter(database, tagPaths, after, m_sliceSize);
            read.commit();
            if (slice.isEmpty())
                break;
            after = slice.last().noteId;
            QList<int> ids;
            ids.reserve(slice.size());
            for (const IndexedNote &note : std::as_const(slice))
                ids << note.noteId;
            for (int id : std::as_const(ids))
                inDatabase.append(id);
            const QHash<int, IndexedNote> indexed = m_index.indexedNotes(ids);
            for (IndexedNote &note : slice) {
                stampNoteFile(note, m_dataFolder);
                const auto found = indexed.constFind(note.noteId);
                if (found == indexed.constEnd())
                    changed.push_back({note.noteId, false});
                else if (!(*found == note))
                    changed.push_back({note.noteId, true});
            }
        }
    }
    if (cancelled)
        return;
    QList<int> gone = m_index.indexedNoteIdsExcept([&](int noteId) { return inDatabase.contains(noteId); });
    m_index.removeFromPass(gone);
    gone = {};
    inDatabase = {};
    m_toIndex = int(changed.size());

    // Then the changed notes are read again, by their ids, and indexed.
    std::optional<TDBDataModule> database;
    if (!changed.empty())
        database.emplace(m_databasePath, TDBDataModule::Use::Reading);
    QElapsedTimer sinceCommit;
    sinceCommit.start();
    QList<SearchIndex::PassDocument> batch;
    size_t i = 0;
    const size_t readTogether = size_t(std::min(m_sliceSize, ReadByIds));
    while (i < changed.size() && !cancelled) {
        QList<int> ids;
        for (size_t k = i; k < changed.size() && k < i + readTogether; ++k)
            ids << changed[k].noteId;
        Transaction read(*database);
        const QList<IndexedNote> notes = readIndexedNotes(*database, tagPaths, ids);
        read.commit();
        qsizetype next = 0;
        for (const size_t end = i + size_t(ids.size()); i < end && !cancelled; ++i) {
            if (next < notes.size() && notes[next].noteId == changed[i].noteId) {
                IndexedNote note = notes[next++];
                stampNoteFile(note, m_dataFolder);
                const QString body = note.fileSize >= 0 ? visibleTextOfFile(m_dataFolder + note.fileName) : QString();
                batch.append({std::move(note), body, changed[i].inIndex});
            } else if (changed[i].inIndex) {
                // Deleted since it was compared.
                m_index.removeFromPass({changed[i].noteId});
            }
            if (batch.size() == BatchSize || i + 1 == changed.size()) {
                m_index.checkRoom();
                m_index.storeFromPass(batch);
                batch.clear();
                if ((i + 1) % CommitEvery < BatchSize || sinceCommit.elapsed() > CommitInterval) {
                    m_index.commit();
                    sinceCommit.restart();
                }
                if (progress)
                    progress(int(i + 1), m_toIndex);
            }
        }
    }
    m_index.commit();
    if (cancelled)
        return;
    m_index.markComplete();
    // Many notes indexed at once leave half-empty blocks behind.
    if (m_toIndex >= CompactAfter)
        m_index.compact();
}
