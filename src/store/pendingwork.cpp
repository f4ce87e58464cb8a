#include "pendingwork.h"

#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <stdexcept>

namespace {

const QString EntrySuffix = QStringLiteral(".pending");

QJsonArray toJson(const QStringList &texts)
{
    return QJsonArray::fromStringList(texts);
}

QStringList fromJson(const QJsonValue &value)
{
    QStringList texts;
    for (const QJsonValue &text : value.toArray())
        texts << text.toString();
    return texts;
}

} // namespace

PendingWork::PendingWork(QString folder)
    : m_folder(std::move(folder))
{
}

void PendingWork::record(const PendingEntry &entry)
{
    if (m_path.isEmpty()) {
        QDir().mkpath(m_folder);
        m_path = m_folder + QUuid::createUuid().toString(QUuid::WithoutBraces) + EntrySuffix;
    }
    QJsonObject note{{QStringLiteral("file"), entry.note.file},
                     {QStringLiteral("title"), entry.note.title},
                     {QStringLiteral("catalog"), entry.note.catalogText},
                     {QStringLiteral("attachments"), toJson(entry.note.attachments)}};
    if (entry.note.noteId > 0) {
        note.insert(QStringLiteral("noteid"), entry.note.noteId);
        note.insert(QStringLiteral("refile"), entry.note.refile);
        note.insert(QStringLiteral("retitle"), entry.note.retitle);
        note.insert(QStringLiteral("written"), entry.note.written);
        if (!entry.note.textHash.isEmpty())
            note.insert(QStringLiteral("texthash"), entry.note.textHash);
    }
    QJsonObject root{{QStringLiteral("files"), toJson(entry.files)}, {QStringLiteral("note"), note}};
    if (entry.trash.direction != TrashMove::Direction::None) {
        const bool into = entry.trash.direction == TrashMove::Direction::IntoTrash;
        root.insert(QStringLiteral("trash"),
                    QJsonObject{{QStringLiteral("direction"), into ? QStringLiteral("into") : QStringLiteral("out")},
                                {QStringLiteral("noteid"), entry.trash.noteId},
                                {QStringLiteral("folder"), entry.trash.noteFolder},
                                {QStringLiteral("files"), toJson(entry.trash.files)},
                                {QStringLiteral("shared"), toJson(entry.trash.shared)}});
    }
    const QString problem = writeWholeFile(m_path, QJsonDocument(root).toJson());
    if (!problem.isEmpty())
        throw std::runtime_error(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, problem).toStdString());
    m_entry = entry;
}

void PendingWork::finish()
{
    if (m_path.isEmpty())
        return;
    QFile::remove(m_path);
    m_path.clear();
    m_entry = {};
}

QStringList PendingWork::entriesIn(const QString &folder)
{
    QStringList paths;
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QLatin1Char('*') + EntrySuffix}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &entry : entries)
        paths << entry.absoluteFilePath();
    return paths;
}

PendingEntry PendingWork::read(const QString &entryPath)
{
    QFile file(entryPath);
    PendingEntry entry;
    if (!file.open(QIODevice::ReadOnly))
        return entry;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    entry.files = fromJson(root.value(QStringLiteral("files")));
    const QJsonObject note = root.value(QStringLiteral("note")).toObject();
    entry.note.file = note.value(QStringLiteral("file")).toString();
    entry.note.title = note.value(QStringLiteral("title")).toString();
    entry.note.catalogText = note.value(QStringLiteral("catalog")).toString();
    entry.note.attachments = fromJson(note.value(QStringLiteral("attachments")));
    entry.note.noteId = note.value(QStringLiteral("noteid")).toInt();
    entry.note.refile = note.value(QStringLiteral("refile")).toBool();
    entry.note.retitle = note.value(QStringLiteral("retitle")).toBool();
    entry.note.written = note.value(QStringLiteral("written")).toBool();
    entry.note.textHash = note.value(QStringLiteral("texthash")).toString();
    const QJsonObject trash = root.value(QStringLiteral("trash")).toObject();
    const QString direction = trash.value(QStringLiteral("direction")).toString();
    if (direction == QLatin1String("into") || direction == QLatin1String("out")) {
        entry.trash.direction =
            direction == QLatin1String("into") ? TrashMove::Direction::IntoTrash : TrashMove::Direction::OutOfTrash;
        entry.trash.noteId = trash.value(QStringLiteral("noteid")).toInt();
        entry.trash.noteFolder = trash.value(QStringLiteral("folder")).toString();
        entry.trash.files = fromJson(trash.value(QStringLiteral("files")));
        entry.trash.shared = fromJson(trash.value(QStringLiteral("shared")));
    }
    return entry;
}
