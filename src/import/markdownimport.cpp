#include "markdownimport.h"

#include "dbdatamodule.h"
#include "dropdata.h"
#include "importednotewriter.h"
#include "markdownconverter.h"
#include "pagelinks.h"
#include "sourcefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

struct MarkdownImport::Page
{
    QString path;        // canonical
    QString catalogPath; // of its folder
};

namespace {

bool isPageFile(const QString &path)
{
    return path.endsWith(QLatin1String(".md"), Qt::CaseInsensitive);
}

QDateTime createdFrom(const QString &written)
{
    for (const QString &format :
         {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-dd")}) {
        const QDateTime time = QDateTime::fromString(written, format);
        if (time.isValid())
            return time;
    }
    return QDateTime::fromString(written, Qt::ISODate).toLocalTime();
}

} // namespace

QString CatalogNodeName(const QString &folderName, const QString &fallback)
{
    QString name = folderName;
    name.replace(QLatin1Char(','), QLatin1Char(' '));
    name = cleanTitle(name);
    return name.isEmpty() ? fallback : name;
}

MarkdownImport::MarkdownImport(TDBDataModule &database, const QString &dataFolder)
    : m_database(database)
    , m_dataFolder(dataFolder)
{
}

QString MarkdownImport::catalogPathFor(const QString &folder)
{
    return QStringLiteral("Imported,") +
           CatalogNodeName(QFileInfo(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())).fileName(),
                           QStringLiteral("Markdown"));
}

EnexImportReport MarkdownImport::importFolder(const QString &folder, const Progress &progress)
{
    EnexImportReport report;
    const QString folderName = QFileInfo(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())).fileName();
    const SourceFolder source(folder);
    if (!source.isValid()) {
        report.problems.append({folderName, {}, QStringLiteral("not a folder")});
        return report;
    }
    // All pages first: a link may lead to a page further on.
    QList<Page> pages;
    QStringList otherFiles;
    m_pageOfName.clear();
    m_fileOfName.clear();
    m_copied.clear();
    QList<Page> folders{{source.root(), catalogPathFor(folder)}};
    while (!folders.isEmpty()) {
        const Page at = folders.takeFirst();
        const SourceFolder::Listing listing = source.list(at.path);
        for (const QString &problem : listing.problems)
            report.problems.append({folderName, {}, problem});
        for (const QString &file : listing.files) {
            const QString canonical = QFileInfo(file).canonicalFilePath();
            const QString name = QFileInfo(file).fileName().toLower();
            if (isPageFile(file)) {
                pages.append({canonical, at.catalogPath});
                m_pageOfName.insert(QFileInfo(name).completeBaseName(),
                                    m_pageOfName.value(QFileInfo(name).completeBaseName(), canonical));
            } else {
                otherFiles << canonical;
            }
            m_fileOfName.insert(name, m_fileOfName.value(name, canonical));
        }
        QList<Page> inside;
        for (const QString &sub : listing.folders)
            inside.append({sub, at.catalogPath + QLatin1Char(',') +
                                    CatalogNodeName(QFileInfo(sub).fileName(), QStringLiteral("_"))});
        folders = inside + folders;
    }

    ImportedPages imported(report, m_dataFolder);
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const Page &page = pages[i];
        const QString file = source.relative(page.path);
        imported.store(file, file, QFileInfo(page.path).completeBaseName(),
                       [&](QString &title, QStringList &problems) { return storePage(page, source, title, problems); });
        if (progress && !progress(i + 1, pages.size())) {
            report.cancelled = true;
            break;
        }
    }
    imported.relink();
    if (!report.cancelled) {
        for (const QString &file : otherFiles) {
            if (!m_copied.contains(file))
                report.problems.append({source.relative(file), {}, QStringLiteral("no page refers to it; left out")});
        }
    }
    return report;
}

QString MarkdownImport::findByName(const QString &target, bool page) const
{
    const QString name = target.toLower();
    if (page && m_pageOfName.contains(name))
        return m_pageOfName.value(name);
    return m_fileOfName.value(name);
}

StoredPage MarkdownImport::storePage(const Page &page, const SourceFolder &source, QString &title,
                                     QStringList &problems)
{
    StoredPage stored;
    QFile file(page.path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    const std::string text = bytes.toStdString();
    const MarkdownPage parts = SplitFrontMatter(text);

    QDateTime created = QFileInfo(page.path).lastModified();
    const QString writtenCreated = QString::fromStdString(parts.frontMatter.created);
    if (!writtenCreated.isEmpty()) {
        const QDateTime written = createdFrom(writtenCreated);
        if (written.isValid())
            created = written;
        else
            problems << QStringLiteral("the creation time \"%1\" is not understood").arg(writtenCreated);
    }
    ImportedNoteWriter writer(m_dataFolder, created);
    const QString pageFolder = QFileInfo(page.path).absolutePath();
    QHash<QString, QString> copies; // source file → address in the note
    const MarkdownConversion conversion =
        ConvertMarkdown(parts.body, [&](MarkdownReference kind, const std::string &written) -> std::string {
            QString target = QString::fromStdString(written);
            QString why;
            QString path;
            const bool wiki = kind == MarkdownReference::WikiLink || kind == MarkdownReference::WikiEmbed;
            if (wiki) {
                // [[Page#Heading]] and [[Page^block]] lead to the page.
                target = target.section(QLatin1Char('#'), 0, 0).section(QLatin1Char('^'), 0, 0).trimmed();
                if (target.contains(QLatin1Char('/'))) {
                    path = source.resolve(source.root(), target, &why);
                    if (path.isEmpty() && !isPageFile(target))
                        path = source.resolve(source.root(), target + QStringLiteral(".md"), &why);
                }
                if (path.isEmpty())
                    path = findByName(target, kind == MarkdownReference::WikiLink);
                if (path.isEmpty() && !target.contains(QLatin1Char('/')))
                    why = QStringLiteral("a wiki-link leads to no page or file: %1").arg(target);
            } else {
                path = source.resolve(pageFolder, target, &why);
            }
            if (path.isEmpty()) {
                problems << why;
                return {};
            }
            if (isPageFile(path)) {
                stored.linksPages = true;
                return PageLinkAddress(source.relative(path));
            }
            m_copied.insert(path);
            if (!copies.contains(path)) {
                const bool picture = kind == MarkdownReference::Picture || kind == MarkdownReference::WikiEmbed;
                copies.insert(path, picture && IsPictureFile(path) ? writer.resources().copyPicture(path)
                                                                   : writer.resources().copyAttachment(path));
            }
            return copies.value(path).toStdString();
        });
    if (conversion.rawHtmlLeftOut)
        problems << QStringLiteral("raw HTML is left out");

    NoteBody body;
    body.html = QString::fromStdString(conversion.html).trimmed();
    for (const std::string &tag : parts.frontMatter.tags)
        body.tags << QString::fromStdString(tag);
    body.title = cleanTitle(QString::fromStdString(parts.frontMatter.title));
    if (body.title.isEmpty())
        body.title = cleanTitle(QFileInfo(page.path).completeBaseName());
    title = body.title;
    ImportedNoteWriter::Filing filing;
    filing.catalogPath = page.catalogPath;
    stored.filed = writer.file(m_database, body, filing);
    return stored;
}
