#include "notedocument.h"

#include <QFile>
#include <QSaveFile>

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString noteDocument(const QString &templateHtml, const NoteBody &body)
{
    QString content = body.html;
    if (!body.tags.isEmpty())
        content +=
            QStringLiteral("\n<p class=\"en-tags\">Tags: %1</p>").arg(escaped(body.tags.join(QStringLiteral(", "))));
    QString document = templateHtml;
    const qsizetype bodyEnd = document.lastIndexOf(QLatin1String("</body>"), -1, Qt::CaseInsensitive);
    if (bodyEnd < 0) {
        document = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title></title>\n"
                                  "</head>\n<body>\n</body>\n</html>\n");
        return noteDocument(document, body);
    }
    document.insert(bodyEnd, content + QLatin1Char('\n'));
    const qsizetype titleAt = document.indexOf(QLatin1String("<title></title>"), 0, Qt::CaseInsensitive);
    if (titleAt >= 0)
        document.replace(titleAt, 15, QStringLiteral("<title>%1</title>").arg(escaped(body.title)));
    return document;
}

QString writeNoteDocument(const QString &path, const QString &templatePath, const NoteBody &body)
{
    QString templateHtml;
    QFile templateFile(templatePath);
    if (templateFile.open(QIODevice::ReadOnly))
        templateHtml = QString::fromUtf8(templateFile.readAll());
    const QByteArray bytes = noteDocument(templateHtml, body).toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}
