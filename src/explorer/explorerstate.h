#pragma once

#include <QString>

// What the explorer remembers besides its controls.
struct ExplorerState
{
    int CurrentTagId = -1; // the node whose notes are listed (or the node of the note opened)
    QString CurrentTagPath;
    int CurrentNoteId = -1; // the note last shown or opened for editing
    QString SearchText;     // the active title search; empty when none is active
    QString EditNoteFile;   // full path, title and catalog path of the note last shown or opened
    QString EditNoteTitle;
    QString EditTagPath;
};
