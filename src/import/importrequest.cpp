#include "importrequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ImportRequest {

QByteArray requestJson(const QStringList &files)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("files"), QJsonArray::fromStringList(files)}})
        .toJson(QJsonDocument::Compact);
}

QStringList filesOf(const QByteArray &request)
{
    QStringList files;
    for (const QJsonValue &file : QJsonDocument::fromJson(request).object().value(QStringLiteral("files")).toArray()) {
        if (file.isString() && !file.toString().isEmpty())
            files << file.toString();
    }
    return files;
}

QByteArray answerJson(const Answer &answer)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("status"), answer.status},
                                     {QStringLiteral("lines"), QJsonArray::fromStringList(answer.lines)}})
        .toJson(QJsonDocument::Compact);
}

Answer answerOf(const QByteArray &json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    Answer answer;
    answer.status = object.value(QStringLiteral("status")).toInt(2);
    for (const QJsonValue &line : object.value(QStringLiteral("lines")).toArray())
        answer.lines << line.toString();
    return answer;
}

} // namespace ImportRequest
