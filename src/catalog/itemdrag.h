#pragma once

#include <Qt>

class QAbstractItemView;
class QPainter;
class QRect;

// Drags the view's selected item with a small picture of it beside the cursor,
// so that the row under the cursor, where it would be dropped, stays visible.
void startDragBesideCursor(QAbstractItemView *view, Qt::DropActions actions);

// Marks a row as the place a dragged item would land: an outline in the
// palette's highlight colour.
void drawDropTargetMark(QPainter *painter, const QAbstractItemView *view, const QRect &row);
