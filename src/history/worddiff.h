#pragma once

#include <QString>

// The HTML of an earlier version with the differences from the current text
// marked word by word: the version's words that the current text no longer has
// inside <del>, the current text's words that the version lacks inside <ins>,
// where they stand. Markup takes no part: the version's tags are kept as they
// are, words are compared as written (character references included), and
// the head, scripts, styles and comments are left alone. Long texts whose
// changed middle is too large to compare word by word are marked as one
// deletion and one insertion.
QString markedDifferences(const QString &versionHtml, const QString &currentHtml);
