#include "tagtreeview.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "titlesearchcounts.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QTreeWidgetItemIterator>

TagTreeItem::TagTreeItem(const TagRecord &tag)
    : record(tag)
{
    showCount(record.childcount);
    setIconIndex(record.icoid);
}

void TagTreeItem::setIconIndex(int index)
{
    setIcon(0, TagTreeView::catalogIcon(index));
}

TagTreeView::TagTreeView(QWidget *parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("TagTreeView"));
    setHeaderHidden(true);
    setColumnCount(1);
    setIndentation(27);
    setIconSize(QSize(16, 16));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

TagTreeView::~TagTreeView() = default;

TitleSearchCounts &TagTreeView::titleSearchCounts(TDBDataModule &database)
{
    const QString connection = database.connection().connectionName();
    if (!m_titleCounts || m_titleCountsConnection != connection) {
        m_titleCounts = std::make_unique<TitleSearchCounts>(database);
        m_titleCountsConnection = connection;
    }
    return *m_titleCounts;
}

void TagTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrop && acceptsDrop(event->source(), nullptr)) {
        // Copy, never move: a move would make the dragging view remove its rows.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TagTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    auto *target = static_cast<TagTreeItem *>(itemAt(event->position().toPoint()));
    if (target && acceptsDrop && acceptsDrop(event->source(), target)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TagTreeView::dropEvent(QDropEvent *event)
{
    auto *target = static_cast<TagTreeItem *>(itemAt(event->position().toPoint()));
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (target && dropped)
        dropped(event->source(), target);
}

void TagTreeView::loadFull(TDBDataModule &database)
{
    setUpdatesEnabled(false);
    clear();
    try {
        QSqlQuery &query = database.runQuery(allTagRowsStatement());
        const QList<TagRecord> rows = readTagRows(query);
        query.finish();
        m_loadedPaths = catalogPaths(rows);
        const QList<CatalogNode> forest = catalogForest(rows);
        QList<TagTreeItem *> items;
        items.reserve(forest.size());
        QList<QTreeWidgetItem *> topLevel;
        for (const CatalogNode &node : forest) {
            auto *item = new TagTreeItem(node.record);
            items.append(item);
            if (node.parentIndex < 0)
                topLevel.append(item);
            else
                items[node.parentIndex]->addChild(item);
        }
        addTopLevelItems(topLevel);
    } catch (...) {
        setUpdatesEnabled(true);
        throw;
    }
    expandAll();
    setUpdatesEnabled(true);
}

void TagTreeView::recount(TDBDataModule &database, const QString &searchText)
{
    const QHash<int, int> matches = titleSearchCounts(database).count(searchText);
    const QList<TagTreeItem *> tags = allTags();
    for (TagTreeItem *tag : tags)
        tag->record.count = 0;
    for (TagTreeItem *tag : tags) {
        const int own = matches.value(tag->record.tagid);
        if (own <= 0)
            continue;
        for (QTreeWidgetItem *node = tag; node; node = node->parent())
            static_cast<TagTreeItem *>(node)->record.count += own;
    }
    setUpdatesEnabled(false);
    for (TagTreeItem *tag : tags)
        tag->showCount(tag->record.count);
    expandAll();
    setUpdatesEnabled(true);
}

TagTreeItem *TagTreeView::selectedTag() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TagTreeItem *>(selected.first());
}

TagTreeItem *TagTreeView::findTag(int tagid) const
{
    for (QTreeWidgetItemIterator it(const_cast<TagTreeView *>(this)); *it; ++it) {
        auto *tag = static_cast<TagTreeItem *>(*it);
        if (tag->record.tagid == tagid)
            return tag;
    }
    return nullptr;
}

TagTreeItem *TagTreeView::findCaptionContaining(const QString &text) const
{
    if (text.isEmpty())
        return nullptr;
    const QString wanted = lowerAsciiLetters(text);
    for (QTreeWidgetItemIterator it(const_cast<TagTreeView *>(this)); *it; ++it) {
        if (lowerAsciiLetters((*it)->text(0)).contains(wanted))
            return static_cast<TagTreeItem *>(*it);
    }
    return nullptr;
}

QList<TagTreeItem *> TagTreeView::allTags() const
{
    QList<TagTreeItem *> tags;
    for (QTreeWidgetItemIterator it(const_cast<TagTreeView *>(this)); *it; ++it)
        tags.append(static_cast<TagTreeItem *>(*it));
    return tags;
}

const QStringList &TagTreeView::catalogIconNames()
{
    static const QStringList names{
        QStringLiteral("folder"),
        QStringLiteral("folder-documents"),
        QStringLiteral("folder-download"),
        QStringLiteral("folder-music"),
        QStringLiteral("folder-pictures"),
        QStringLiteral("folder-videos"),
        QStringLiteral("folder-publicshare"),
        QStringLiteral("folder-templates"),
        QStringLiteral("folder-remote"),
        QStringLiteral("user-home"),
        QStringLiteral("user-bookmarks"),
        QStringLiteral("user-desktop"),
        QStringLiteral("user-trash"),
        QStringLiteral("text-x-generic"),
        QStringLiteral("x-office-document"),
        QStringLiteral("x-office-spreadsheet"),
        QStringLiteral("x-office-presentation"),
        QStringLiteral("x-office-calendar"),
        QStringLiteral("x-office-address-book"),
        QStringLiteral("image-x-generic"),
        QStringLiteral("audio-x-generic"),
        QStringLiteral("video-x-generic"),
        QStringLiteral("package-x-generic"),
        QStringLiteral("applications-internet"),
        QStringLiteral("applications-science"),
        QStringLiteral("emblem-favorite"),
    };
    return names;
}

QIcon TagTreeView::catalogIcon(int index)
{
    const QStringList &names = catalogIconNames();
    if (index < 0 || index >= names.size())
        index = 0;
    // A theme lookup costs far more than a node; a full load asks once per node.
    static QString lookedUpInTheme;
    static QList<QIcon> icons;
    if (icons.size() != names.size() || lookedUpInTheme != QIcon::themeName()) {
        lookedUpInTheme = QIcon::themeName();
        icons.clear();
        for (const QString &name : names)
            icons << QIcon::fromTheme(name);
    }
    return icons[index].isNull() ? icons[0] : icons[index];
}
