#pragma once

#include "tagrecord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QSqlQuery;
class TDBDataModule;

// One node of the catalog forest as the tree shows it after a full load.
struct CatalogNode
{
    TagRecord record;
    int parentIndex = -1; // index into the forest, -1 at the top
};
Q_DECLARE_TYPEINFO(CatalogNode, Q_RELOCATABLE_TYPE);

// The statement that reads every tags row for readTagRows(QSqlQuery &).
QString allTagRowsStatement();
// Every row of a query run with allTagRowsStatement(), in the order the engine
// returns them; a NULL number reads as 0 and a NULL text as empty.
QList<TagRecord> readTagRows(QSqlQuery &query);

// The catalog as a full load shows it: level by level, siblings in tagid order.
// A row is kept only when its parent sits on a lower level (or it is a top-level
// row); the rows below a left-out row are left out too. Nodes come parents first.
QList<CatalogNode> catalogForest(const QList<TagRecord> &rows);
// Reads every tags row once and makes the forest of them.
QList<CatalogNode> loadCatalogForest(TDBDataModule &database);

// The condition that a note's title holds the search text bound in its place,
// letter case folded by the engine on both sides; bind titleSearchPattern().
QString titleHoldsSearchText();
// The search text as that condition takes it: % and _ are characters like any
// other, not the engine's wildcards.
QString titleSearchPattern(const QString &searchText);

// The number of notes of each node whose title contains the search text, letter
// case folded by the engine on both sides, for the nodes that have any.
QHash<int, int> countMatchingNotes(TDBDataModule &database, const QString &searchText);

// The node of the row a query stands on (a query over every column of tags).
TagRecord tagRecordOfRow(const QSqlQuery &query);

// The rows of the given nodes, by tagid; ids without a row are left out.
QHash<int, TagRecord> readTagRows(TDBDataModule &database, const QList<int> &tagids);

// For the given nodes, the number of notes filed in each itself whose title
// contains the search text; nodes without any are left out.
QHash<int, int> countOwnMatchingNotes(TDBDataModule &database, const QList<int> &tagids, const QString &searchText);

// Folds only the letters a to z to upper case, as every name and search
// comparison of the catalog does.
QString upperAsciiLetters(const QString &text);
QString lowerAsciiLetters(const QString &text);
