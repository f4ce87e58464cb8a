#pragma once

#include <QByteArray>
#include <QString>

class QSaveFile;

// Files that are either written whole or not at all. Every call is checked
// (each write's count, the flush, the final rename), because a short write on a
// full disk otherwise goes unnoticed and a cut-off file replaces a whole one.
// Each answers an empty text on success, otherwise the reason, for a message
// that also names the file.

// Writes the bytes through a temporary file beside the target that is renamed
// over it; on failure the old file stays as it was and no temporary is left.
QString writeWholeFile(const QString &path, const QByteArray &bytes);

// Copies a file the same way: the copy appears only once it is complete.
QString copyWholeFile(const QString &sourcePath, const QString &targetPath);

// For files written piece by piece through a QSaveFile of the caller's: every
// write, then the flush and the rename, are checked here. A failed write or
// finish cancels the file, so nothing replaces the old one.
QString writeToWholeFile(QSaveFile &file, const char *data, qint64 size);
QString finishWholeFile(QSaveFile &file);
