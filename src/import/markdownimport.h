#pragma once

#include "enexreport.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

class SourceFolder;
struct StoredPage;
class TDBDataModule;

// Imports a folder of Markdown pages (a vault): each folder becomes a catalog
// node under "Imported,<folder's name>" and each .md file a note in it, with
// the title, creation time and tags of its front matter where it has them.
// Pictures and files the pages refer to are copied beside the notes, and
// wiki-links and links to other pages lead to the pages' notes. Hidden
// folders are passed over; nothing outside the folder is read.
class MarkdownImport
{
public:
    // dataFolder ends with "/".
    MarkdownImport(TDBDataModule &database, const QString &dataFolder);

    // Told after each page; answering false stops there, keeping the notes
    // stored so far.
    using Progress = std::function<bool(qint64 done, qint64 total)>;
    EnexImportReport importFolder(const QString &folder, const Progress &progress = {});

    // The catalog path the notes of a folder go under.
    static QString catalogPathFor(const QString &folder);

private:
    struct Page;
    StoredPage storePage(const Page &page, const SourceFolder &source, QString &title, QStringList &problems);
    QString findByName(const QString &target, bool page) const;

    TDBDataModule &m_database;
    QString m_dataFolder;
    QHash<QString, QString> m_pageOfName; // lower-case base name → path, the first of that name
    QHash<QString, QString> m_fileOfName; // lower-case file name → path
    QSet<QString> m_copied;               // the files the pages refer to
};

// A catalog node's name made from a folder's name: no commas, which would
// split it, and never empty.
QString CatalogNodeName(const QString &folderName, const QString &fallback);
