#pragma once

#include "picturefetcher.h"

#include <QByteArray>
#include <QString>

#include <functional>

// A dropped selection after parsing: links absolute, pictures stored in the
// note's folder and referenced as "images/...".
struct ParsedDrop
{
    QString sourceAddress;
    QString title;
    QString body;
    QString noteFolder; // the folder whose "images" folder received the pictures
    int pictures = 0;   // pictures found
    int stored = 0;     // pictures stored; the others read "images/"
};

// Parses clip text as it came from the drop (UTF-8, no-break spaces not yet
// replaced) and localises its fragment. The pictures go to the "images" folder
// of noteFolder, the folder of the note they are for; when that is empty, to
// today's folder under dataFolder. progress(done, total) reports the pictures
// fetched; it may be called from another thread. limits bound each download
// and the whole capture, and may cancel it. Blocks until done.
ParsedDrop parseDroppedClip(const QByteArray &clipText, const QString &dataFolder,
                            const std::function<void(int done, int total)> &progress,
                            const QString &noteFolder = QString(), const FetchOptions &limits = FetchOptions());

// Whether the clip has a picture that parsing would download from the web.
bool clipHasWebPictures(const QByteArray &clipText);

// parseDroppedClip on a worker thread, while the calling thread goes on handling its
// events (repaints, clicks, other windows). progress is called on the calling
// thread. Errors of the parse are thrown here.
ParsedDrop parseDroppedClipResponsively(const QByteArray &clipText, const QString &dataFolder,
                                        const std::function<void(int done, int total)> &progress,
                                        const QString &noteFolder = QString(),
                                        const FetchOptions &limits = FetchOptions());
