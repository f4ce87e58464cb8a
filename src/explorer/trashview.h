#pragma once

#include "notetrash.h"

#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The trash as the explorer shows it: a node of its own, "Trash (n)", below
// the catalog tree, and in place of the note list the trashed notes (title,
// when trashed, the catalog path they had) with Restore, Delete and "Empty
// trash". Enter restores the chosen note and Delete deletes it; the explorer's
// trash commands do the work.
class TrashView : public QWidget
{
    Q_OBJECT

public:
    // nodeParent: the pane that holds the catalog tree, which places the node.
    TrashView(QWidget *nodeParent, QWidget *parent);

    QTreeWidget *node() const { return m_node; }
    QTreeWidget *list() const { return m_list; }
    QPushButton *restoreButton() const { return m_restore; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *emptyButton() const { return m_empty; }

    // Lists the notes and shows their number on the node; keeps the chosen
    // note chosen when it is still there.
    void showNotes(const QList<TrashedNote> &notes);
    // The chosen note, or null.
    const TrashedNote *selectedNote() const;
    void selectNote(int noteId);
    // Chooses the first note when none is chosen, without telling.
    void selectFirstIfNone();
    int noteCount() const { return int(m_notes.size()); }

signals:
    void opened();     // the trash node was chosen
    void noteChosen(); // another trashed note was chosen
    void restoreRequested();
    void deleteRequested();
    void emptyRequested();

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showTexts();

    QTreeWidget *m_node = nullptr;
    QTreeWidgetItem *m_nodeItem = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_restore = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_empty = nullptr;
    QList<TrashedNote> m_notes;
};
