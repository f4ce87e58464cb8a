#include "importedstore.h"

#include "dbdatamodule.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QStringList storedRows(TDBDataModule &database)
{
    QStringList rows;
    QSqlQuery &notes =
        database.runQuery(QStringLiteral("select n.noteid, n.title, t.path, n.createdate, n.filename from note n "
                                         "left join tags t on t.tagid=n.tagid order by n.noteid"));
    while (notes.next())
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(notes.value(0).toString(), notes.value(1).toString(), notes.value(2).toString(),
                         notes.value(3).toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                         notes.value(4).toString());
    QSqlQuery &attachments =
        database.runQuery(QStringLiteral("select noteid, attname, path from attachment order by attid"));
    while (attachments.next())
        rows << QStringLiteral("attachment %1|%2|%3")
                    .arg(attachments.value(0).toString(), attachments.value(1).toString(),
                         attachments.value(2).toString());
    return rows;
}

QStringList storedFiles(const QString &programFolder)
{
    QStringList files;
    QDirIterator it(programFolder + QStringLiteral("data"), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(programFolder.size());
        if (relative.endsWith(QLatin1String("template.html")))
            continue;
        if (relative.endsWith(QLatin1String(".html")))
            files << relative;
        else
            files << relative + QLatin1Char(' ') +
                         QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5).toHex();
    }
    files.sort();
    return files;
}

QString storedBody(const QString &path)
{
    const QString html = QString::fromUtf8(readFile(path));
    const qsizetype begin = html.indexOf(QLatin1String("<body>")) + 6;
    const qsizetype end = html.lastIndexOf(QLatin1String("</body>"));
    return begin < 6 || end < begin ? QString() : html.mid(begin, end - begin).trimmed();
}

QStringList reportedProblems(const EnexImportReport &report)
{
    QStringList lines;
    for (const EnexImportReport::Problem &problem : report.problems)
        lines << problem.file + QLatin1Char('|') + problem.title + QLatin1Char('|') + problem.what;
    return lines;
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
