#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <string>

// Links between the pages of an imported folder. A page's note links to
// another page before that page is stored, through an address that names the
// page; once the import has stored what it could, the links are pointed at
// the notes' files.

// The address standing for the page of that key until the pages are relinked.
std::string PageLinkAddress(const QString &pageKey);

// Points the page links of the note files (relative to the data folder) at
// the file of the page they name ("../MM-DD-YYYY/….html"); a link to a page
// that was not stored keeps its text and loses its address.
void RelinkPages(const QString &dataFolder, const QStringList &relativeFiles,
                 const QHash<QString, QString> &fileOfPage);
