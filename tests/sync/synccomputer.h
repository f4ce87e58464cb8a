#pragma once

#include "appcontext.h"
#include "dbdatamodule.h"
#include "syncrun.h"
#include "testprogramfolder.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class SyncTarget;

// One computer of a sync test: a throw-away program folder with its database,
// the edits a user makes there, and what it holds, for comparing computers.
struct SyncComputer
{
    explicit SyncComputer(QString name);

    QString name;
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};
    QSet<int> openNotes;

    // A note with its text, a picture of that name (empty: none) and an attachment (empty: none).
    int addNote(const QString &title, const QString &catalog, const QByteArray &body, const QString &picture = {},
                const QString &attachment = {});
    void editNote(int noteId, const QByteArray &body);
    int addNode(const QString &path); // answers the last node's tagid
    int tagOf(const QString &path);   // 0 when no node has that path
    void trashNote(int noteId);

    QByteArray html(int noteId);
    QList<int> noteIds();
    QList<int> tagIds();
    int noteByTitle(const QString &title);

    SyncOutcome sync(SyncTarget &target, bool allowMassDelete = false);

    // "/"-joined names of every node from the top, sorted.
    QStringList catalog();
    // Every note as one line: path, title, text, pictures and attachments with their bytes, sorted.
    QStringList notes();
    QStringList problems();
};

// A note's text around some words.
QByteArray noteBody(const QString &words, const QString &picture = {});
