#pragma once

#include <QStyledItemDelegate>

// Draws a full-text hit in the note list: the title and the catalog path on
// the first line, the passage around the matched words, marked in bold, on the
// second. Rows without a hit are drawn as usual.
class SearchHitDelegate : public QStyledItemDelegate
{
public:
    enum Role {
        CatalogPathRole = Qt::UserRole + 1, // set on hit rows only
        SnippetRole,                        // HTML, matched words between <b> and </b>
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
