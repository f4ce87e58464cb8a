#pragma once

#include <QString>

class QAction;
class QObject;

// A menu entry that points to an action: it runs the action and follows its
// caption, icon and enabled state, but carries a name of its own so that a
// language file can give the entry its own text (setEntryText).
QAction *menuEntryFor(QAction *action, const QString &name, QObject *parent);
void setEntryText(QAction *entry, const QString &text);
// A separator entry with its own name; a language file may give it a text.
QAction *namedSeparator(const QString &name, QObject *parent);
