#pragma once

#include "notetitles.h"

#include <QHash>
#include <QString>

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

    // For every node with matching notes, how many of its own notes match.
    QHash<int, int> count(const QString &searchText);

    // Whether the counts come from memory now.
    bool titlesInMemory() const { return m_titles.has_value(); }

private:
    void readTitles();

    TDBDataModule &m_database;
    std::optional<NoteTitles> m_titles;
};
