#pragma once

#include <QString>

// The page that shows an earlier version of a note: its HTML with the words
// that differ from the current text marked (see markedDifferences), pictures
// and links resolved from the note's own folder, and the marks styled so that
// they stand out: added words green and underlined, removed ones red and struck
// through.
QString markedVersionPage(const QString &versionHtml, const QString &currentHtml, const QString &noteFolder);
