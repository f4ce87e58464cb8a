#include "tagtreeview.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "itemdrag.h"
#include "programtext.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <iterator>

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

QVariant TagTreeItem::data(int column, int role) const
{
    if (role != Qt::ToolTipRole)
        return QTreeWidgetItem::data(column, role);
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
    // Near an edge the tree scrolls, so that nodes out of sight can be reached.
    const QPoint at = event->position().toPoint();
    m_dragAt = at;
    m_dragSource = event->source();
    if (!m_edgeScroll->isActive() && scrollTowardsDragEdge())
        m_edgeScroll->start();

    auto *target = static_cast<TagTreeItem *>(itemAt(at));
    if (target && acceptsDrop && acceptsDrop(event->source(), target)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        markDropTarget(target);
    } else {
        event->ignore();
        markDropTarget(nullptr);
    }
}

bool TagTreeView::scrollTowardsDragEdge()
{
    const QRect area = viewport()->rect();
    const int margin = autoScrollMargin();
    QScrollBar *vertical = verticalScrollBar();
    QScrollBar *horizontal = horizontalScrollBar();
    const int verticalBefore = vertical->value();
    const int horizontalBefore = horizontal->value();
    if (m_dragAt.y() - area.top() < margin)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (area.bottom() - m_dragAt.y() < margin)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (m_dragAt.x() - area.left() < margin)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (area.right() - m_dragAt.x() < margin)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (vertical->value() == verticalBefore && horizontal->value() == horizontalBefore)
        return false;
    // Another row is now under the held drag.
    auto *target = static_cast<TagTreeItem *>(itemAt(m_dragAt));
    markDropTarget(target && acceptsDrop && acceptsDrop(m_dragSource, target) ? target : nullptr);
    return true;
}

void TagTreeView::dragLeaveEvent(QDragLeaveEvent *event)
{
    markDropTarget(nullptr);
    m_edgeScroll->stop();
    QTreeWidget::dragLeaveEvent(event);
}

void TagTreeView::markDropTarget(TagTreeItem *target)
{
    const QModelIndex index = target ? indexFromItem(target) : QModelIndex();
    if (index == m_dropTarget)
        return;
    m_dropTarget = index;
    viewport()->update();
}

void TagTreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QTreeWidget::drawRow(painter, option, index);
    if (index == m_dropTarget)
        drawDropTargetMark(painter, this, option.rect);
}

void TagTreeView::startDrag(Qt::DropActions supportedActions)
{
    startDragBesideCursor(this, supportedActions);
    markDropTarget(nullptr);
}

void TagTreeView::dropEvent(QDropEvent *event)
{
    markDropTarget(nullptr);
    m_edgeScroll->stop();
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
        const QList<CatalogNode> forest = loadCatalogForest(database);
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
    const QHash<int, int> matches = countMatchingNotes(database, searchText);
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
    QIcon icon = QIcon::fromTheme(names[index]);
    return icon.isNull() ? QIcon::fromTheme(names[0]) : icon;
}
