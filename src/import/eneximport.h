#pragma once

#include "enexreport.h"

#include <QString>

#include <functional>

class TDBDataModule;
struct EnexNote;

// Imports Evernote exports: each note becomes a note file in the folder of the
// day it was created on, filed as a save files it (one transaction per note),
// under "Imported,<export's name>". Pictures go to the day's images folder,
// other resources become attachments; tags are kept as a last line of the
// note. A note that cannot be read whole is stored with what could be read and
// reported. A link from one imported note to another leads to its file.
class EnexImport
{
public:
    // dataFolder ends with "/".
    EnexImport(TDBDataModule &database, const QString &dataFolder);

    // Whether notes of an export of that file name were imported before.
    bool importedBefore(const QString &enexPath);

    enum class Again {
        Skip,   // notes imported before from that file are left alone
        Import, // and imported once more
    };
    // Told how far the reading is after each note; answering false stops the
    // import there, keeping the notes stored so far.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    EnexImportReport importFile(const QString &enexPath, Again again, const Progress &progress = {});

    // The catalog path the notes of an export go under.
    static QString catalogPathFor(const QString &enexPath);

private:
    struct StoredNote;
    StoredNote storeNote(const EnexNote &note, const QString &catalogPath, const QString &exportName,
                         const QByteArray &key, QStringList &problems);
    void relink(const QList<StoredNote> &notes);

    TDBDataModule &m_database;
    QString m_dataFolder;
};

// The import key of a note: the same note of the same export gives the same key.
QByteArray EnexNoteKey(const EnexNote &note);
