#pragma once

#include "enexreport.h"
#include "importednotewriter.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
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

// What storing a page as a note gave.
struct StoredPage
{
    ImportedNoteFiled filed;
    bool linksPages = false; // its note links to other pages through PageLinkAddress
};

// The pages of a folder stored one after the other, each counted into the
// report, and at the end their links pointed at each other's notes.
class ImportedPages
{
public:
    ImportedPages(EnexImportReport &report, const QString &dataFolder);

    // Stores a page through storePage, which throws when it cannot; what went
    // wrong is reported under the page's file and title (which storePage may
    // change).
    void store(const QString &pageKey, const QString &file, QString title,
               const std::function<StoredPage(QString &title, QStringList &problems)> &storePage);
    void relink();

private:
    EnexImportReport &m_report;
    QString m_dataFolder;
    QHash<QString, QString> m_fileOfPage;
    QStringList m_linking; // the notes that link to pages
};
