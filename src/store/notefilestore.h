#pragma once

#include <QDateTime>
#include <QString>

// Where a new note goes: its file name and the folder of the day it was made in.
struct NoteLocation
{
    QString fileName;  // 18 digits (and any appended ones) + ".html", no folder
    QString dayFolder; // data folder + "MM-DD-YYYY", no trailing "/"
    // Empty when the day folder holds its copy of the template; otherwise what
    // failed and where (a full disk, say): a new note has no document then.
    QString problem;
};

// Makes (or reuses) today's folder under the data folder, with its "images"
// and "attaches" subfolders and a copy of the note template, and chooses a
// note file name that is not taken yet. dataFolder ends with "/". A subfolder
// that cannot be made shows when a file is written there.
NoteLocation NewNoteLocation(const QString &dataFolder);
// The same at the given local time; the clock reading of the overload above.
NoteLocation NewNoteLocation(const QString &dataFolder, const QDateTime &now);

// A note file name not taken yet in an existing day folder (no trailing "/"),
// from the time now: for a note that stays in the folder of the day it was
// begun on, beside its pictures and attachments.
QString NewNoteFileName(const QString &dayFolder, const QDateTime &now = QDateTime::currentDateTime());
