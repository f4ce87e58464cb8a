#pragma once

#include "dberror.h"
#include "tagrecord.h"

#include <QList>
#include <optional>

class TDBDataModule;

// The catalog is deeper than any stored path can describe: a path holds at most
// 4,000 characters, so at most 4,001 levels of (empty) names.
inline constexpr int MaxCatalogDepth = 4001;

// The parent links of the catalog run in a circle, or deeper than any catalog
// can be. Nothing of the operation that met it is stored.
class CatalogLoopError : public DbError
{
public:
    explicit CatalogLoopError(int tagid);

    int tagid() const { return m_tagid; }

private:
    int m_tagid;
};

// A tags row, when there is one.
std::optional<TagRecord> readTagRow(TDBDataModule &database, int tagid);

// The node and every node above it, read from the rows: tagid first, its
// top-level node last. A missing row ends the chain (the way up is gone). A
// loop in the parent links, or a chain deeper than MaxCatalogDepth, throws
// CatalogLoopError.
QList<int> ancestorChain(TDBDataModule &database, int tagid);

// Adds delta to the stored note count of the node and of every node above it,
// each relative to its row, and marks them changed. Call inside a transaction.
void shiftNoteCounts(TDBDataModule &database, int tagid, int delta);

// One node below a node, with how far below it sits (1 for a child).
struct SubtreeRow
{
    TagRecord record;
    int depthBelow = 0;
};

// The rows of every node below the node, parents before their children, each
// level in tagid order; loops throw CatalogLoopError.
QList<SubtreeRow> rowsBelow(TDBDataModule &database, int tagid);
