#pragma once

#include <QString>

// Paths stored in the database name files relative to the data folder. A row
// may come from a backup made elsewhere or from a damaged file, so a stored
// path is only ever used once it is known to stay inside the data folder: no
// absolute path, no ".." part, no empty name.
namespace StoredPath {

// The stored path (either separator) stays inside the data folder.
bool isInside(const QString &storedPath);
// An attachment's folder and file name together stay inside, and the name
// names a file of that folder.
bool isInsideAttachment(const QString &folder, const QString &name);

// dataFolder + the stored path, with "/" separators; empty when it would lead
// outside the data folder.
QString resolve(const QString &dataFolder, const QString &storedPath);

// The file exists inside the data folder once links are followed too: for
// reading a file whose copy leaves the program (an export).
bool isRealFileInside(const QString &dataFolder, const QString &path);

} // namespace StoredPath
