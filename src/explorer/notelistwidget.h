#pragma once

#include <QDateTime>
#include <QString>
#include <QTreeWidget>

// The note list's control: rows at even positions (0, 2, ...) on a shade of the
// palette's base colour, the others and the empty area on the base colour
// itself, so that the list reads in light and dark palettes alike. Notes are
// dragged with a picture beside the cursor, leaving the target in sight.
class NoteListWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit NoteListWidget(QWidget *parent = nullptr);

    // The shade of the base colour under the rows at even positions.
    static QColor evenRowColour(const QPalette &palette);

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void startDrag(Qt::DropActions supportedActions) override;
};

// A note's creation time as the list shows it: the system's short date and
// short time, no zone name; the time is left out at exactly midnight.
QString formatCreateDate(const QDateTime &created);
