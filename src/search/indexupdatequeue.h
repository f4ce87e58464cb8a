#pragma once

#include "indexednote.h"
#include "noterows.h"

#include <QThreadPool>

#include <functional>

class SearchIndex;

// Index updates that follow the user's changes, made one after another on a
// thread of their own: indexing a large note takes longer than a save may
// wait. Searches in this process call waitForDone() first, so that they see
// every change made before them.
class IndexUpdateQueue
{
public:
    // dataFolder ends with "/".
    IndexUpdateQueue(SearchIndex &index, QString dataFolder);
    // Finishes what is queued.
    ~IndexUpdateQueue();
    IndexUpdateQueue(const IndexUpdateQueue &) = delete;
    IndexUpdateQueue &operator=(const IndexUpdateQueue &) = delete;

    // Told of each failure, on the queue's thread.
    std::function<void(const QString &message)> failed;

    // The note's file is read on the queue's thread.
    void storeNote(const IndexedNote &note);
    void removeNote(int noteId);
    void changeCatalogPaths(const QList<NoteCatalogPath> &paths);

    void waitForDone();

private:
    void run(std::function<void()> update);

    SearchIndex &m_index;
    QString m_dataFolder;
    QThreadPool m_thread;
};
