#pragma once

#include <QString>

class QWidget;

// Asks a question before something is deleted, with Yes and No and No as the
// default button, so that Enter or Space alone never destroys anything.
bool askYesNoDefaultNo(QWidget *parent, const QString &question);
