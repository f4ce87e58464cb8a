#include "collectionsnapshot.h"

#include "dbdatamodule.h"
#include "savelog.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlRecord>

#include <stdexcept>

namespace {

void addRows(TDBDataModule &database, const QString &table, const QString &columns, QStringList &lines)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select %1 from %2").arg(columns, table));
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i)
            values << query.value(i).toString();
        lines << table + QLatin1Char(' ') + values.join(QLatin1Char('|'));
    }
    query.finish();
}

} // namespace

QStringList collectionSnapshot(const QString &programFolder)
{
    QStringList lines;
    {
        TDBDataModule database(programFolder + QStringLiteral("notes.fdb"), TDBDataModule::Use::Reading);
        addRows(database, QStringLiteral("tags"),
                QStringLiteral("tagid, tagname, deep, path, parentid, childcount, icoid"), lines);
        addRows(database, QStringLiteral("note"), QStringLiteral("noteid, title, tagid, createdate, filename"), lines);
        addRows(database, QStringLiteral("attachment"), QStringLiteral("attid, noteid, attname, path"), lines);
    }
    const QString settings = programFolder + QStringLiteral("tavlo.ini");
    lines << QStringLiteral("settings ") + (QFileInfo::exists(settings) ? fileHash(settings) : QStringLiteral("none"));
    // Unfinished work is the user's too until the next start has finished it.
    const QDir pending(programFolder + QStringLiteral("pending"));
    for (const QString &name : pending.entryList({QStringLiteral("*.pending")}, QDir::Files | QDir::Hidden))
        lines << QStringLiteral("pending %1 %2").arg(name, fileHash(pending.filePath(name)));
    const QString dataFolder = programFolder + QStringLiteral("data/");
    QDirIterator walk(dataFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        const QString name = walk.filePath().mid(dataFolder.size());
        if (walk.fileInfo().isDir())
            lines << QStringLiteral("folder ") + name;
        else
            lines
                << QStringLiteral("file %1 %2 %3").arg(name).arg(walk.fileInfo().size()).arg(fileHash(walk.filePath()));
    }
    lines.sort();
    return lines;
}

QString snapshotDifference(const QStringList &now, const QStringList &wanted)
{
    for (const QString &line : wanted) {
        if (!now.contains(line))
            return QStringLiteral("lacks \"%1\"").arg(line.left(200));
    }
    for (const QString &line : now) {
        if (!wanted.contains(line))
            return QStringLiteral("holds \"%1\"").arg(line.left(200));
    }
    return QString();
}

int matchingSnapshot(const QStringList &now, const QStringList &first, const QStringList &second, QString *difference)
{
    if (now == first)
        return 0;
    if (now == second)
        return 1;
    *difference = QStringLiteral("unlike the earlier collection it %1; unlike the restored one it %2")
                      .arg(snapshotDifference(now, first), snapshotDifference(now, second));
    return -1;
}

QStringList readSnapshot(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot read %1").arg(path).toStdString());
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void writeSnapshot(const QString &path, const QStringList &snapshot)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(snapshot.join(QLatin1Char('\n')).toUtf8() + '\n') < 0)
        throw std::runtime_error(QStringLiteral("Cannot write %1").arg(path).toStdString());
}
