#include "notelistwidget.h"

#include "itemdrag.h"

#include <QLocale>
#include <QPainter>

NoteListWidget::NoteListWidget(QWidget *parent)
    : QTreeWidget(parent)
{
}

QColor NoteListWidget::evenRowColour(const QPalette &palette)
{
    // About 16 steps darker than white in a light palette, as many lighter in a dark one.
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    constexpr float share = 0.065f;
    return QColor::fromRgbF(base.redF() + (text.redF() - base.redF()) * share,
                            base.greenF() + (text.greenF() - base.greenF()) * share,
                            base.blueF() + (text.blueF() - base.blueF()) * share);
}

void NoteListWidget::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (index.row() % 2 == 0)
        painter->fillRect(option.rect, evenRowColour(palette()));
    QTreeWidget::drawRow(painter, option, index);
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    startDragBesideCursor(this, supportedActions);
}

QString formatCreateDate(const QDateTime &created)
{
    const QLocale locale = QLocale::system();
    QString text = locale.toString(created.date(), QLocale::ShortFormat);
    if (created.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(created.time(), QLocale::ShortFormat);
    return text;
}
