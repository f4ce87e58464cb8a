#pragma once

#include "notetitles.h"

#include <QHash>
#include <QString>

#include <optional>

class CatalogPreload;
class TDBDataModule;

// The counts of a title search, node by node: from the note titles kept in
// memory, which follow every note the database module marks as changed, and
// from the engine for a text the memory does not take or while the titles
// read at start-up are still on their way.
class TitleSearchCounts
{
public:
    explicit TitleSearchCounts(TDBDataModule &database);

    // The titles are taken from there once read; without it, or when it could not
    // read them, they are read at the first search.
    void setPreload(CatalogPreload *preload) { m_preload = preload; }

    // For every node with matching notes, how many of its own notes match.
    QHash<int, int> count(const QString &searchText);

    // Whether the counts come from memory now.
    bool titlesInMemory() const { return m_titles.has_value(); }

private:
    void takeTitles();

    TDBDataModule &m_database;
    CatalogPreload *m_preload = nullptr;
    std::optional<NoteTitles> m_titles;
};
