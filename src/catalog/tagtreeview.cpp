#include "tagtreeview.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "freedmemory.h"
#include "programtext.h"
#include "titlesearchcounts.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <iterator>
#include <utility>

TagTreeItem::TagTreeItem(const TagRecord &tag)
    : record(tag)
    , m_shownCount(tag.childcount)
    , m_iconIndex(tag.icoid)
{
}

void TagTreeItem::showCount(int number)
{
    m_shownCount = number;
    emitDataChanged();
}

void TagTreeItem::setIconIndex(int index)
{
    m_iconIndex = index;
    emitDataChanged();
}

QVariant TagTreeItem::data(int column, int role) const
{
    if (column != 0)
        return QTreeWidgetItem::data(column, role);
    if (role == Qt::DisplayRole)
        return tagCaption(record.name, m_shownCount);
    if (role == Qt::DecorationRole)
        return TagTreeView::catalogIcon(m_iconIndex);
    if (role != Qt::ToolTipRole)
        return QTreeWidgetItem::data(column, role);
    return writtenPath();
}

QString TagTreeItem::writtenPath() const
{
    // The names as written, from the top down, as the editor's catalog field takes them.
    QStringList names;
    for (const QTreeWidgetItem *node = this; node; node = node->parent())
        names.prepend(static_cast<const TagTreeItem *>(node)->record.name);
    return names.join(QLatin1Char(','));
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
    // Deep nodes keep their whole caption; a horizontal scroll bar reaches them.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_edgeScroll = new QTimer(this);
    m_edgeScroll->setInterval(80);
    connect(m_edgeScroll, &QTimer::timeout, this, [this] {
        if (!scrollTowardsDragEdge())
            m_edgeScroll->stop();
    });

    // The index of nodes by tagid follows every change of the tree, whoever makes it.
    connect(model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &parent, int first, int last) { indexRows(parent, first, last, true); });
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) { indexRows(parent, first, last, false); });
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_byId.clear();
        m_unordered.clear();
        m_heldRows.clear();
        m_loaded = false;
    });
}

TagTreeView::~TagTreeView()
{
    // The base class empties the model after this class's members are gone.
    disconnect(model(), nullptr, this, nullptr);
}

void TagTreeView::indexRows(const QModelIndex &parent, int first, int last, bool inserted)
{
    QTreeWidgetItem *parentItem = parent.isValid() ? itemFromIndex(parent) : invisibleRootItem();
    QList<QTreeWidgetItem *> pending;
    for (int row = first; row <= last && row < parentItem->childCount(); ++row)
        pending << parentItem->child(row);
    while (!pending.isEmpty()) {
        auto *tag = static_cast<TagTreeItem *>(pending.takeLast());
        if (inserted)
            m_byId.insert(tag->record.tagid, tag);
        else if (m_byId.value(tag->record.tagid) == tag)
            m_byId.remove(tag->record.tagid);
        for (int i = 0; i < tag->childCount(); ++i)
            pending << tag->child(i);
    }
}

TitleSearchCounts &TagTreeView::titleSearchCounts(TDBDataModule &database)
{
    const QString connection = database.connection().connectionName();
    if (!m_titleCounts || m_titleCountsConnection != connection) {
        m_titleCounts = std::make_unique<TitleSearchCounts>(database);
        m_titleCountsConnection = connection;
    }
    return *m_titleCounts;
}

void TagTreeView::prepareTitleSearch(TDBDataModule &database)
{
    titleSearchCounts(database).readTitlesAside();
}

void TagTreeView::loadFull(TDBDataModule &database)
{
    QSqlQuery &query = database.runQuery(allTagRowsStatement());
    const QList<TagRecord> rows = readTagRows(query);
    query.finish();
    loadFull(rows);
}

void TagTreeView::loadFull(const QList<TagRecord> &rows)
{
    setUpdatesEnabled(false);
    clear();
    try {
        m_catalogPaths.reset(rows);
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
        m_loaded = true;
    } catch (...) {
        setUpdatesEnabled(true);
        throw;
    }
    expandAll();
    setUpdatesEnabled(true);
    // The rows, the forest and the items this tree had are freed now.
    releaseFreedMemorySoon();
}

void TagTreeView::expandClosedNodes()
{
    // expandAll() lays out every row of the tree again, which at tens of thousands
    // of nodes costs more than the refresh before it.
    constexpr qsizetype ManyClosed = 64;
    QList<TagTreeItem *> closed;
    for (TagTreeItem *tag : std::as_const(m_byId)) {
        if (tag->childCount() == 0 || tag->isExpanded())
            continue;
        if (closed.size() == ManyClosed) {
            expandAll();
            return;
        }
        closed << tag;
    }
    for (TagTreeItem *tag : std::as_const(closed))
        tag->setExpanded(true);
}

void TagTreeView::recount(TDBDataModule &database, const QString &searchText)
{
    const QHash<int, int> matches = titleSearchCounts(database).count(searchText);
    const QList<TagTreeItem *> tags = allTags();
    for (TagTreeItem *tag : tags) {
        tag->record.count = 0;
        tag->record.ownMatches = matches.value(tag->record.tagid);
    }
    for (TagTreeItem *tag : tags) {
        const int own = tag->record.ownMatches;
        if (own <= 0)
            continue;
        for (QTreeWidgetItem *node = tag; node; node = node->parent())
            static_cast<TagTreeItem *>(node)->record.count += own;
    }
    setUpdatesEnabled(false);
    changeCaptionsTogether([&] {
        for (TagTreeItem *tag : tags)
            tag->showCount(tag->record.count);
    });
    expandAll();
    setUpdatesEnabled(true);
}

void TagTreeView::showStoredCounts()
{
    restoreLoadOrder();
    const QList<TagTreeItem *> tags = allTags();
    setUpdatesEnabled(false);
    changeCaptionsTogether([&] {
        for (TagTreeItem *tag : tags) {
            tag->record.count = 0;
            tag->record.ownMatches = 0;
            tag->showCount(tag->record.childcount);
        }
    });
    expandAll();
    setUpdatesEnabled(true);
}

void TagTreeView::changeCaptionsTogether(const std::function<void()> &change)
{
    // Told of one caption at a time, the view would measure up to a thousand rows
    // again for the column's width after each: minutes for a recount of 50,000
    // nodes. The model stays quiet instead, and the view is told once.
    {
        const QSignalBlocker quiet(model());
        change();
    }
    header()->resizeSections(QHeaderView::ResizeToContents);
    viewport()->update();
}

TagTreeItem *TagTreeView::selectedTag() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TagTreeItem *>(selected.first());
}

TagTreeItem *TagTreeView::findNameContaining(const QString &text) const
{
    if (text.isEmpty())
        return nullptr;
    const QString wanted = lowerAsciiLetters(text);
    for (QTreeWidgetItemIterator it(const_cast<TagTreeView *>(this)); *it; ++it) {
        // The name only: the count in the caption would make "(0" or a digit match.
        if (lowerAsciiLetters(static_cast<TagTreeItem *>(*it)->record.name).contains(wanted))
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

void TagTreeView::placeAsLastChild(TagTreeItem *item, TagTreeItem *parent)
{
    QTreeWidgetItem *newParent = parent ? static_cast<QTreeWidgetItem *>(parent) : invisibleRootItem();
    QTreeWidgetItem *oldParent = item->parent() ? item->parent() : invisibleRootItem();
    if (item->treeWidget() == this)
        oldParent->removeChild(item);
    // A full load shows siblings in tagid order; a node placed last may break it.
    const int siblings = newParent->childCount();
    if (siblings > 0 && static_cast<TagTreeItem *>(newParent->child(siblings - 1))->record.tagid > item->record.tagid)
        m_unordered.insert(parent ? parent->record.tagid : 0);
    newParent->addChild(item);
}

void TagTreeView::moveUnder(TagTreeItem *moved, TagTreeItem *target)
{
    placeAsLastChild(moved, target);
}

void TagTreeView::refreshRows(TDBDataModule &database, const QSet<int> &tagids, const QString &searchText,
                              NewRows newRows)
{
    if (tagids.isEmpty())
        return;
    QHash<int, TagRecord> rows = readTagRows(database, tagids.values());
    // Every row's path is suggested, whether the tree shows the row or not; new
    // rows come last in the order they were made, as the engine lists them.
    QList<int> inOrder = tagids.values();
    std::sort(inOrder.begin(), inOrder.end());
    for (int tagid : std::as_const(inOrder)) {
        const auto row = rows.constFind(tagid);
        if (row == rows.constEnd())
            m_catalogPaths.remove(tagid);
        else
            m_catalogPaths.update(*row);
    }
    // A new row whose parent the tree lacks comes with the rows above it, up to a shown node.
    if (newRows == NewRows::Show) {
        QList<int> missing;
        for (const TagRecord &row : std::as_const(rows)) {
            if (row.parentid != 0 && !findTag(row.parentid) && !rows.contains(row.parentid))
                missing << row.parentid;
        }
        while (!missing.isEmpty()) {
            const QHash<int, TagRecord> above = readTagRows(database, missing);
            missing.clear();
            for (const TagRecord &row : above) {
                rows.insert(row.tagid, row);
                if (row.parentid != 0 && !findTag(row.parentid) && !rows.contains(row.parentid))
                    missing << row.parentid;
            }
        }
    }

    // A node taken out of the tree takes the nodes below it along: a later
    // refresh that may place it again brings them back too.
    auto holdBelow = [this](TagTreeItem *item) {
        QList<QTreeWidgetItem *> pending;
        for (int i = 0; item && i < item->childCount(); ++i)
            pending << item->child(i);
        while (!pending.isEmpty()) {
            auto *below = static_cast<TagTreeItem *>(pending.takeLast());
            m_heldRows.insert(below->record.tagid);
            for (int i = 0; i < below->childCount(); ++i)
                pending << below->child(i);
        }
    };

    setUpdatesEnabled(false);
    QList<TagTreeItem *> changed;
    // Gone rows first, then the rest parents before children, each level in tagid order.
    for (int tagid : tagids) {
        if (!rows.contains(tagid)) {
            m_heldRows.remove(tagid);
            if (TagTreeItem *gone = findTag(tagid)) {
                holdBelow(gone);
                delete gone;
            }
        }
    }
    QList<TagRecord> ordered = rows.values();
    std::sort(ordered.begin(), ordered.end(), [](const TagRecord &a, const TagRecord &b) {
        return a.deep != b.deep ? a.deep < b.deep : a.tagid < b.tagid;
    });
    for (const TagRecord &row : std::as_const(ordered)) {
        TagTreeItem *item = findTag(row.tagid);
        TagTreeItem *parent = row.parentid != 0 ? findTag(row.parentid) : nullptr;
        // Shown only below a shown parent on a higher level, as a full load shows rows.
        const bool placeable = row.parentid == 0 || (parent && parent->record.deep < row.deep);
        if (!placeable) {
            m_heldRows.insert(row.tagid);
            holdBelow(item);
            delete item;
            continue;
        }
        if (!item) {
            if (newRows == NewRows::Hold) {
                m_heldRows.insert(row.tagid);
                continue;
            }
            m_heldRows.remove(row.tagid);
            item = new TagTreeItem(row);
            placeAsLastChild(item, parent);
        } else {
            const int searchCount = item->record.count;
            const int ownMatches = item->record.ownMatches;
            const bool newIcon = item->record.icoid != row.icoid;
            item->record = row;
            item->record.count = searchCount;
            item->record.ownMatches = ownMatches;
            if (newIcon)
                item->setIconIndex(row.icoid);
            if (item->parentTag() != parent)
                placeAsLastChild(item, parent);
        }
        changed << item;
    }
    if (searchText.isEmpty()) {
        changeCaptionsTogether([&] {
            for (TagTreeItem *item : std::as_const(changed))
                item->showCount(item->record.childcount);
        });
    } else {
        recountAbove(database, changed, searchText);
    }
    setUpdatesEnabled(true);
}

void TagTreeView::recountAbove(TDBDataModule &database, const QList<TagTreeItem *> &changed, const QString &searchText)
{
    QList<int> ids;
    for (TagTreeItem *item : changed)
        ids << item->record.tagid;
    const QHash<int, int> own = countOwnMatchingNotes(database, ids, searchText);
    QSet<TagTreeItem *> affected;
    for (TagTreeItem *item : changed) {
        item->record.ownMatches = own.value(item->record.tagid);
        for (TagTreeItem *node = item; node && !affected.contains(node); node = node->parentTag())
            affected.insert(node);
    }
    // Deepest first, so that each node adds up children already counted.
    auto depth = [](const TagTreeItem *item) {
        int levels = 0;
        for (const QTreeWidgetItem *node = item; node; node = node->parent())
            ++levels;
        return levels;
    };
    QList<std::pair<int, TagTreeItem *>> byDepth;
    for (TagTreeItem *item : std::as_const(affected))
        byDepth.append({depth(item), item});
    std::sort(byDepth.begin(), byDepth.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    changeCaptionsTogether([&] {
        for (const auto &[levels, item] : std::as_const(byDepth)) {
            int count = item->record.ownMatches;
            for (int i = 0; i < item->childCount(); ++i)
                count += static_cast<TagTreeItem *>(item->child(i))->record.count;
            item->record.count = count;
            item->showCount(count);
        }
    });
}

void TagTreeView::restoreLoadOrder()
{
    if (m_unordered.isEmpty())
        return;
    const QSet<int> parents = std::exchange(m_unordered, {});
    setUpdatesEnabled(false);
    TagTreeItem *selected = selectedTag();
    TagTreeItem *current = static_cast<TagTreeItem *>(currentItem());
    for (int parentid : parents) {
        QTreeWidgetItem *parent = parentid == 0 ? invisibleRootItem() : findTag(parentid);
        if (!parent)
            continue;
        QList<QTreeWidgetItem *> children = parent->takeChildren();
        std::stable_sort(children.begin(), children.end(), [](QTreeWidgetItem *a, QTreeWidgetItem *b) {
            return static_cast<TagTreeItem *>(a)->record.tagid < static_cast<TagTreeItem *>(b)->record.tagid;
        });
        parent->addChildren(children);
    }
    if (current)
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    if (selected)
        selected->setSelected(true);
    setUpdatesEnabled(true);
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

QString TagTreeView::catalogIconCaption(int index)
{
    // In the order of catalogIconNames().
    static const char *const captions[] = {
        "Folder",    "Documents",   "Downloads",    "Music",     "Pictures",     "Videos", "Shared",
        "Templates", "Remote",      "Home",         "Bookmarks", "Desktop",      "Trash",  "Text",
        "Document",  "Spreadsheet", "Presentation", "Calendar",  "Address book", "Image",  "Audio",
        "Video",     "Package",     "Internet",     "Science",   "Favourite",
    };
    static_assert(std::size(captions) == IconCount);
    if (index < 0 || index >= IconCount)
        index = 0;
    return programText(captions[index]);
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
