#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The files an export writes, each written whole or not at all (every write
// checked, so a full disk never leaves an empty page that looks exported).
// What the export created is remembered so that a failed export can take it
// away again; files it replaced keep their new content.
class ExportFiles
{
public:
    // Throw std::runtime_error naming the file and the reason.
    void makeFolder(const QString &folder);
    void write(const QString &path, const QByteArray &content);
    void copy(const QString &source, const QString &target);

    // Removes every file and folder this export created, deepest first.
    void removeCreated();

private:
    void remember(const QString &path);

    QStringList m_createdFiles;
    QStringList m_createdFolders; // in the order they were made
};
