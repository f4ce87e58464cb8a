#include "everyhistoryprune.h"

#include "notehistory.h"

int pruneEveryNoteHistory(const QString &dataFolder, const HistoryKeeping &keeping, const QDateTime &now)
{
    int dropped = 0;
    for (const int noteId : notesWithHistory(dataFolder))
        dropped += NoteHistory(dataFolder, noteId).prune(keeping, now);
    return dropped;
}
