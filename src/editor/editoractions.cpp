// The editor's actions that have shortcuts of their own: Undo and Redo.
#include "editorform.h"

#include "exwebbrowser.h"
#include "formattoolbar.h"

#include <QAction>
#include <QToolButton>

namespace {

QAction *editAction(TEditorForm *editor, QToolBar *bar, const char *name, const QString &text, const QString &iconName,
                    const QList<QKeySequence> &keys)
{
    auto *action = new QAction(QIcon::fromTheme(iconName), text, editor);
    action->setObjectName(QLatin1String(name) + QStringLiteral("Act"));
    action->setToolTip(text);
    action->setShortcuts(keys);
    // The window's action, so that the keys work wherever the focus is in it.
    action->setShortcutContext(Qt::WindowShortcut);
    editor->addAction(action);
    QToolButton *button = makeToolButton(bar, name, text, action->icon());
    QObject::connect(button, &QToolButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    return action;
}

} // namespace

void TEditorForm::createEditActions()
{
    UndoAct = editAction(this, secondBar, "Undo", tr("Undo"), QStringLiteral("edit-undo"),
                         {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    RedoAct = editAction(this, secondBar, "Redo", tr("Redo"), QStringLiteral("edit-redo"),
                         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // The title and catalog fields keep their own undo; the keys reach them first.
    connect(UndoAct, &QAction::triggered, this, [this] { Content->ExecCommand(QStringLiteral("undo")); });
    connect(RedoAct, &QAction::triggered, this, [this] { Content->ExecCommand(QStringLiteral("redo")); });
}
