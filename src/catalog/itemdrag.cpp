#include "itemdrag.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

void startDragBesideCursor(QAbstractItemView *view, Qt::DropActions actions)
{
    QModelIndexList indexes;
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        if (index.column() == 0)
            indexes << index;
    }
    if (indexes.isEmpty())
        return;
    QMimeData *data = view->model()->mimeData(indexes);
    if (!data)
        return;

    // The caption with its icon on a small tag in the view's own colours.
    const QModelIndex first = indexes.first();
    const QString caption = view->fontMetrics().elidedText(first.data(Qt::DisplayRole).toString(), Qt::ElideRight, 240);
    const QIcon icon = first.data(Qt::DecorationRole).value<QIcon>();
    const QFontMetrics metrics = view->fontMetrics();
    const int iconSide = icon.isNull() ? 0 : 16;
    const QSize size(iconSide + (iconSide ? 6 : 0) + metrics.horizontalAdvance(caption) + 14, metrics.height() + 8);
    const qreal scale = view->devicePixelRatioF();
    QPixmap picture(size * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = view->palette();
    QColor background = palette.color(QPalette::Base);
    background.setAlpha(220);
    painter.setPen(palette.color(QPalette::Mid));
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 4, 4);
    int x = 7;
    if (iconSide) {
        icon.paint(&painter, QRect(x, (size.height() - iconSide) / 2, iconSide, iconSide));
        x += iconSide + 6;
    }
    painter.setPen(palette.color(QPalette::Text));
    painter.drawText(QRect(x, 0, size.width() - x, size.height()), Qt::AlignVCenter | Qt::AlignLeft, caption);
    painter.end();

    auto *drag = new QDrag(view);
    drag->setMimeData(data);
    drag->setPixmap(picture);
    // Below and to the right of the cursor: the target row stays in sight.
    drag->setHotSpot(QPoint(-14, -12));
    drag->exec(actions, Qt::CopyAction);
}

void drawDropTargetMark(QPainter *painter, const QAbstractItemView *view, const QRect &row)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor fill = view->palette().color(QPalette::Highlight);
    fill.setAlpha(60);
    painter->setBrush(fill);
    painter->setPen(QPen(view->palette().color(QPalette::Highlight), 2));
    painter->drawRoundedRect(QRectF(row).adjusted(1, 1, -1, -1), 3, 3);
    painter->restore();
}
