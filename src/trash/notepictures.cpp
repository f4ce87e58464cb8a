#include "notepictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace {

QString dayFolderOf(const QString &noteFile)
{
    const qsizetype slash = noteFile.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : noteFile.left(slash + 1);
}

QByteArray fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The picture names a note's text refers to, decoded.
QSet<QString> referencedNames(const QByteArray &text)
{
    static const QRegularExpression reference(QStringLiteral("images[/\\\\]([^\"'\\s<>()?#/\\\\]+)"));
    QSet<QString> names;
    const QString html = QString::fromUtf8(text);
    for (const QRegularExpressionMatch &match : reference.globalMatch(html)) {
        QString name = QUrl::fromPercentEncoding(match.captured(1).toUtf8());
        name.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names.insert(name);
    }
    return names;
}

} // namespace

QStringList notePictures(const QString &dataFolder, const QString &noteFile)
{
    const QString day = dayFolderOf(noteFile);
    QStringList pictures;
    for (const QString &name : referencedNames(fileText(dataFolder + noteFile))) {
        const QString picture = day + QStringLiteral("images/") + name;
        if (QFileInfo(dataFolder + picture).isFile())
            pictures << picture;
    }
    pictures.sort();
    return pictures;
}

QStringList picturesSharedWithOthers(const QString &dataFolder, const QString &noteFile, const QStringList &pictures)
{
    if (pictures.isEmpty())
        return {};
    const QString day = dayFolderOf(noteFile);
    const QString ownName = QFileInfo(noteFile).fileName();
    QSet<QString> usedElsewhere;
    // Every note file of the folder counts, with a row or not: a picture is only
    // taken away when nothing else there could show it.
    const QStringList others = QDir(dataFolder + day).entryList({QStringLiteral("*.html")}, QDir::Files);
    for (const QString &other : others) {
        if (other == ownName || other == QLatin1String("template.html"))
            continue;
        usedElsewhere.unite(referencedNames(fileText(dataFolder + day + other)));
    }
    QStringList shared;
    for (const QString &picture : pictures) {
        if (usedElsewhere.contains(picture.mid(picture.lastIndexOf(QLatin1Char('/')) + 1)))
            shared << picture;
    }
    return shared;
}
