#include "searchhitdelegate.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QTextDocument>

namespace {

bool isHit(const QModelIndex &index)
{
    return index.column() == 0 && index.data(SearchHitDelegate::CatalogPathRole).isValid();
}

constexpr int Padding = 3;

} // namespace

void SearchHitDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isHit(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString title = item.text;
    item.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    // Background, selection and icon as any row.
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(Padding, 0, 0, 0);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group =
        option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    const QColor ink = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor faint = ink;
    faint.setAlphaF(0.6f);

    painter->save();
    const int line = option.fontMetrics.height();
    QFont bold = option.font;
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    QRect first(text.left(), text.top() + Padding, text.width(), line);
    const QString shownTitle = boldMetrics.elidedText(title, Qt::ElideRight, first.width() * 2 / 3);
    painter->setFont(bold);
    painter->setPen(ink);
    painter->drawText(first, Qt::AlignLeft | Qt::AlignVCenter, shownTitle);
    const int pathLeft =
        boldMetrics.horizontalAdvance(shownTitle) + option.fontMetrics.horizontalAdvance(QStringLiteral("   "));
    const QRect pathRect = first.adjusted(pathLeft, 0, 0, 0);
    painter->setFont(option.font);
    painter->setPen(faint);
    painter->drawText(
        pathRect, Qt::AlignLeft | Qt::AlignVCenter,
        option.fontMetrics.elidedText(index.data(CatalogPathRole).toString(), Qt::ElideLeft, pathRect.width()));

    // The passage as rich text on one line, cut at the right edge.
    QTextDocument passage;
    passage.setDefaultFont(option.font);
    passage.setDocumentMargin(0);
    passage.setDefaultStyleSheet(QStringLiteral("body { color: %1; } b { color: %2; }")
                                     .arg(ink.name(QColor::HexArgb), ink.name(QColor::HexArgb)));
    passage.setHtml(QStringLiteral("<body style=\"white-space: pre\">%1</body>")
                        .arg(index.data(SnippetRole).toString().simplified()));
    const QRect second(text.left(), first.bottom() + 1, text.width(), line);
    painter->translate(second.topLeft());
    painter->setClipRect(QRect(QPoint(0, 0), second.size()));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, ink);
    passage.documentLayout()->draw(painter, context);
    painter->restore();
}

QSize SearchHitDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (isHit(index))
        size.setHeight(2 * option.fontMetrics.height() + 3 * Padding);
    return size;
}
