#include "noteexporter.h"

#include "dbdatamodule.h"
#include "exportfiles.h"
#include "storedpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QUrl>

#include <stdexcept>

struct NoteExporter::NoteRow
{
    int noteId = 0;
    int tagId = 0;
    QString title;
    QDateTime created;
    QString fileName; // relative to the data folder, "/" separated
    QString source;   // the address the note was captured from, or empty
};

struct NoteExporter::Node
{
    int tagId = 0;
    QString name;
    int parentId = 0;
    QList<int> children; // tagids, in tagid order
};

struct NoteExporter::Catalog
{
    QHash<int, Node> nodes;
    QList<int> topLevel; // tagids of nodes without a loaded parent
};

namespace {

const QString NotesFolder = QStringLiteral("notes/");

// The policy every exported page carries first in its head: pages captured
// from the web may hold scripts, which the program never runs and a browser
// opening the export must not run either.
// Nor may a page frame other sites or local files, which a captured page can
// name but which are no part of the note.
const QString NoScripts = QStringLiteral("<meta http-equiv=\"Content-Security-Policy\" "
                                         "content=\"script-src 'none'; object-src 'none'; frame-src 'none'; "
                                         "child-src 'none'\">");

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

// Note files are processed as bytes, one character per byte, so that whatever
// encoding a page came in survives; inserted texts are added as UTF-8 bytes.
QString bytesAsText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

QString utf8AsBytes(const QString &text)
{
    return QString::fromLatin1(text.toUtf8());
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// A relative address of a file from a folder, each part escaped for an
// attribute value.
QString relativeAddress(const QString &fromFolder, const QString &toFile)
{
    const QString relative = QDir(fromFolder).relativeFilePath(toFile);
    QStringList parts = relative.split(QLatin1Char('/'));
    for (QString &part : parts)
        part = QString::fromLatin1(QUrl::toPercentEncoding(part));
    return parts.join(QLatin1Char('/')).toHtmlEscaped();
}

QString decodedEntities(QString value)
{
    value.replace(QLatin1String("&quot;"), QLatin1String("\""));
    value.replace(QLatin1String("&#39;"), QLatin1String("'"));
    value.replace(QLatin1String("&lt;"), QLatin1String("<"));
    value.replace(QLatin1String("&gt;"), QLatin1String(">"));
    value.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return value;
}

bool isInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder);
}

// Rewrites one exported page: its title, charset and script policy, the local
// files it shows, and the list of its attachments at the end of the body.
class PageWriter
{
public:
    PageWriter(const QString &dataFolder, const QString &exportNotes, ExportResult &result, ExportFiles &files)
        : m_dataFolder(dataFolder)
        , m_exportNotes(exportNotes)
        , m_result(result)
        , m_files(files)
    {
    }

    QByteArray page(const QByteArray &html, const QString &title, const QString &source, const QString &noteFile,
                    const QList<QPair<QString, QString>> &attachments, const ExportTexts &texts)
    {
        m_noteFolder = QFileInfo(m_dataFolder + noteFile).absolutePath();
        m_exportFolder = QFileInfo(m_exportNotes + noteFile).absolutePath();
        QString text = bytesAsText(html);
        text = withHead(withoutRefresh(text), title, source);
        text = withLocalFiles(text);
        if (!source.isEmpty())
            text = beforeBodyEnd(text, sourceLine(source, texts.source));
        if (!attachments.isEmpty())
            text = withAttachments(text, attachments, texts.attachments);
        return text.toLatin1();
    }

private:
    // A refresh would take the browser elsewhere, a local file among others.
    static QString withoutRefresh(QString text)
    {
        static const QRegularExpression refresh(
            QStringLiteral("<meta\\b[^>]*http-equiv\\s*=\\s*[\"']?\\s*refresh[^>]*>"),
            QRegularExpression::CaseInsensitiveOption);
        return text.remove(refresh);
    }

    // Only a web page is linked to: a local page's address is shown as text.
    static bool isWebAddress(const QString &address)
    {
        const QString scheme = QUrl(address).scheme().toLower();
        return scheme == QLatin1String("http") || scheme == QLatin1String("https");
    }

    static QString sourceLine(const QString &source, const QString &caption)
    {
        const QString shown = utf8AsBytes(escaped(source));
        return QStringLiteral("\n<p class=\"clipnest-source\">") + utf8AsBytes(escaped(caption)) + QLatin1Char(' ') +
               (isWebAddress(source) ? QStringLiteral("<a href=\"%1\">%1</a>").arg(shown) : shown) +
               QStringLiteral("</p>\n");
    }

    static QString beforeBodyEnd(QString text, const QString &html)
    {
        static const QRegularExpression bodyClose(QStringLiteral("</body\\s*>"),
                                                  QRegularExpression::CaseInsensitiveOption);
        qsizetype at = text.size();
        QRegularExpressionMatchIterator closes = bodyClose.globalMatch(text);
        while (closes.hasNext())
            at = closes.next().capturedStart();
        text.insert(at, html);
        return text;
    }

    QString withHead(QString text, const QString &title, const QString &source)
    {
        static const QRegularExpression headOpen(QStringLiteral("<head\\b[^>]*>"),
                                                 QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression htmlOpen(QStringLiteral("<html\\b[^>]*>"),
                                                 QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression titleElement(QStringLiteral("<title\\b[^>]*>.*?</title\\s*>"),
                                                     QRegularExpression::CaseInsensitiveOption |
                                                         QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression headClose(QStringLiteral("</head\\s*>"),
                                                  QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression charset(QStringLiteral("<meta\\b[^>]*charset"),
                                                QRegularExpression::CaseInsensitiveOption);

        QRegularExpressionMatch head = headOpen.match(text);
        if (!head.hasMatch()) {
            const QRegularExpressionMatch html = htmlOpen.match(text);
            text.insert(html.hasMatch() ? html.capturedEnd() : 0, QStringLiteral("<head></head>"));
            head = headOpen.match(text);
        }
        const qsizetype headEnd = headClose.match(text, head.capturedEnd()).hasMatch()
                                      ? headClose.match(text, head.capturedEnd()).capturedStart()
                                      : text.size();
        const QString headText = text.mid(head.capturedEnd(), headEnd - head.capturedEnd());

        QString added = NoScripts;
        if (!charset.match(headText).hasMatch())
            added += QStringLiteral("<meta charset=\"utf-8\">");
        const QString titleTag = QStringLiteral("<title>") + utf8AsBytes(escaped(title)) + QStringLiteral("</title>");
        const QRegularExpressionMatch oldTitle = titleElement.match(text, head.capturedEnd());
        if (oldTitle.hasMatch() && oldTitle.capturedStart() < headEnd)
            text.replace(oldTitle.capturedStart(), oldTitle.capturedLength(), titleTag);
        else
            added += titleTag;
        // Where the note came from, for the browser and for anything that reads the page.
        if (isWebAddress(source))
            added += QStringLiteral("<link rel=\"canonical\" href=\"%1\">").arg(utf8AsBytes(escaped(source)));
        text.insert(head.capturedEnd(), added);
        return text;
    }

    QString withLocalFiles(const QString &text)
    {
        static const QRegularExpression attribute(
            QStringLiteral("\\b(src|href|poster|data)(\\s*=\\s*)(\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"),
            QRegularExpression::CaseInsensitiveOption);
        QString out;
        qsizetype copiedUpTo = 0;
        QRegularExpressionMatchIterator matches = attribute.globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            const int valueGroup = match.capturedStart(4) >= 0 ? 4 : match.capturedStart(5) >= 0 ? 5 : 6;
            // Everything but a link is loaded with the page.
            const bool isSource = match.captured(1).compare(QLatin1String("href"), Qt::CaseInsensitive) != 0;
            const QString replacement = exportedAddress(match.captured(valueGroup), isSource,
                                                        isSource && isInImage(text, match.capturedStart()));
            if (replacement.isNull())
                continue;
            out += text.mid(copiedUpTo, match.capturedStart(3) - copiedUpTo);
            out += QLatin1Char('"') + replacement + QLatin1Char('"');
            copiedUpTo = match.capturedEnd(3);
        }
        out += text.mid(copiedUpTo);
        return out;
    }

    // Whether the attribute at the position belongs to an img element.
    static bool isInImage(const QString &text, qsizetype attributeStart)
    {
        const qsizetype open = text.lastIndexOf(QLatin1Char('<'), attributeStart);
        return open >= 0 && open + 4 < text.size() &&
               QStringView(text).mid(open + 1, 3).compare(QLatin1String("img"), Qt::CaseInsensitive) == 0 &&
               (text.at(open + 4).isSpace() || text.at(open + 4) == QLatin1Char('/'));
    }

    // Copies the local file an address names into the export; answers the
    // address to write instead, or a null text to keep the one there.
    QString exportedAddress(const QString &rawValue, bool isSource, bool isPicture)
    {
        const QString value = QString::fromUtf8(decodedEntities(rawValue).toLatin1()).trimmed();
        if (value.isEmpty() || value.startsWith(QLatin1Char('#')) || value.startsWith(QLatin1String("//")))
            return {};
        const QUrl address(value);
        const QString scheme = address.scheme().toLower();
        const bool relative = scheme.isEmpty() && !value.startsWith(QLatin1Char('/'));
        if (!scheme.isEmpty() && scheme != QLatin1String("file"))
            return {};
        const QString path = QDir::cleanPath(
            scheme.isEmpty() ? QUrl::fromLocalFile(m_noteFolder + QLatin1Char('/')).resolved(address).toLocalFile()
                             : address.toLocalFile());
        // The notes' own files go into an export, and pictures the user put
        // into a note from elsewhere; nothing else that a captured page names,
        // directly or through a link inside the data folder.
        const bool inData = isInside(path, m_dataFolder) &&
                            (!QFileInfo::exists(path) || StoredPath::isRealFileInside(m_dataFolder, path));
        if (!inData && !(isPicture && isPictureFile(path)))
            return isSource ? QStringLiteral("") : QString();
        if (!QFileInfo(path).isFile()) {
            m_result.problems << path;
            return {};
        }
        // Files of the data folder keep their place relative to the note; others
        // go into a folder of their own beside it.
        QString target = inData ? m_exportNotes + path.mid(m_dataFolder.size()) : outsideTarget(path);
        if (!m_copied.contains(path)) {
            m_files.copy(path, target);
            m_copied.insert(path, target);
            ++m_result.pictures;
        }
        target = m_copied.value(path);
        if (relative && inData)
            return {};
        return relativeAddress(m_exportFolder, target);
    }

    static bool isPictureFile(const QString &path)
    {
        const QFileInfo info(path);
        return info.isFile() && QMimeDatabase()
                                    .mimeTypeForFile(info, QMimeDatabase::MatchContent)
                                    .name()
                                    .startsWith(QLatin1String("image/"));
    }

    QString outsideTarget(const QString &path)
    {
        const QString folder = m_exportFolder + QStringLiteral("/files/");
        const QFileInfo info(path);
        QString name = info.fileName();
        for (int number = 2; m_taken.contains(folder + name); ++number)
            name = QStringLiteral("%1-%2%3")
                       .arg(info.completeBaseName())
                       .arg(number)
                       .arg(info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix());
        m_taken.insert(folder + name);
        return folder + name;
    }

    QString withAttachments(const QString &text, const QList<QPair<QString, QString>> &attachments,
                            const QString &caption)
    {
        QString list = QStringLiteral("\n<hr>\n<section class=\"clipnest-attachments\">\n<h3>") +
                       utf8AsBytes(escaped(caption)) + QStringLiteral("</h3>\n<ul>\n");
        for (const auto &[relativeFolder, name] : attachments) {
            const QString source = m_dataFolder + relativeFolder + name;
            if (!StoredPath::isInsideAttachment(relativeFolder, name) ||
                !StoredPath::isRealFileInside(m_dataFolder, source)) {
                m_result.problems << source;
                continue;
            }
            const QString target = m_exportNotes + relativeFolder + name;
            m_files.copy(source, target);
            ++m_result.attachments;
            list += QStringLiteral("<li><a href=\"") + utf8AsBytes(relativeAddress(m_exportFolder, target)) +
                    QStringLiteral("\">") + utf8AsBytes(escaped(name)) + QStringLiteral("</a></li>\n");
        }
        list += QStringLiteral("</ul>\n</section>\n");
        return beforeBodyEnd(text, list);
    }

    QString m_dataFolder;
    QString m_exportNotes;
    ExportResult &m_result;
    ExportFiles &m_files;
    QString m_noteFolder;
    QString m_exportFolder;
    QHash<QString, QString> m_copied; // source path to the copy in the export
    QSet<QString> m_taken;
};

QString indexStyle()
{
    return QStringLiteral("body{font-family:sans-serif;margin:2em;max-width:60em;color:#222}"
                          "h1{font-size:1.4em}ul{list-style:none;padding-left:1.4em}"
                          ".node{font-weight:bold}.date{color:#777;font-size:.85em;margin-left:.6em}"
                          ".missing{color:#a00}");
}

} // namespace

NoteExporter::NoteExporter(TDBDataModule &database, QString dataFolder)
    : m_database(database)
    , m_dataFolder(std::move(dataFolder))
{
}

NoteExporter::Catalog NoteExporter::loadCatalog()
{
    Catalog catalog;
    QList<int> order;
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select tagid, tagname, parentid from tags order by tagid"));
    while (query.next()) {
        Node node;
        node.tagId = fieldInt(query, "tagid");
        node.name = fieldText(query, "tagname");
        node.parentId = fieldInt(query, "parentid");
        catalog.nodes.insert(node.tagId, node);
        order << node.tagId;
    }
    query.finish();
    for (const int tagId : order) {
        const int parentId = catalog.nodes.value(tagId).parentId;
        if (parentId != 0 && parentId != tagId && catalog.nodes.contains(parentId))
            catalog.nodes[parentId].children << tagId;
        else
            catalog.topLevel << tagId;
    }
    return catalog;
}

QList<int> NoteExporter::rootsOf(const ExportScope &scope, const Catalog &catalog)
{
    if (scope.kind == ExportScope::Catalog)
        return catalog.topLevel;
    if (scope.kind == ExportScope::Node) {
        if (!catalog.nodes.contains(scope.id))
            fail(QStringLiteral("The catalog node to export no longer exists."));
        return {scope.id};
    }
    return {};
}

int NoteExporter::countNotes(const ExportScope &scope)
{
    if (scope.kind == ExportScope::Catalog)
        return m_database.queryInteger(QStringLiteral("select count(*) from note"));
    if (scope.kind == ExportScope::Note)
        return m_database.queryInteger(QStringLiteral("select count(*) from note where noteid = ?"), {scope.id});
    const Catalog catalog = loadCatalog();
    int count = 0;
    QList<int> pending = rootsOf(scope, catalog);
    QSet<int> seen;
    while (!pending.isEmpty()) {
        const int tagId = pending.takeFirst();
        if (seen.contains(tagId))
            continue;
        seen.insert(tagId);
        count += m_database.queryInteger(QStringLiteral("select count(*) from note where tagid = ?"), {tagId});
        pending << catalog.nodes.value(tagId).children;
    }
    return count;
}

QString NoteExporter::suggestedFolderName(const ExportScope &scope, const ExportTexts &texts)
{
    QString name = texts.catalogTitle;
    if (scope.kind == ExportScope::Node)
        name = loadCatalog().nodes.value(scope.id).name;
    else if (scope.kind == ExportScope::Note) {
        QSqlQuery &query = m_database.runQuery(QStringLiteral("select title from note where noteid = ?"), {scope.id});
        if (query.next())
            name = fieldText(query, "title");
        query.finish();
    }
    // Characters file managers and other systems trip over become spaces.
    static const QRegularExpression awkward(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]+"));
    name = name.replace(awkward, QStringLiteral(" ")).simplified();
    if (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    return name.isEmpty() ? texts.catalogTitle : name.left(80);
}

ExportResult NoteExporter::exportTo(const ExportScope &scope, const QString &targetFolder, const ExportTexts &texts,
                                    const std::function<bool(int, int)> &progress)
{
    const QString target = QDir::cleanPath(targetFolder) + QLatin1Char('/');
    ExportFiles files;
    try {
        return writeExport(scope, target, texts, progress, files);
    } catch (...) {
        // A failed export takes away what it wrote, so that no half export
        // passes for a whole one.
        files.removeCreated();
        throw;
    }
}

ExportResult NoteExporter::writeExport(const ExportScope &scope, const QString &target, const ExportTexts &texts,
                                       const std::function<bool(int, int)> &progress, ExportFiles &files)
{
    files.makeFolder(target);
    const Catalog catalog = loadCatalog();
    ExportResult result;
    PageWriter writer(m_dataFolder, target + NotesFolder, result, files);
    const int total = countNotes(scope);
    int done = 0;
    bool stopped = false;

    auto notesWhere = [this](const QString &condition, const QVariantList &values) {
        QList<NoteRow> rows;
        // A file that could not be given the source column is exported without sources.
        const bool sources = m_database.noteSourceLength() > 0;
        QSqlQuery &query =
            m_database.runQuery(QStringLiteral("select noteid, tagid, title, createdate, filename%1 from note where %2 "
                                               "order by createdate, noteid")
                                    .arg(sources ? QStringLiteral(", source") : QString(), condition),
                                values);
        while (query.next())
            rows << NoteRow{fieldInt(query, "noteid"),    fieldInt(query, "tagid"),
                            fieldText(query, "title"),    query.value(QStringLiteral("createdate")).toDateTime(),
                            fieldPath(query, "filename"), sources ? fieldText(query, "source") : QString()};
        query.finish();
        return rows;
    };
    auto attachmentsOf = [this](int noteId) {
        QList<QPair<QString, QString>> rows;
        QSqlQuery &query = m_database.runQuery(
            QStringLiteral("select attname, path from attachment where noteid = ? order by attid"), {noteId});
        while (query.next())
            rows << qMakePair(fieldPath(query, "path"), fieldText(query, "attname"));
        query.finish();
        return rows;
    };

    // Writes the note's page and answers its line in the index.
    auto exportNote = [&](const NoteRow &note) {
        const QString date = note.created.isValid() ? note.created.toString(QStringLiteral("yyyy-MM-dd")) : QString();
        const QString dateSpan =
            date.isEmpty() ? QString() : QStringLiteral("<span class=\"date\">%1</span>").arg(date);
        // A file name from a damaged or foreign database never leads the export
        // outside the data folder or its own folder.
        const bool inside = StoredPath::isInside(note.fileName);
        QFile source(m_dataFolder + note.fileName);
        QString line;
        if (!inside || !source.open(QIODevice::ReadOnly)) {
            result.problems << m_dataFolder + note.fileName;
            line = QStringLiteral("<li>%1 <span class=\"missing\">%2</span>%3</li>\n")
                       .arg(escaped(note.title), escaped(texts.missingNote), dateSpan);
        } else {
            const QByteArray page = writer.page(source.readAll(), note.title, note.source, note.fileName,
                                                attachmentsOf(note.noteId), texts);
            files.write(target + NotesFolder + note.fileName, page);
            ++result.notes;
            line =
                QStringLiteral("<li><a href=\"%1\">%2</a>%3</li>\n")
                    .arg(relativeAddress(target, target + NotesFolder + note.fileName), escaped(note.title), dateSpan);
        }
        ++done;
        if (progress && !progress(done, total))
            stopped = true;
        return line;
    };

    QSet<int> visited;
    std::function<QString(int)> exportNode = [&](int tagId) -> QString {
        if (visited.contains(tagId) || stopped)
            return {};
        visited.insert(tagId);
        const Node node = catalog.nodes.value(tagId);
        QString items;
        for (const NoteRow &note : notesWhere(QStringLiteral("tagid = ?"), {tagId})) {
            if (stopped)
                break;
            items += exportNote(note);
        }
        for (const int child : node.children)
            items += exportNode(child);
        return QStringLiteral("<li><span class=\"node\">%1</span>\n<ul>\n%2</ul>\n</li>\n")
            .arg(escaped(node.name), items);
    };

    QString heading = texts.catalogTitle;
    QString tree;
    if (scope.kind == ExportScope::Note) {
        const QList<NoteRow> rows = notesWhere(QStringLiteral("noteid = ?"), {scope.id});
        if (rows.isEmpty())
            fail(QStringLiteral("The note to export no longer exists."));
        heading = rows.first().title;
        // The note sits under the path of its node, as in the catalog.
        QString item = exportNote(rows.first());
        QSet<int> seen;
        for (int tagId = rows.first().tagId; catalog.nodes.contains(tagId) && !seen.contains(tagId);
             tagId = catalog.nodes.value(tagId).parentId) {
            seen.insert(tagId);
            item = QStringLiteral("<li><span class=\"node\">%1</span>\n<ul>\n%2</ul>\n</li>\n")
                       .arg(escaped(catalog.nodes.value(tagId).name), item);
        }
        tree = item;
    } else {
        if (scope.kind == ExportScope::Node)
            heading = catalog.nodes.value(scope.id).name;
        for (const int root : rootsOf(scope, catalog))
            tree += exportNode(root);
        if (scope.kind == ExportScope::Catalog && !stopped) {
            // Notes whose node is gone are exported too, after the tree.
            QString unfiled;
            for (const NoteRow &note : notesWhere(QStringLiteral("1 = 1"), {}))
                if (!catalog.nodes.contains(note.tagId) && !stopped)
                    unfiled += exportNote(note);
            tree += unfiled;
        }
    }

    const QString index = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n%1\n<meta charset=\"utf-8\">\n"
                                         "<title>%2</title>\n<style>%3</style>\n</head>\n<body>\n<h1>%2</h1>\n"
                                         "<ul class=\"catalog\">\n%4</ul>\n</body>\n</html>\n")
                              .arg(NoScripts, escaped(heading), indexStyle(), tree);
    result.indexFile = target + QStringLiteral("index.html");
    files.write(result.indexFile, index.toUtf8());
    return result;
}
