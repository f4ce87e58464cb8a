#include "indexpass.h"

#include "dbdatamodule.h"
#include "noterows.h"
#include "notetext.h"
#include "searchindex.h"

#include <QElapsedTimer>
#include <QSet>

namespace {

// Small batches keep the index's lock short for the saves that come meanwhile.
// Each commit merges what was added into every word's list, so commits are
// rare: every few thousand notes, or every minute, keep the work done.
constexpr int BatchSize = 32;
constexpr int CommitEvery = 5000;
constexpr qint64 CommitInterval = 60000;
constexpr int CompactAfter = 1000;

} // namespace

IndexPass::IndexPass(SearchIndex &index, QString databasePath, QString dataFolder)
    : m_index(index)
    , m_databasePath(std::move(databasePath))
    , m_dataFolder(std::move(dataFolder))
{
}

void IndexPass::run(const std::function<void(int, int)> &progress, const std::atomic_bool &cancelled)
{
    m_index.beginPass();
    QList<IndexedNote> notes;
    {
        // Held only while the rows are read.
        TDBDataModule database(m_databasePath);
        notes = readAllIndexedNotes(database);
    }
    for (IndexedNote &note : notes)
        stampNoteFile(note, m_dataFolder);

    QHash<int, IndexedNote> indexed = m_index.indexedNotes();
    struct Change
    {
        const IndexedNote *note;
        bool inIndex;
    };
    QList<Change> changed;
    for (const IndexedNote &note : std::as_const(notes)) {
        const auto found = indexed.constFind(note.noteId);
        if (found == indexed.constEnd()) {
            changed.append({&note, false});
        } else {
            if (!(*found == note))
                changed.append({&note, true});
            indexed.erase(found);
        }
    }
    m_toIndex = int(changed.size());
    m_index.removeFromPass(indexed.keys());

    QElapsedTimer sinceCommit;
    sinceCommit.start();
    QList<SearchIndex::PassDocument> batch;
    for (qsizetype i = 0; i < changed.size() && !cancelled; ++i) {
        const IndexedNote &note = *changed[i].note;
        batch.append({note, note.fileSize >= 0 ? visibleTextOfFile(m_dataFolder + note.fileName) : QString(),
                      changed[i].inIndex});
        if (batch.size() == BatchSize || i + 1 == changed.size()) {
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
    m_index.commit();
    if (cancelled)
        return;
    m_index.markComplete();
    // Many notes indexed at once leave half-empty blocks behind.
    if (m_toIndex >= CompactAfter)
        m_index.compact();
}
