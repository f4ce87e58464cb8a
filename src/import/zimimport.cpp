#include "zimimport.h"

#include "dbdatamodule.h"
#include "dropdata.h"
#include "importednotewriter.h"
#include "markdownimport.h"
#include "pagelinks.h"
#include "sourcefolder.h"
#include "zimconverter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <stdexcept>

struct ZimImport::Page
{
    QString path;     // the page's .txt file
    QStringList name; // the page and its parents, as shown: "Home", "Sub Page"
};

namespace {

QString shownName(const QString &fileName)
{
    return QFileInfo(fileName).completeBaseName().replace(QLatin1Char('_'), QLatin1Char(' '));
}

QString keyOf(const QStringList &name)
{
    return name.join(QLatin1Char(':')).toLower();
}

QStringList linkParts(const QString &link)
{
    QStringList parts;
    for (const QString &part : link.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        parts << part.trimmed().replace(QLatin1Char('_'), QLatin1Char(' '));
    return parts;
}

} // namespace

ZimImport::ZimImport(TDBDataModule &database, const QString &dataFolder)
    : m_database(database)
    , m_dataFolder(dataFolder)
{
}

bool ZimImport::isNotebook(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/notebook.zim")).isFile();
}

// A link names a page from the one it is on: ":A:B" from the top, "+A" below
// it, and "A:B" beside it or, failing that, beside one of its parents.
QString ZimImport::resolvePage(const QStringList &from, const QString &link) const
{
    const QString written = link.trimmed();
    const QStringList parts = linkParts(written.startsWith(QLatin1Char('+')) ? written.mid(1) : written);
    if (parts.isEmpty())
        return {};
    if (written.startsWith(QLatin1Char(':')))
        return m_pageFiles.contains(keyOf(parts)) ? keyOf(parts) : QString();
    if (written.startsWith(QLatin1Char('+')))
        return m_pageFiles.contains(keyOf(from + parts)) ? keyOf(from + parts) : QString();
    for (qsizetype depth = from.size() - 1; depth >= 0; --depth) {
        const QString key = keyOf(from.mid(0, depth) + parts);
        if (m_pageFiles.contains(key))
            return key;
    }
    return {};
}

EnexImportReport ZimImport::importNotebook(const QString &folder, const Progress &progress)
{
    EnexImportReport report;
    const QString folderName = QFileInfo(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())).fileName();
    const SourceFolder source(folder);
    if (!source.isValid() || !isNotebook(source.root())) {
        report.problems.append({folderName, {}, QStringLiteral("not a Zim notebook")});
        return report;
    }
    QList<Page> pages;
    m_pageFiles.clear();
    QList<Page> folders{{source.root(), {}}};
    while (!folders.isEmpty()) {
        const Page at = folders.takeFirst();
        const SourceFolder::Listing listing = source.list(at.path);
        for (const QString &problem : listing.problems)
            report.problems.append({folderName, {}, problem});
        for (const QString &file : listing.files) {
            if (file.endsWith(QLatin1String(".txt"))) {
                pages.append({file, at.name + QStringList{shownName(file)}});
                m_pageFiles.insert(keyOf(pages.last().name), file);
            } else if (at.name.isEmpty() ? QFileInfo(file).fileName() != QLatin1String("notebook.zim")
                                         : !QFileInfo::exists(at.path + QStringLiteral(".txt"))) {
                // Files beside the pages, or in a folder of no page, belong to none.
                report.problems.append({folderName, {}, QStringLiteral("not a page: %1").arg(source.relative(file))});
            }
        }
        QList<Page> inside;
        for (const QString &sub : listing.folders)
            inside.append({sub, at.name + QStringList{shownName(sub + QStringLiteral(".txt"))}});
        folders = inside + folders;
    }
    ImportedPages imported(report, m_dataFolder);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const Page &page = pages[i];
        imported.store(keyOf(page.name), source.relative(page.path), page.name.last(),
                       [&](QString &, QStringList &problems) { return storePage(page, source, problems); });
        if (progress && !progress(i + 1, pages.size())) {
            report.cancelled = true;
            break;
        }
    }
    imported.relink();
    return report;
}

StoredPage ZimImport::storePage(const Page &page, const SourceFolder &source, QStringList &problems)
{
    QFile file(page.path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const std::string text = file.readAll().toStdString();
    const ZimPageText parts = SplitZimHeaders(text);

    QDateTime created = QFileInfo(page.path).lastModified();
    for (const auto &[key, value] : parts.headers) {
        if (key != "Creation-Date" || value == "Unknown") // Zim's own pages say "Unknown"
            continue;
        QDateTime written = QDateTime::fromString(QString::fromStdString(value), Qt::ISODate);
        if (!written.isValid()) // as older notebooks write it
            written = QDateTime::fromString(QString::fromStdString(value), Qt::RFC2822Date);
        if (written.isValid())
            created = written.toLocalTime();
        else
            problems << QStringLiteral("the creation time \"%1\" is not understood").arg(QString::fromStdString(value));
    }
    ImportedNoteWriter writer(m_dataFolder, created);
    // A page's files are in the folder named after it.
    const QString pageFolder = page.path.chopped(4);
    StoredPage stored;
    QHash<QString, QString> copies;
    std::string html = ConvertZimWiki(parts.body, [&](ZimReference kind, const std::string &written) -> std::string {
        const QString target = QString::fromStdString(written);
        if (kind == ZimReference::Page) {
            const QString key = resolvePage(page.name, target.section(QLatin1Char('#'), 0, 0));
            if (key.isEmpty()) {
                problems << (target.contains(QLatin1Char('?'))
                                 ? QStringLiteral("a link to another wiki is kept as text: %1")
                                 : QStringLiteral("a link leads to no page: %1"))
                                .arg(target);
                return {};
            }
            stored.linksPages = true;
            return PageLinkAddress(key);
        }
        QString why;
        const QString path =
            source.resolve(pageFolder, target.startsWith(QLatin1String("file:")) ? QString() : target, &why);
        if (path.isEmpty()) {
            problems << (target.startsWith(QLatin1String("file:"))
                             ? QStringLiteral("an absolute path is not followed: %1").arg(target)
                             : why);
            return {};
        }
        if (!copies.contains(path))
            copies.insert(path, kind == ZimReference::Picture && IsPictureFile(path)
                                    ? writer.resources().copyPicture(path)
                                    : writer.resources().copyAttachment(path));
        return copies.value(path).toStdString();
    });
    // The rest of the page's files belong to it too.
    const QStringList files = QFileInfo(pageFolder).isDir() ? source.list(pageFolder).files : QStringList();
    for (const QString &other : files) {
        const QString path = QFileInfo(other).canonicalFilePath();
        if (other.endsWith(QLatin1String(".txt")) || copies.contains(path))
            continue;
        const QString address = writer.resources().copyAttachment(path);
        html += QStringLiteral("<p><a href=\"%1\">%2</a></p>\n")
                    .arg(address.toHtmlEscaped(), QFileInfo(address).fileName().toHtmlEscaped())
                    .toStdString();
    }
    NoteBody body;
    body.html = QString::fromStdString(html).trimmed();
    body.title = cleanTitle(page.name.last());
    // Zim tags a page with @words in its text; they are kept as a note's tags are.
    static const QRegularExpression Tag(QStringLiteral("(?:^|\\s)@(\\w+)"),
                                        QRegularExpression::UseUnicodePropertiesOption);
    for (const QRegularExpressionMatch &match : Tag.globalMatch(QString::fromStdString(std::string(parts.body)))) {
        if (!body.tags.contains(match.captured(1)))
            body.tags << match.captured(1);
    }
    ImportedNoteWriter::Filing filing;
    filing.catalogPath =
        QStringLiteral("Imported,") + CatalogNodeName(QFileInfo(source.root()).fileName(), QStringLiteral("Zim"));
    for (qsizetype i = 0; i + 1 < page.name.size(); ++i)
        filing.catalogPath += QLatin1Char(',') + CatalogNodeName(page.name[i], QStringLiteral("_"));
    stored.filed = writer.file(m_database, body, filing);
    return stored;
}
