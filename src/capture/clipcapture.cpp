#include "clipcapture.h"

#include "notefilestore.h"
#include "noterelativiser.h"

#include <QFile>
#include <QFileInfo>

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


QByteArray RelativisedNoteText(const QByteArray &text, const QString &noteFilePath)
{
    const QString folder = QFileInfo(noteFilePath).absolutePath() + QLatin1Char('/');
    const std::string relative =
        RelativiseNoteText(text.toStdString(), QFile::encodeName(folder).toStdString());
    return QByteArray::fromStdString(relative);
}
