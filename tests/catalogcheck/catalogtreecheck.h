#pragma once

#include <QString>

class TDBDataModule;
class TagTreeView;

enum class SiblingOrder {
    AsFullLoad, // siblings in tagid order, as a full load shows them
    Any,        // a node moved by a drop is its parent's last child until the next full load
};

// Compares a tree kept up to date change by change with one loaded in full from
// the rows: the same nodes under the same parents, each with the same record and
// caption (the stored count, or while searchText is active the search count). While
// a search is active the tree may lack nodes made since its last full load, as a
// recount does not add them; the reference is then recounted over the same nodes.
// Answers the first difference, or an empty text.
QString compareWithFullReload(const TagTreeView &tree, TDBDataModule &database, const QString &searchText,
                              SiblingOrder order);
