#pragma once

#include "catalogpathlist.h"
#include "tagrecord.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <utility>

class QTimer;
class TDBDataModule;
class TitleSearchCounts;

// A catalog tree node; it owns the TagRecord that mirrors its row.
class TagTreeItem : public QTreeWidgetItem
{
public:
    explicit TagTreeItem(const TagRecord &record);

    TagRecord record;

    // The caption is the name with that number; after a rename it shows the new name.
    void showCount(int number);
    void setIconIndex(int index);
    // The caption and the icon are made when the view asks for them, not kept
    // per node. The tooltip is the node's catalog path, from its names as
    // written, however the node was renamed or moved.
    QVariant data(int column, int role) const override;
    // The node's catalog path from the names of the nodes above it as they are
    // written; the stored path may differ in letter case.
    QString writtenPath() const;
    TagTreeItem *parentTag() const { return static_cast<TagTreeItem *>(parent()); }

private:
    int m_shownCount;
    int m_iconIndex;
};

// The catalog tree of the explorer: each node stands for one tags row and shows
// its name with a note count: the stored count, or while a title search is
// active the number of notes in it and below it whose title holds the text.
class TagTreeView : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int IconCount = 26;

    explicit TagTreeView(QWidget *parent = nullptr);
    ~TagTreeView() override;

    // Rebuilds the whole tree from the database and expands it.
    void loadFull(TDBDataModule &database);
    // The same from every tags row read already, in the engine's order.
    void loadFull(const QList<TagRecord> &rows);
    // Whether the tree holds a full load, kept up to date since by refreshRows.
    bool isLoaded() const { return m_loaded; }
    // Every node shows its stored count again, siblings in tagid order and the
    // tree expanded: what a full load shows, once the rows changed since and
    // those held back (takeHeldRows) have been refreshed.
    void showStoredCounts();
    // The rows a refresh left out of the tree since the last full load, as new
    // rows are while a title search is active; a later refresh may place them.
    QSet<int> takeHeldRows() { return std::exchange(m_heldRows, {}); }
    // The path of every row, for the catalog field's suggestions: as the last
    // full load read them, in the engine's order, then kept current by every
    // refresh (rows made since come last), without reading every row again.
    const QStringList &catalogPaths() const { return m_catalogPaths.paths(); }
    // Shows for every node the number of notes in it and below it whose title
    // holds the search text. The structure and the selection stay. The titles
    // are read once and then kept in memory, following the notes the database
    // module marks as changed.
    void recount(TDBDataModule &database, const QString &searchText);
    // Reads the note titles for the recounts beside the program's work, so that
    // the first search does not wait for them.
    void prepareTitleSearch(TDBDataModule &database);

    // Whether rows made since the last full load are added to the tree.
    enum class NewRows {
        Show, // as a full load would show them
        Hold, // left out until the next full load, as while a title search is active
    };
    // Brings the nodes of the given ids up to date with their rows, reading only
    // those rows (and the rows above a new row that the tree lacks): record,
    // caption and icon. A node whose row is gone leaves the tree; a node whose
    // parent changed becomes its new parent's last child; a row that the tree
    // lacks is added as its parent's last child (NewRows::Show). With a search
    // text, the search counts of these nodes and of every node above them are
    // counted again and shown.
    void refreshRows(TDBDataModule &database, const QSet<int> &tagids, const QString &searchText, NewRows newRows);
    // Puts the children of every node that took a node as its last child back in
    // tagid order, the order of a full load.
    void restoreLoadOrder();
    // Expands every node, as expandAll() does, but lays out only the nodes that
    // are still closed when they are few, as after a refresh of a few rows.
    void expandClosedNodes();

    TagTreeItem *selectedTag() const;
    // The node carrying that tagid, or null.
    TagTreeItem *findTag(int tagid) const { return m_byId.value(tagid); }
    // The first node in display order whose name contains the text, letters
    // A to Z folded; null for an empty text or no match.
    TagTreeItem *findNameContaining(const QString &text) const;
    QList<TagTreeItem *> allTags() const;
    // Moves a node with everything below it to be the last child of target.
    void moveUnder(TagTreeItem *moved, TagTreeItem *target);

    // Drops on the tree: catalog nodes dragged within it and notes dragged from
    // the note list. The explorer decides what is taken and what a drop does.
    std::function<bool(QObject *source, TagTreeItem *target)> acceptsDrop;
    std::function<void(QObject *source, TagTreeItem *target)> dropped;

    // The catalog icon of an index (index 0 a plain folder).
    static QIcon catalogIcon(int index);
    static const QStringList &catalogIconNames();
    // What the icon of an index shows, in the interface language ("Folder").
    static QString catalogIconCaption(int index);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void markDropTarget(TagTreeItem *target);
    // Scrolls one step towards the edge a drag is held at; false when it is at none.
    bool scrollTowardsDragEdge();

    QPersistentModelIndex m_dropTarget; // the row a drag would land on
    QTimer *m_edgeScroll = nullptr;     // scrolls while a drag is held near an edge
    QPoint m_dragAt;                    // where the drag is, in the viewport
    QPointer<QObject> m_dragSource;

    void indexRows(const QModelIndex &parent, int first, int last, bool inserted);
    void placeAsLastChild(TagTreeItem *item, TagTreeItem *parent);
    void recountAbove(TDBDataModule &database, const QList<TagTreeItem *> &changed, const QString &searchText);
    void changeCaptionsTogether(const std::function<void()> &change);

    TitleSearchCounts &titleSearchCounts(TDBDataModule &database);

    QHash<int, TagTreeItem *> m_byId; // every node of the tree, kept by the model's signals
    QSet<int> m_unordered;            // parents (0: the top) whose children left tagid order
    QSet<int> m_heldRows;             // rows read but left out of the tree since the last full load
    bool m_loaded = false;
    CatalogPathList m_catalogPaths;
    std::unique_ptr<TitleSearchCounts> m_titleCounts;
    QString m_titleCountsConnection; // the connection whose notes m_titleCounts follows
};
