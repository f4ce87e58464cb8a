#include "indexupdatequeue.h"

#include "notetext.h"
#include "searchindex.h"

IndexUpdateQueue::IndexUpdateQueue(SearchIndex &index, QString dataFolder)
    : m_index(index)
    , m_dataFolder(std::move(dataFolder))
{
    // One thread: the updates keep their order.
    m_thread.setMaxThreadCount(1);
    m_thread.setObjectName(QStringLiteral("IndexUpdates"));
}

IndexUpdateQueue::~IndexUpdateQueue()
{
    m_thread.waitForDone();
}

void IndexUpdateQueue::run(std::function<void()> update)
{
    m_thread.start([this, update = std::move(update)] {
        try {
            update();
        } catch (const SearchIndexError &error) {
            if (failed)
                failed(error.message());
        }
    });
}

void IndexUpdateQueue::storeNote(const IndexedNote &note)
{
    run([this, note] {
        m_index.storeNote(note, note.fileSize >= 0 ? visibleTextOfFile(m_dataFolder + note.fileName) : QString());
    });
}

void IndexUpdateQueue::removeNote(int noteId)
{
    run([this, noteId] { m_index.removeNote(noteId); });
}

void IndexUpdateQueue::changeCatalogPaths(const QList<NoteCatalogPath> &paths)
{
    run([this, paths] { m_index.changeCatalogPaths(paths); });
}

void IndexUpdateQueue::waitForDone()
{
    m_thread.waitForDone();
}
