#include "trashview.h"

#include "programtext.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

TrashView::TrashView(QWidget *nodeParent, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TrashView"));
    m_node = new QTreeWidget(nodeParent);
    m_node->setObjectName(QStringLiteral("TrashNode"));
    m_node->setHeaderHidden(true);
    m_node->setRootIsDecorated(false);
    m_node->setIndentation(0);
    m_node->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_node->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_nodeItem = new QTreeWidgetItem(m_node);
    m_nodeItem->setIcon(0, QIcon::fromTheme(QStringLiteral("user-trash")));
    const int row = std::max(m_node->sizeHintForRow(0), m_node->fontMetrics().height() + 6);
    m_node->setFixedHeight(row + 2 * m_node->frameWidth() + 2);
    connect(m_node, &QTreeWidget::itemPressed, this, &TrashView::opened);
    connect(m_node, &QTreeWidget::itemActivated, this, &TrashView::opened);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("TrashList"));
    m_list->setColumnCount(3);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->resizeSection(0, 420);
    m_list->header()->resizeSection(1, 200);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (current)
            emit noteChosen();
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &TrashView::restoreRequested);
    m_list->installEventFilter(this);

    m_restore = new QPushButton(QIcon::fromTheme(QStringLiteral("edit-undo")), QString(), this);
    m_restore->setObjectName(QStringLiteral("TrashRestoreButton"));
    m_delete = new QPushButton(QIcon::fromTheme(QStringLiteral("edit-delete")), QString(), this);
    m_delete->setObjectName(QStringLiteral("TrashDeleteButton"));
    m_empty = new QPushButton(QIcon::fromTheme(QStringLiteral("user-trash")), QString(), this);
    m_empty->setObjectName(QStringLiteral("TrashEmptyButton"));
    connect(m_restore, &QPushButton::clicked, this, &TrashView::restoreRequested);
    connect(m_delete, &QPushButton::clicked, this, &TrashView::deleteRequested);
    connect(m_empty, &QPushButton::clicked, this, &TrashView::emptyRequested);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(m_restore);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    buttons->addWidget(m_empty);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    showTexts();
    showNotes({});
}

bool TrashView::eventFilter(QObject *watched, QEvent *event)
{
    // Enter restores and Delete deletes the chosen note, where the list has the focus.
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                emit restoreRequested();
                return true;
            }
            if (key->key() == Qt::Key_Delete) {
                emit deleteRequested();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TrashView::showNotes(const QList<TrashedNote> &notes)
{
    const TrashedNote *chosen = selectedNote();
    const int chosenId = chosen ? chosen->noteId : 0;
    m_notes = notes;
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    const QLocale locale;
    for (const TrashedNote &note : std::as_const(m_notes)) {
        auto *item = new QTreeWidgetItem(
            m_list, {note.title, locale.toString(note.trashed, QLocale::ShortFormat), note.catalogPath});
        item->setData(0, Qt::UserRole, note.noteId);
        item->setIcon(0, QIcon::fromTheme(QStringLiteral("text-html")));
    }
    if (chosenId != 0)
        selectNote(chosenId);
    const bool any = !m_notes.isEmpty();
    m_restore->setEnabled(any);
    m_delete->setEnabled(any);
    m_empty->setEnabled(any);
    showTexts();
}

const TrashedNote *TrashView::selectedNote() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item || !item->isSelected())
        return nullptr;
    const int noteId = item->data(0, Qt::UserRole).toInt();
    for (const TrashedNote &note : m_notes) {
        if (note.noteId == noteId)
            return &note;
    }
    return nullptr;
}

void TrashView::selectNote(int noteId)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toInt() == noteId) {
            m_list->setCurrentItem(item);
            item->setSelected(true);
            return;
        }
    }
}

void TrashView::selectFirstIfNone()
{
    if (selectedNote() || m_list->topLevelItemCount() == 0)
        return;
    const QSignalBlocker quiet(m_list);
    m_list->setCurrentItem(m_list->topLevelItem(0));
    m_list->topLevelItem(0)->setSelected(true);
}

void TrashView::showTexts()
{
    m_nodeItem->setText(0, programText("Trash (%1)").arg(m_notes.size()));
    m_list->setHeaderLabels({programText("Title"), programText("Trashed on"), programText("Catalog path")});
    m_restore->setText(programText("Restore"));
    m_delete->setText(programText("Delete"));
    m_empty->setText(programText("Empty trash"));
}

void TrashView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        showTexts();
    QWidget::changeEvent(event);
}
