#pragma once

#include "appcontext.h"
#include "dbdatamodule.h"
#include "testprogramfolder.h"

#include <QString>
#include <QStringList>

class QTreeWidget;
class TMainForm;

// A program folder with a real database, for an explorer on it, and rows put
// straight into its tables.
struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};

    void tag(int id, const QString &name, int deep, const QString &path, int parent, int childcount, int icon = 0);
    void note(int id, const QString &title, int tagId, const QString &file = QString());
    void attachment(int id, int noteId, const QString &name, qint64 size);
    int count(const QString &sql) { return database.queryInteger(sql); }
    // A note file in the data folder; answers its path relative to it.
    QString writeNoteFile(const QString &name, const QString &body);
    // Work(3) > Projects(2) > Alpha(1); Home(0).
    void seedWorkTree();
};

// The tree's captions in display order, children indented by two blanks.
QStringList captions(const QTreeWidget *tree);
QStringList noteTitles(const QTreeWidget *list);
// Selects the node and lists its notes, as a click does.
void clickTag(TMainForm &explorer, int tagId);
