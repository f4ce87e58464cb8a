#include "resourcefiles.h"

#include "enexreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <stdexcept>

namespace {

QString extensionFor(const QString &mime)
{
    const QMimeType type = QMimeDatabase().mimeTypeForName(mime.trimmed());
    const QString suffix = type.isValid() ? type.preferredSuffix() : QString();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}

void move(const QString &from, const QString &to)
{
    if (!QFile::rename(from, to))
        throw std::runtime_error(QStringLiteral("cannot store %1").arg(to).toStdString());
}

} // namespace

bool IsPictureType(const QString &mime)
{
    // SVG is left out: it is a document that may carry scripts.
    static const QStringList Pictures{QStringLiteral("image/png"), QStringLiteral("image/jpeg"),
                                      QStringLiteral("image/jpg"), QStringLiteral("image/gif"),
                                      QStringLiteral("image/bmp"), QStringLiteral("image/webp")};
    return Pictures.contains(mime.trimmed().toLower());
}

bool IsPictureFile(const QString &path)
{
    static const QStringList Pictures{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("gif"), QStringLiteral("bmp"), QStringLiteral("webp")};
    return Pictures.contains(QFileInfo(path).suffix().toLower());
}

QString SafeFileName(const QString &name, const QString &mime)
{
    QString safe;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            safe += QLatin1Char('_');
        else if (c.category() != QChar::Other_Control && c != QChar(0))
            safe += c;
    }
    safe = safe.trimmed();
    while (safe.startsWith(QLatin1Char('.')))
        safe.remove(0, 1);
    if (safe.size() > 200)
        safe = safe.right(200);
    if (safe.isEmpty())
        safe = QStringLiteral("attachment") + extensionFor(mime);
    return safe;
}

ResourceFiles::ResourceFiles(const QString &dayFolder)
    : m_dayFolder(dayFolder)
{
}

EnmlMedia ResourceFiles::store(const EnexResource &resource)
{
    EnmlMedia media;
    if (IsPictureType(resource.mime)) {
        const QString images = m_dayFolder + QStringLiteral("/images/");
        QDir().mkpath(images);
        const QString extension = extensionFor(resource.mime);
        QString name = QString::fromLatin1(resource.md5Hex) + extension;
        for (int number = 2; QFileInfo::exists(images + name); ++number)
            name = QStringLiteral("%1-%2%3").arg(QString::fromLatin1(resource.md5Hex)).arg(number).arg(extension);
        move(resource.stagedPath, images + name);
        m_stored << images + name;
        media.picture = true;
        media.reference = ("images/" + name).toStdString();
        return media;
    }
    const QString attaches = m_dayFolder + QStringLiteral("/attaches/");
    QDir().mkpath(attaches);
    const QString candidate = freeAttachmentName(SafeFileName(resource.fileName, resource.mime));
    move(resource.stagedPath, attaches + candidate);
    m_stored << attaches + candidate;
    m_attachmentNames << candidate;
    media.name = candidate.toStdString();
    return media;
}

QString ResourceFiles::freeAttachmentName(const QString &name) const
{
    const QString attaches = m_dayFolder + QStringLiteral("/attaches/");
    QString candidate = name;
    for (int number = 1; QFileInfo::exists(attaches + candidate); ++number)
        candidate = QString::number(number) + name;
    return candidate;
}

QString ResourceFiles::copyPicture(const QString &path)
{
    const QString images = m_dayFolder + QStringLiteral("/images/");
    QDir().mkpath(images);
    const QFileInfo source(path);
    const QString base = SafeFileName(source.completeBaseName(), {});
    const QString extension = QLatin1Char('.') + source.suffix().toLower();
    QString name = base + extension;
    for (int number = 2; QFileInfo::exists(images + name); ++number)
        name = QStringLiteral("%1-%2%3").arg(base).arg(number).arg(extension);
    if (!QFile::copy(path, images + name))
        throw std::runtime_error(QStringLiteral("cannot store %1").arg(images + name).toStdString());
    m_stored << images + name;
    return QStringLiteral("images/") + name;
}

QString ResourceFiles::copyAttachment(const QString &path)
{
    QDir().mkpath(m_dayFolder + QStringLiteral("/attaches/"));
    const QString name = freeAttachmentName(SafeFileName(QFileInfo(path).fileName(), {}));
    const QString target = m_dayFolder + QStringLiteral("/attaches/") + name;
    if (!QFile::copy(path, target))
        throw std::runtime_error(QStringLiteral("cannot store %1").arg(target).toStdString());
    m_stored << target;
    m_attachmentNames << name;
    return QStringLiteral("attaches/") + name;
}

QList<AttachListRecord> ResourceFiles::attachments(const QString &relativeFolder) const
{
    QList<AttachListRecord> records;
    for (const QString &name : m_attachmentNames) {
        AttachListRecord record;
        record.attname = name;
        record.path = relativeFolder;
        records << record;
    }
    return records;
}

void ResourceFiles::discard()
{
    for (const QString &path : m_stored)
        QFile::remove(path);
    m_stored.clear();
    m_attachmentNames.clear();
}

void removeStagedFiles(const EnexNote &note)
{
    for (const EnexResource &resource : note.resources) {
        if (!resource.stagedPath.isEmpty())
            QFile::remove(resource.stagedPath);
    }
}
