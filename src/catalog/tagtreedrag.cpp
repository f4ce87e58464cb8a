#include "tagtreeview.h"

#include "itemdrag.h"

#include <QDropEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

// Drags over the catalog tree: nodes dragged within it and notes dragged onto
// it, with the row a drop would land on marked and the tree scrolling near an edge.

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
