#include "savelog.h"

#include "dbdatamodule.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <stdexcept>

#include <unistd.h>

namespace {

const QStringList KindNames{QStringLiteral("new"), QStringLiteral("again"), QStringLiteral("delete"),
                            QStringLiteral("restore"), QStringLiteral("empty")};

QJsonObject stateObject(const NoteState &state)
{
    QJsonArray attachments;
    for (const NoteState::Attachment &attachment : state.attachments)
        attachments.append(QJsonObject{{QStringLiteral("id"), attachment.id},
                                       {QStringLiteral("file"), attachment.file},
                                       {QStringLiteral("size"), attachment.size},
                                       {QStringLiteral("hash"), attachment.hash}});
    QJsonObject pictures;
    for (auto it = state.pictures.cbegin(); it != state.pictures.cend(); ++it)
        pictures.insert(it.key(), it.value());
    return {{QStringLiteral("note"), state.noteId},     {QStringLiteral("title"), state.title},
            {QStringLiteral("catalog"), state.catalog}, {QStringLiteral("file"), state.file},
            {QStringLiteral("hash"), state.hash},       {QStringLiteral("attachments"), attachments},
            {QStringLiteral("pictures"), pictures}};
}

NoteState stateOf(const QJsonObject &object)
{
    NoteState state;
    state.noteId = object.value(QStringLiteral("note")).toInt();
    state.title = object.value(QStringLiteral("title")).toString();
    state.catalog = object.value(QStringLiteral("catalog")).toString();
    state.file = object.value(QStringLiteral("file")).toString();
    state.hash = object.value(QStringLiteral("hash")).toString();
    for (const QJsonValue &value : object.value(QStringLiteral("attachments")).toArray()) {
        const QJsonObject attachment = value.toObject();
        state.attachments.append({attachment.value(QStringLiteral("id")).toInt(),
                                  attachment.value(QStringLiteral("file")).toString(),
                                  qint64(attachment.value(QStringLiteral("size")).toDouble()),
                                  attachment.value(QStringLiteral("hash")).toString()});
    }
    const QJsonObject pictures = object.value(QStringLiteral("pictures")).toObject();
    for (auto it = pictures.constBegin(); it != pictures.constEnd(); ++it)
        state.pictures.insert(it.key(), it.value().toString());
    return state;
}

QString localPicturePath(QString source, const QString &noteFolder)
{
    source.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (source.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(source).toLocalFile();
    if (source.isEmpty() || scheme.match(source).hasMatch() || source.startsWith(QLatin1String("//")))
        return QString(); // on the web, or in the page itself
    const qsizetype end = source.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    return noteFolder + QUrl::fromPercentEncoding(source.left(end).toUtf8());
}

} // namespace

SaveLog::SaveLog(QString path)
    : m_path(std::move(path))
{
}

void SaveLog::append(const QByteArray &line)
{
    // The driver tells of a save only once its record would outlive the machine.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line + '\n') != line.size() + 1 ||
        !file.flush() || ::fsync(file.handle()) != 0)
        throw std::runtime_error(QStringLiteral("Cannot write the record of saves %1").arg(m_path).toStdString());
}

void SaveLog::begun(const BegunWork &work)
{
    const QJsonObject object{
        {QStringLiteral("begun"), work.work},      {QStringLiteral("kind"), KindNames.at(work.kind)},
        {QStringLiteral("note"), work.noteId},     {QStringLiteral("title"), work.title},
        {QStringLiteral("catalog"), work.catalog}, {QStringLiteral("marker"), work.marker}};
    append(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void SaveLog::saved(const QString &work, const NoteState &state)
{
    QJsonObject object = stateObject(state);
    object.insert(QStringLiteral("saved"), work);
    append(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void SaveLog::deleted(const QString &work, int noteId)
{
    append(QJsonDocument(QJsonObject{{QStringLiteral("deleted"), work}, {QStringLiteral("note"), noteId}})
               .toJson(QJsonDocument::Compact));
}

void SaveLog::undone(const QString &work)
{
    append(QJsonDocument(QJsonObject{{QStringLiteral("undone"), work}}).toJson(QJsonDocument::Compact));
}

SaveLog::Contents SaveLog::read() const
{
    Contents contents;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    const auto finishes = [&contents](const QJsonObject &object, const char *key) {
        if (contents.unfinished && contents.unfinished->work == object.value(QLatin1String(key)).toString())
            contents.unfinished.reset();
    };
    while (!file.atEnd()) {
        // A line cut short by a kill was never told of.
        const QJsonObject object = QJsonDocument::fromJson(file.readLine()).object();
        if (object.contains(QLatin1String("begun"))) {
            BegunWork work;
            work.work = object.value(QStringLiteral("begun")).toString();
            work.kind =
                BegunWork::Kind(std::max(0, int(KindNames.indexOf(object.value(QStringLiteral("kind")).toString()))));
            work.noteId = object.value(QStringLiteral("note")).toInt();
            work.title = object.value(QStringLiteral("title")).toString();
            work.catalog = object.value(QStringLiteral("catalog")).toString();
            work.marker = object.value(QStringLiteral("marker")).toString();
            contents.unfinished = work;
        } else if (object.contains(QLatin1String("saved"))) {
            const NoteState state = stateOf(object);
            contents.notes.insert(state.noteId, state);
            contents.deletedNotes.remove(state.noteId);
            finishes(object, "saved");
        } else if (object.contains(QLatin1String("deleted"))) {
            const int noteId = object.value(QStringLiteral("note")).toInt();
            if (contents.notes.contains(noteId))
                contents.deletedNotes.insert(noteId, contents.notes.take(noteId));
            finishes(object, "deleted");
        } else if (object.contains(QLatin1String("undone"))) {
            finishes(object, "undone");
        }
    }
    return contents;
}

QString fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

QStringList picturesNamed(const QString &noteFile, const QString &dataFolder)
{
    QFile file(noteFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression picture(QStringLiteral("<img\\b[^>]*?\\bsrc\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromUtf8(file.readAll());
    const QString noteFolder = QFileInfo(noteFile).absolutePath() + QLatin1Char('/');
    QStringList pictures;
    for (const QRegularExpressionMatch &match : picture.globalMatch(text)) {
        const QString source = match.captured(1).isNull() ? match.captured(2) : match.captured(1);
        const QString path = QDir::cleanPath(localPicturePath(source, noteFolder));
        if (path.startsWith(dataFolder) && !pictures.contains(path.mid(dataFolder.size())))
            pictures << path.mid(dataFolder.size());
    }
    return pictures;
}

void readNoteFiles(NoteState &state, const QString &dataFolder)
{
    state.hash = fileHash(dataFolder + state.file);
    state.pictures.clear();
    for (const QString &picture : picturesNamed(dataFolder + state.file, dataFolder))
        state.pictures.insert(picture, fileHash(dataFolder + picture));
}

StoredNotes::StoredNotes(TDBDataModule &database, QString dataFolder)
    : m_dataFolder(std::move(dataFolder))
{
    QMap<int, std::pair<QString, int>> tags; // tagid -> name, parent
    QSqlQuery &tagQuery = database.runQuery(QStringLiteral("select tagid, tagname, parentid from tags"));
    while (tagQuery.next())
        tags.insert(tagQuery.value(0).toInt(), {tagQuery.value(1).toString(), tagQuery.value(2).toInt()});
    tagQuery.finish();
    QSqlQuery &noteQuery = database.runQuery(QStringLiteral("select noteid, title, tagid, filename from note"));
    while (noteQuery.next()) {
        NoteState state;
        state.noteId = noteQuery.value(0).toInt();
        state.title = noteQuery.value(1).toString();
        QStringList names;
        QSet<int> seen;
        for (int id = noteQuery.value(2).toInt(); tags.contains(id) && !seen.contains(id); id = tags.value(id).second) {
            seen.insert(id);
            names.prepend(tags.value(id).first);
        }
        state.catalog = names.join(QLatin1Char(','));
        state.file = fieldPath(noteQuery, "filename");
        m_files.insert(state.file);
        m_notes.insert(state.noteId, state);
    }
    noteQuery.finish();
    QSqlQuery &attachmentQuery =
        database.runQuery(QStringLiteral("select attid, noteid, path, attname from attachment"));
    while (attachmentQuery.next()) {
        const QString file = fieldPath(attachmentQuery, "path") + attachmentQuery.value(3).toString();
        m_files.insert(file);
        const auto note = m_notes.find(attachmentQuery.value(1).toInt());
        if (note != m_notes.end())
            note->attachments.append({attachmentQuery.value(0).toInt(), file, -1, QString()});
        else
            m_strayAttachments << attachmentQuery.value(0).toInt();
    }
    attachmentQuery.finish();
}

std::optional<NoteState> StoredNotes::note(int noteId) const
{
    const auto row = m_notes.constFind(noteId);
    if (row == m_notes.cend())
        return std::nullopt;
    NoteState state = *row;
    readNoteFiles(state, m_dataFolder);
    for (NoteState::Attachment &attachment : state.attachments) {
        const QFileInfo copy(m_dataFolder + attachment.file);
        attachment.size = copy.exists() ? copy.size() : -1;
        attachment.hash = fileHash(copy.filePath());
    }
    return state;
}
