#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// One <resource> of a note: its data decoded into a file of the staging folder
// while it was read, with the MD5 of the decoded bytes.
struct EnexResource
{
    QString mime;
    QString fileName;   // as the export names it (untrusted), or empty
    QString stagedPath; // the decoded data; empty when the resource had none
    QByteArray md5Hex;  // lower case
    qint64 size = 0;
};

struct EnexNote
{
    QString title;
    QByteArray content; // the ENML, UTF-8
    QDateTime created;  // invalid when the export gives none that can be read
    QStringList tags;
    QString sourceUrl;
    std::vector<EnexResource> resources;
    QStringList problems; // what could not be read
    bool hasContent = false;
};

// Reads an Evernote export note by note with libxml2's streaming reader:
// memory stays flat however large the file is. Entities are not substituted,
// no DTD is loaded, nothing is fetched from the network and libxml2's limits
// on text size stay on. Malformed XML ends the note it breaks; reading goes on
// at the next <note> after the fault.
class EnexReader
{
public:
    // stagingFolder ends with "/" and takes the decoded resources.
    EnexReader(const QString &path, const QString &stagingFolder);
    ~EnexReader();
    EnexReader(const EnexReader &) = delete;
    EnexReader &operator=(const EnexReader &) = delete;

    // The next note, or false at the end of the file (or when it is refused).
    bool next(EnexNote &note);

    // Why the whole file cannot be read (unreadable, not an export, entity
    // declarations); empty otherwise.
    QString fileProblem() const { return m_fileProblem; }
    qint64 fileSize() const;
    qint64 position() const;

    // The libxml2 side; public for its callbacks.
    struct Source;

private:
    bool startReader(qint64 offset, bool careful);
    void freeReader();
    bool readNote(EnexNote &note, qint64 offset, bool careful);
    void readNode(EnexNote &note, bool &finished);
    void appendText(EnexNote &note, const char *value);
    void openResourceFile(EnexNote &note);
    void closeResourceFile(EnexNote &note);

    QString m_path;
    QString m_stagingFolder;
    QString m_fileProblem;
    std::unique_ptr<Source> m_source;
    void *m_reader = nullptr;        // xmlTextReaderPtr
    std::vector<std::string> m_open; // names of the open elements
    bool m_inNote = false;
    bool m_sawExport = false;
    bool m_atEnd = false;
    int m_stagedCount = 0;
    qint64 m_fileSize = 0;
    QString m_createdText; // of the note being read
    QString m_tagText;
    qint64 m_nextStart = -1; // where the next note's start tag is; -1 for no more
    // The resource being decoded.
    QFile m_resourceFile;
    class Base64Decoder;
    std::unique_ptr<Base64Decoder> m_decoder;
};

// An export's time stamp (20231105T142233Z, UTC) as local time; invalid when
// it is not one.
QDateTime EnexTime(const QString &text);
