#pragma once

#include "notehistory.h"
#include "settings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Every replacement of a stored note's file goes through here, so that the text
// it replaces is kept as an earlier version first: its copy is on the disk, then
// the index names it, and only then is the note file replaced. A text equal to
// the file's keeps no version and writes nothing. A new note (noteId 0) or a
// file not there yet has nothing to keep. The replaced text is kept by a second
// name of its file where the file system allows (see NoteHistory::keepByLink);
// once the save has returned to the event loop it is made a version and the
// note's versions are pruned by the keeping rule at the time now.
// dataFolder ends with "/". Answers an empty text, or why the file was not
// replaced (it is then as it was).
QString replaceNoteFile(const QString &dataFolder, int noteId, const QString &path, const QByteArray &text,
                        const HistoryKeeping &keeping, const QDateTime &now = QDateTime::currentDateTime());

// Makes an earlier version the note's text again, through replaceNoteFile, so
// that the text it replaces becomes a version itself. Answers as replaceNoteFile.
QString restoreNoteVersion(const QString &dataFolder, int noteId, const QString &path, const NoteVersion &version,
                           const HistoryKeeping &keeping, const QDateTime &now = QDateTime::currentDateTime());
