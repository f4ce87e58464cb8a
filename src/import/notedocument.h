#pragma once

#include <QString>
#include <QStringList>

// The note file of an imported note: the day folder's template with the
// title and the body put in.
struct NoteBody
{
    QString title;
    QString html;     // the body's content
    QStringList tags; // kept as a last line "Tags: a, b", so that a search finds them
};

// The whole document.
QString noteDocument(const QString &templateHtml, const NoteBody &body);
// Writes it atomically (a whole new file or none); the failure, or empty.
QString writeNoteDocument(const QString &path, const QString &templatePath, const NoteBody &body);
