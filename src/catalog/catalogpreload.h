#pragma once

#include "notetitles.h"
#include "tagrecord.h"

#include <QList>
#include <QString>

#include <atomic>
#include <future>
#include <optional>
#include <thread>

// Reads the catalog rows and then the note titles on a thread of its own, over
// a connection of its own, while the windows come up: the tree is shown as
// soon as the windows are, and a large catalog's titles never hold up the start.
class CatalogPreload
{
public:
    // Starts reading at once. Start it after the program's own connection has
    // brought the file up to date.
    explicit CatalogPreload(const QString &databasePath);
    // Stops reading the titles if it has not finished, and waits for the thread.
    ~CatalogPreload();
    CatalogPreload(const CatalogPreload &) = delete;
    CatalogPreload &operator=(const CatalogPreload &) = delete;

    // Waits for the rows of every node, in the order the engine gave them.
    // Throws DbError when they could not be read; answers them only once.
    QList<TagRecord> takeTagRows();
    // The titles once they are read (answered only once); nothing while they
    // are still being read or when they could not be read.
    std::optional<NoteTitles> takeTitlesIfRead();
    // Whether the titles are still being read.
    bool readingTitles() const;

private:
    void read(const QString &databasePath);

    std::promise<QList<TagRecord>> m_tagRows;
    std::future<QList<TagRecord>> m_tagRowsRead;
    std::promise<std::optional<NoteTitles>> m_titles;
    std::future<std::optional<NoteTitles>> m_titlesRead;
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // last: it starts once everything above exists
};
