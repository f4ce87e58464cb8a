#include "eneximport.h"

#include "dbdatamodule.h"
#include "dberror.h"
#include "dropdata.h"
#include "enexreader.h"
#include "enmlconverter.h"
#include "importednotewriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <map>
#include <stdexcept>

struct EnexImport::StoredNote
{
    int noteId = 0;
    int tagId = 0;
    QString title;
    QString relativeFile; // from the data folder
    bool hasNoteLinks = false;
};

namespace {

QString problemText(const char *text)
{
    return QString::fromLatin1(text);
}

} // namespace

QByteArray EnexNoteKey(const EnexNote &note)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(note.title.toUtf8());
    hash.addData("\n");
    hash.addData(note.created.toUTC().toString(Qt::ISODate).toUtf8());
    hash.addData("\n");
    hash.addData(note.content);
    for (const EnexResource &resource : note.resources)
        hash.addData(resource.md5Hex);
    return hash.result().toHex();
}

EnexImport::EnexImport(TDBDataModule &database, const QString &dataFolder)
    : m_database(database)
    , m_dataFolder(dataFolder)
{
}

QString EnexImport::catalogPathFor(const QString &enexPath)
{
    QString name = QFileInfo(enexPath).fileName();
    if (name.endsWith(QLatin1String(".enex"), Qt::CaseInsensitive))
        name.chop(5);
    // A comma would split the export's name into nodes.
    name.replace(QLatin1Char(','), QLatin1Char(' '));
    name = cleanTitle(name);
    return QStringLiteral("Imported,") + (name.isEmpty() ? QStringLiteral("Evernote") : name);
}

bool EnexImport::importedBefore(const QString &enexPath)
{
    return m_database.queryInteger(QStringLiteral("select count(*) from importednote where enexfile=?"),
                                   {QFileInfo(enexPath).fileName()}) > 0;
}

EnexImportReport EnexImport::importFile(const QString &enexPath, Again again, const Progress &progress)
{
    EnexImportReport report;
    const QString exportName = QFileInfo(enexPath).fileName();
    const auto problem = [&](const QString &title, const QString &what) {
        report.problems.append({exportName, title, what});
    };
    if (!QDir().mkpath(m_dataFolder)) {
        problem({}, QStringLiteral("cannot make the data folder %1").arg(m_dataFolder));
        return report;
    }
    // Resources are decoded beside the day folders, so that storing one is a rename.
    QTemporaryDir staging(m_dataFolder + QStringLiteral("import-XXXXXX"));
    if (!staging.isValid()) {
        problem({}, QStringLiteral("cannot make a folder in %1: %2").arg(m_dataFolder, staging.errorString()));
        return report;
    }
    EnexReader reader(enexPath, staging.path() + QLatin1Char('/'));
    const QString catalogPath = catalogPathFor(enexPath);
    QList<StoredNote> stored;
    EnexNote note;
    while (reader.next(note)) {
        const QByteArray key = EnexNoteKey(note);
        const bool known =
            again == Again::Skip &&
            m_database.queryInteger(QStringLiteral("select count(*) from importednote where enexfile=? and notekey=?"),
                                    {exportName, QString::fromLatin1(key)}) > 0;
        if (known) {
            ++report.skipped;
        } else if (note.title.isEmpty() && !note.hasContent && note.resources.empty()) {
            // Nothing of it could be read: there is nothing to store, only to say.
            ++report.notStored;
            ++report.withProblems;
            problem({}, note.problems.join(QStringLiteral("; ")));
        } else {
            QStringList problems = note.problems;
            try {
                StoredNote done = storeNote(note, catalogPath, exportName, key, problems);
                stored << done;
                ++report.imported;
                report.noteIds << done.noteId;
                if (!report.tagIds.contains(done.tagId))
                    report.tagIds << done.tagId;
            } catch (const std::exception &error) {
                ++report.notStored;
                problems << QString::fromUtf8(error.what());
            }
            if (!problems.isEmpty()) {
                ++report.withProblems;
                problem(note.title.simplified(), problems.join(QStringLiteral("; ")));
            }
        }
        removeStagedFiles(note);
        if (progress && !progress(reader.position(), reader.fileSize())) {
            report.cancelled = true;
            break;
        }
    }
    if (!reader.fileProblem().isEmpty())
        problem({}, reader.fileProblem());
    relink(stored);
    return report;
}

EnexImport::StoredNote EnexImport::storeNote(const EnexNote &note, const QString &catalogPath,
                                             const QString &exportName, const QByteArray &key, QStringList &problems)
{
    const QDateTime created = note.created.isValid() ? note.created : QDateTime::currentDateTime();
    ImportedNoteWriter writer(m_dataFolder, created);
    std::map<std::string, EnmlMedia> media;
    for (const EnexResource &resource : note.resources) {
        if (resource.stagedPath.isEmpty()) {
            problems << problemText("a resource has no data");
            continue;
        }
        const std::string hash = resource.md5Hex.toStdString();
        if (media.count(hash))
            continue; // the same data twice: one copy serves
        media[hash] = writer.resources().store(resource);
    }
    const EnmlConversion conversion =
        ConvertEnml(std::string_view(note.content.constData(), note.content.size()), [&](const std::string &hash) {
            const auto found = media.find(hash);
            return found == media.end() ? nullptr : &found->second;
        });
    if (!note.hasContent)
        problems << problemText("the note has no content");
    else if (conversion.broken)
        problems << problemText("the note's ENML is broken; what could be read is kept");
    for (const std::string &hash : conversion.missingHashes)
        problems << QStringLiteral("a resource is missing (%1)").arg(QString::fromStdString(hash));

    NoteBody body;
    body.html = QString::fromStdString(conversion.html);
    // Pictures the markup does not show still belong to the note.
    for (const auto &[hash, item] : media) {
        if (item.picture &&
            std::find(conversion.usedHashes.begin(), conversion.usedHashes.end(), hash) == conversion.usedHashes.end())
            body.html += QStringLiteral("<p><img src=\"%1\"></p>").arg(QString::fromStdString(item.reference));
    }
    body.tags = note.tags;
    QString title = cleanTitle(note.title);
    if (title.isEmpty())
        title = titleFromFragment(body.html);
    body.title = title;

    ImportedNoteWriter::Filing filing;
    filing.catalogPath = catalogPath;
    filing.source = note.sourceUrl.trimmed();
    filing.alsoStore = [&](TDBDataModule &database, int noteId) {
        database.runStatement(QStringLiteral("insert into importednote (enexfile, notekey, noteid) values (?,?,?)"),
                              {exportName, QString::fromLatin1(key), noteId});
    };
    const ImportedNoteFiled filed = writer.file(m_database, body, filing);
    return {filed.noteId, filed.tagId, title, filed.relativeFile, !conversion.noteLinks.empty()};
}

// Links between notes of the export lead to the notes' files; an export names
// a linked note by its guid, which it does not give for the notes themselves,
// so the link's text, the linked note's title, finds it.
void EnexImport::relink(const QList<StoredNote> &notes)
{
    QHash<QString, QString> fileOfTitle;
    for (const StoredNote &note : notes) {
        if (!fileOfTitle.contains(note.title))
            fileOfTitle.insert(note.title, note.relativeFile);
    }
    for (const StoredNote &note : notes) {
        if (!note.hasNoteLinks)
            continue;
        const QString path = m_dataFolder + note.relativeFile;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray html = file.readAll();
        file.close();
        const std::string relinked =
            RelinkNotes(std::string_view(html.constData(), html.size()), [&](const EnmlNoteLink &link) {
                const QString target = fileOfTitle.value(QString::fromStdString(link.text));
                return target.isEmpty() ? std::string() : ("../" + target).toStdString();
            });
        if (relinked == html.toStdString())
            continue;
        QSaveFile save(path);
        if (save.open(QIODevice::WriteOnly)) {
            save.write(relinked.data(), static_cast<qint64>(relinked.size()));
            save.commit();
        }
    }
}
