#pragma once

#include <QByteArray>
#include <QString>

// The text a reader sees in a note: the body's character data with entities
// decoded, without markup, attribute values, the head, scripts, styles or
// templates. Block elements and line breaks become line ends so that words on
// either side stay apart.
QString visibleText(const QByteArray &html);

// The visible text of a note file; empty when the file cannot be read.
QString visibleTextOfFile(const QString &path);
