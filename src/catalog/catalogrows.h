#pragma once

#include "tagrecord.h"

#include <QHash>
#include <QList>
#include <QString>

class TDBDataModule;

// One node of the catalog forest as the tree shows it after a full load.
struct CatalogNode
{
    TagRecord record;
    int parentIndex = -1; // index into the forest, -1 at the top
};

// Reads the catalog level by level, siblings in tagid order. A row is kept only
// when its parent was loaded on a lower level before it (or it is a top-level
// row); the rows below a left-out row are left out too. Nodes come parents first.
QList<CatalogNode> loadCatalogForest(TDBDataModule &database);

// The number of notes of each node whose title contains the search text, letter
// case folded by the engine on both sides, for the nodes that have any.
QHash<int, int> countMatchingNotes(TDBDataModule &database, const QString &searchText);

// The rows of the given nodes, by tagid; ids without a row are left out.
QHash<int, TagRecord> readTagRows(TDBDataModule &database, const QList<int> &tagids);

// For the given nodes, the number of notes filed in each itself whose title
// contains the search text; nodes without any are left out.
QHash<int, int> countOwnMatchingNotes(TDBDataModule &database, const QList<int> &tagids, const QString &searchText);

// Folds only the letters a to z to upper case, as every name and search
// comparison of the catalog does.
QString upperAsciiLetters(const QString &text);
QString lowerAsciiLetters(const QString &text);
