#include "parseddrop.h"

#include "clipcapture.h"

ParsedDrop parseDroppedClip(const QByteArray &clipText, const QString &dataFolder,
                            const std::function<void(int done, int total)> &progress)
{
    const ClipParts parts =
        ParseClip(PrepareClipText(std::string_view(clipText.constData(), size_t(clipText.size()))), dataFolder,
                  FetchOptions{}, progress);
    return {QString::fromStdString(parts.sourceAddress), QString::fromStdString(parts.title),
            QString::fromStdString(parts.body)};
}
