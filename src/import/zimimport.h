#pragma once

#include "enexreport.h"

#include <QHash>
#include <QString>

#include <functional>

class SourceFolder;
struct StoredPage;
class TDBDataModule;

// Imports a Zim notebook (a folder with notebook.zim at its top): each page
// becomes a note under "Imported,<folder's name>", in a node of its parent
// page; the files in a page's folder are copied beside its note, pictures
// shown and the rest attached, links between pages lead to the pages' notes,
// and a page's @tags are kept as a note's tags are. Nothing outside the
// notebook's folder is read.
class ZimImport
{
public:
    // dataFolder ends with "/".
    ZimImport(TDBDataModule &database, const QString &dataFolder);

    // Whether the folder holds a Zim notebook.
    static bool isNotebook(const QString &folder);

    // Told after each page; answering false stops there, keeping the notes
    // stored so far.
    using Progress = std::function<bool(qint64 done, qint64 total)>;
    EnexImportReport importNotebook(const QString &folder, const Progress &progress = {});

private:
    struct Page;
    StoredPage storePage(const Page &page, const SourceFolder &source, QStringList &problems);
    QString resolvePage(const QStringList &from, const QString &link) const;

    TDBDataModule &m_database;
    QString m_dataFolder;
    QHash<QString, QString> m_pageFiles; // page key ("home:sub page") → its file
};
