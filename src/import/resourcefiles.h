#pragma once

#include "attachlistrecord.h"
#include "enmlconverter.h"

#include <QList>
#include <QString>
#include <QStringList>

struct EnexNote;
struct EnexResource;

// Moves a note's decoded resources into its day folder: pictures into images/,
// everything else into attaches/ under a name of its own that stays in that
// folder whatever the export called it.
class ResourceFiles
{
public:
    explicit ResourceFiles(const QString &dayFolder); // no trailing "/"

    // Stores one resource; throws std::runtime_error when it cannot be moved.
    EnmlMedia store(const EnexResource &resource);
    // Copies a file of another program's notes: a picture into images/, any
    // other file into attaches/; the copy's address relative to the note
    // ("images/…" or "attaches/…"). Throws std::runtime_error when it cannot.
    QString copyPicture(const QString &path);
    QString copyAttachment(const QString &path);
    // The attachment rows of the stored attachments, in the folder given
    // relative to the data folder (ending with "/").
    QList<AttachListRecord> attachments(const QString &relativeFolder) const;
    // Removes what was stored, for a note that could not be stored after all.
    void discard();

private:
    QString freeAttachmentName(const QString &name) const;

    QString m_dayFolder;
    QStringList m_stored;
    QStringList m_attachmentNames;
};

// Whether a resource of that type is shown as a picture in the note.
bool IsPictureType(const QString &mime);
// The same for a file, by its name.
bool IsPictureFile(const QString &path);
// A file name that is a plain name in its folder, made from an untrusted one.
QString SafeFileName(const QString &name, const QString &mime);
// Removes what is left in the staging folder of a note's resources.
void removeStagedFiles(const EnexNote &note);
