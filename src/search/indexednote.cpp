#include "indexednote.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray IndexedNote::toData() const
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), noteId);
    object.insert(QStringLiteral("title"), title);
    object.insert(QStringLiteral("path"), catalogPath);
    object.insert(QStringLiteral("file"), fileName);
    object.insert(QStringLiteral("attachments"), QJsonArray::fromStringList(attachmentNames));
    object.insert(QStringLiteral("size"), double(fileSize));
    object.insert(QStringLiteral("modified"), double(fileModified));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

IndexedNote IndexedNote::fromData(const QByteArray &data)
{
    const QJsonObject object = QJsonDocument::fromJson(data).object();
    IndexedNote note;
    note.noteId = object.value(QStringLiteral("id")).toInt();
    note.title = object.value(QStringLiteral("title")).toString();
    note.catalogPath = object.value(QStringLiteral("path")).toString();
    note.fileName = object.value(QStringLiteral("file")).toString();
    for (const QJsonValue &name : object.value(QStringLiteral("attachments")).toArray())
        note.attachmentNames << name.toString();
    note.fileSize = qint64(object.value(QStringLiteral("size")).toDouble(-1));
    note.fileModified = qint64(object.value(QStringLiteral("modified")).toDouble(-1));
    return note;
}
