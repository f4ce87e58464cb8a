#pragma once

#include "tagrecord.h"

#include <QTreeWidget>

#include <functional>
#include <memory>

class TDBDataModule;
class TitleSearchCounts;

// A catalog tree node; it owns the TagRecord that mirrors its row.
class TagTreeItem : public QTreeWidgetItem
{
public:
    explicit TagTreeItem(const TagRecord &record);

    TagRecord record;

    void showCount(int number) { setText(0, tagCaption(record.name, number)); }
    void setIconIndex(int index);
};

// The catalog tree of the explorer: each node stands for one tags row and shows
// its name with a note count.
class TagTreeView : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int IconCount = 26;

    explicit TagTreeView(QWidget *parent = nullptr);
    ~TagTreeView() override;

    // Rebuilds the whole tree from the database and expands it.
    void loadFull(TDBDataModule &database);
    // The path of every row the last full load read, in the engine's order: the
    // catalog field's suggestions at start-up, without reading the rows again.
    const QStringList &loadedCatalogPaths() const { return m_loadedPaths; }
    // Shows for every node the number of notes in it and below it whose title
    // holds the search text. The structure and the selection stay. The titles
    // are read once and then kept in memory, following the notes the database
    // module marks as changed.
    void recount(TDBDataModule &database, const QString &searchText);

    TagTreeItem *selectedTag() const;
    // The first node in display order carrying that tagid, or null.
    TagTreeItem *findTag(int tagid) const;
    // The first node in display order whose caption contains the text, letters
    // A to Z folded; null for an empty text or no match.
    TagTreeItem *findCaptionContaining(const QString &text) const;
    QList<TagTreeItem *> allTags() const;

    // Drops on the tree: catalog nodes dragged within it and notes dragged from
    // the note list. The explorer decides what is taken and what a drop does.
    std::function<bool(QObject *source, TagTreeItem *target)> acceptsDrop;
    std::function<void(QObject *source, TagTreeItem *target)> dropped;

    // The catalog icon of an index (index 0 a plain folder).
    static QIcon catalogIcon(int index);
    static const QStringList &catalogIconNames();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QStringList m_loadedPaths;
    TitleSearchCounts &titleSearchCounts(TDBDataModule &database);

    std::unique_ptr<TitleSearchCounts> m_titleCounts;
    QString m_titleCountsConnection; // the connection whose notes m_titleCounts follows
};
