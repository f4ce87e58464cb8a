#pragma once

#include "clipparser.h"

#include <QByteArray>
#include <QString>

// The capture core wired to the note file store, for the program's drop targets.

// The day folder of NewNoteLocation under dataFolder (ends with "/"), asked anew at each call.
DayFolderProvider DayFolderFromStore(const QString &dataFolder);

// ParseClip with pictures stored in today's folder under dataFolder.
ClipParts ParseClip(const std::string &clipText, const QString &dataFolder, const FetchOptions &options = {},
                    const ProgressCallback &progress = {});

// The text of the note file at noteFilePath with its references to its own folder made relative.
QByteArray RelativisedNoteText(const QByteArray &text, const QString &noteFilePath);
