#include "trashmove.h"

#include "dbdatamodule.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool moveFile(const QString &from, const QString &to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    return QFile::rename(from, to);
}

bool copyFile(const QString &from, const QString &to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    return copyWholeFile(from, to).isEmpty(); // appears whole or not at all
}

} // namespace

QString carryTrashMove(const TrashMove &move, const QString &dataFolder)
{
    const bool into = move.direction == TrashMove::Direction::IntoTrash;
    for (const QString &file : move.files) {
        const QString inData = dataFolder + file;
        const QString inTrash = move.noteFolder + file;
        const QString from = into ? inData : inTrash;
        const QString to = into ? inTrash : inData;
        const bool shared = move.shared.contains(file);
        bool done = true;
        if (into && shared)
            done = !QFileInfo::exists(from) || QFileInfo::exists(to) || copyFile(from, to);
        else if (QFileInfo::exists(to))
            done = !into && shared; // a picture another note brought back already
        else if (QFileInfo::exists(from))
            done = moveFile(from, to);
        if (!done) {
            undoTrashMove(move, dataFolder);
            return QStringLiteral("Cannot move \"%1\" to \"%2\".")
                .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to));
        }
    }
    return QString();
}

void undoTrashMove(const TrashMove &move, const QString &dataFolder)
{
    const bool into = move.direction == TrashMove::Direction::IntoTrash;
    for (const QString &file : move.files) {
        const QString inData = dataFolder + file;
        const QString inTrash = move.noteFolder + file;
        const QString back = into ? inData : inTrash;
        const QString gone = into ? inTrash : inData;
        if (!QFileInfo::exists(gone))
            continue;
        if (!QFileInfo::exists(back))
            moveFile(gone, back);
        else if (into)
            QFile::remove(gone); // a copy of a shared picture
    }
    removeEmptyFolders(move.noteFolder);
}

void settleTrashMove(TDBDataModule &database, const TrashMove &move, const QString &dataFolder)
{
    const bool stored =
        database.queryInteger(QStringLiteral("select count(*) from note where noteid=?"), {move.noteId}) > 0;
    const bool trashed =
        database.hasTrashTables() &&
        database.queryInteger(QStringLiteral("select count(*) from trashednote where noteid=?"), {move.noteId}) > 0;
    if (move.direction == TrashMove::Direction::IntoTrash && trashed && !stored)
        return; // every file was in the trash before the rows were committed
    if (move.direction == TrashMove::Direction::OutOfTrash && stored && !trashed) {
        QDir(move.noteFolder).removeRecursively();
        return;
    }
    undoTrashMove(move, dataFolder);
}

void removeEmptyFolders(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    for (const QString &inside : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
        removeEmptyFolders(dir.filePath(inside));
    if (dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        QDir().rmdir(dir.absolutePath());
}
