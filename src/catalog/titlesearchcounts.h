#pragma once

#include "notetitles.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <future>
#include <optional>

class TDBDataModule;

// The counts of a title search, node by node: from the note titles kept in
// memory, read at the first search and following every note the database
// module marks as changed since, and from the engine for a text the memory
// does not take.
class TitleSearchCounts
{
public:
    explicit TitleSearchCounts(TDBDataModule &database);
    // Stops a read of the titles on its thread, if one is running.
    ~TitleSearchCounts();
    TitleSearchCounts(const TitleSearchCounts &) = delete;
    TitleSearchCounts &operator=(const TitleSearchCounts &) = delete;

    // Reads the titles on a thread of its own, with a connection of its own, so
    // that the first search does not wait for them. Notes changed meanwhile are
    // marked by the database module and read again at the first count.
    void readTitlesAside();

    // For every node with matching notes, how many of its own notes match.
    QHash<int, int> count(const QString &searchText);

    // Whether the counts come from memory now.
    bool titlesInMemory() const { return m_titles.has_value(); }

private:
    void readTitles();

    TDBDataModule &m_database;
    std::optional<NoteTitles> m_titles;
    std::future<std::optional<NoteTitles>> m_titlesAside;
    std::atomic_bool m_stopReadingAside = false;
};
