#pragma once

#include <QString>
#include <QStringList>

// A folder of another program's notes, read without leaving it: references
// written in its pages lead only to files inside it, hidden entries (".git",
// ".obsidian", ".trash") are passed over, and symbolic links are followed
// only to files inside the folder.
class SourceFolder
{
public:
    explicit SourceFolder(const QString &root);

    bool isValid() const { return !m_root.isEmpty(); }
    QString root() const { return m_root; } // canonical, no trailing "/"
    // The path of a file inside the folder relative to its top.
    QString relative(const QString &path) const;

    // The canonical path of the file a page in the folder fromFolder names
    // by that relative path; empty, with why, when it is not followed.
    QString resolve(const QString &fromFolder, const QString &reference, QString *why) const;

    struct Listing
    {
        QStringList folders; // full paths, sorted by name
        QStringList files;
        QStringList problems; // entries not followed, with the reason
    };
    Listing list(const QString &folder) const;

private:
    bool contains(const QString &path) const;

    QString m_root;
};
