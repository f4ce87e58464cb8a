#pragma once

#include <QString>
#include <QStringList>

// The pictures a note shows from the images folder of its day folder, where
// captures and inserted pictures are stored ("images/<name>" in its text).

// The pictures the note file (relative to the data folder) refers to that are
// there, relative to the data folder.
QStringList notePictures(const QString &dataFolder, const QString &noteFile);

// Of those pictures, the ones another note file of the same day folder refers
// to as well.
QStringList picturesSharedWithOthers(const QString &dataFolder, const QString &noteFile, const QStringList &pictures);
