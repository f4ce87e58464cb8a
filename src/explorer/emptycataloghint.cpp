#include "emptycataloghint.h"

#include "programtext.h"

#include <QEvent>
#include <QTreeWidget>

EmptyCatalogHint::EmptyCatalogHint(QTreeWidget *catalog, QWidget *noteView)
    : QLabel(noteView)
    , m_catalog(catalog)
    , m_noteView(noteView)
{
    setObjectName(QStringLiteral("EmptyCatalogHint"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setMargin(32);
    setTextFormat(Qt::RichText);
    showTexts();
    hide();
    // The view gets its drawing surface when a page first shows; the hint stays above it.
    noteView->installEventFilter(this);
    // However the tree changes (a full load or a refresh of a few rows), the hint follows it.
    QAbstractItemModel *rows = catalog->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &EmptyCatalogHint::refresh);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &EmptyCatalogHint::refresh);
    connect(rows, &QAbstractItemModel::modelReset, this, &EmptyCatalogHint::refresh);
}

void EmptyCatalogHint::refresh()
{
    const bool empty = m_catalog->topLevelItemCount() == 0;
    setVisible(empty);
    if (empty)
        cover();
}

void EmptyCatalogHint::cover()
{
    setGeometry(m_noteView->rect());
    raise();
}

void EmptyCatalogHint::showTexts()
{
    setText(QStringLiteral("<p style=\"font-size:large\">%1</p><p>%2</p>")
                .arg(programText("Your catalog is empty").toHtmlEscaped(),
                     programText("Drag a selection of a web page, a link or files from your browser or file manager "
                                 "onto the drop box to capture your first note, or press Ctrl+N to write one.")
                         .toHtmlEscaped()));
}

void EmptyCatalogHint::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        showTexts();
    QLabel::changeEvent(event);
}

bool EmptyCatalogHint::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_noteView && isVisible() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded))
        cover();
    return QLabel::eventFilter(watched, event);
}
