#pragma once

#include "tagrecord.h"

#include <QHash>
#include <QList>
#include <QStringList>

// The path of every catalog row, for the catalog field's suggestions: taken
// from the rows of a full load, then kept current from the rows each refresh
// reads, so that a save does not read every path again.
class CatalogPathList
{
public:
    // In the rows' order.
    void reset(const QList<TagRecord> &rows);
    // A row read again: its path changes in place; a row not yet listed comes last.
    void update(const TagRecord &row);
    // A row that is gone.
    void remove(int tagid);

    const QStringList &paths() const { return m_paths; }

private:
    QStringList m_paths;
    QList<int> m_tagids;               // beside m_paths
    QHash<int, qsizetype> m_positions; // tagid -> index into both
};
