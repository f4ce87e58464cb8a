#include "clipcapture.h"

#include "notefilestore.h"
#include "noterelativiser.h"

#include <QFile>

DayFolderProvider DayFolderFromStore(const QString &dataFolder)
{
    return [dataFolder] { return QFile::encodeName(NewNoteLocation(dataFolder).dayFolder).toStdString(); };
}

ClipParts ParseClip(const std::string &clipText, const QString &dataFolder, const FetchOptions &options,
                    const ProgressCallback &progress)
{
    CaptureContext context;
    context.dayFolder = DayFolderFromStore(dataFolder);
    context.fetch = options;
    context.progress = progress;
    return ParseClip(clipText, context);
}

bool RelativiseNoteFile(const QString &noteFilePath)
{
    return RelativiseNoteFile(QFile::encodeName(noteFilePath).toStdString());
}
