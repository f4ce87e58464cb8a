#include "explorerfixture.h"

#include "mainform.h"
#include "tagtreeview.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

void Fixture::tag(int id, const QString &name, int deep, const QString &path, int parent, int childcount, int icon)
{
    Transaction transaction(database);
    database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                          {id, name, deep, path, parent, childcount, icon});
    transaction.commit();
}

void Fixture::note(int id, const QString &title, int tagId, const QString &file)
{
    Transaction transaction(database);
    database.runStatement(
        QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
        {id, title, tagId, file.isEmpty() ? QStringLiteral("12-01-2026/none.html") : file});
    transaction.commit();
}

void Fixture::attachment(int id, int noteId, const QString &name, qint64 size)
{
    const QString folderName = QStringLiteral("12-01-2026/attaches/");
    QDir().mkpath(context.dataFolder + folderName);
    QFile file(context.dataFolder + folderName + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'a'));
    Transaction transaction(database);
    database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"), {id, noteId, name, folderName});
    transaction.commit();
}

QString Fixture::writeNoteFile(const QString &name, const QString &body)
{
    const QString relative = QStringLiteral("12-01-2026/") + name;
    QDir().mkpath(context.dataFolder + QStringLiteral("12-01-2026"));
    QFile file(context.dataFolder + relative);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>%1</body></html>")
                   .arg(body)
                   .toUtf8());
    return relative;
}

void Fixture::seedWorkTree()
{
    tag(1, QStringLiteral("Work"), 1, QStringLiteral("Work"), 0, 3);
    tag(2, QStringLiteral("Projects"), 2, QStringLiteral("Work,Projects"), 1, 2);
    tag(3, QStringLiteral("Home"), 1, QStringLiteral("Home"), 0, 0);
    tag(4, QStringLiteral("Alpha"), 3, QStringLiteral("Work,Projects,Alpha"), 2, 1);
}

QStringList captions(const QTreeWidget *tree)
{
    QStringList all;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it)
        all << QString((*it)->parent() ? QStringLiteral("  ") : QString()) + (*it)->text(0);
    return all;
}

QStringList noteTitles(const QTreeWidget *list)
{
    QStringList titles;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        titles << list->topLevelItem(i)->text(0);
    return titles;
}

void clickTag(TMainForm &explorer, int tagId)
{
    explorer.TagTreeView_()->setCurrentItem(explorer.TagTreeView_()->findTag(tagId));
    explorer.ShowTagNotes();
}
