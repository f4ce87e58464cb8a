#pragma once

#include <QString>

class QAction;
class QObject;

// A menu entry that points to an action: it runs the action and follows its
// caption, icon, enabled and checked state, but carries a name of its own so
// that a language file can give the entry its own text (setEntryText).
QAction *menuEntryFor(QAction *action, const QString &name, QObject *parent);
// Gives the entry a text shown as written ("drag&drop" keeps its "&"). The text
// "-" makes the entry a separator; any other text on a separator makes it an
// ordinary entry.
void setEntryText(QAction *entry, const QString &text);
// A separator entry with its own name; a language file may give it a text.
QAction *namedSeparator(const QString &name, QObject *parent);
// The caption a menu or action shows for a text meant literally: "&" is no
// accelerator mark.
QString literalCaption(const QString &text);
