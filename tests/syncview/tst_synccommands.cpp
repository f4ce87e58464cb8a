// Sync in the explorer: Sync now brings in what another computer sent and
// shows it, and the guard asks before syncing with a target that lost the
// collection, changing nothing until the user says yes, and asking once
// until the user acts.
#include "mainform.h"
#include "synccommands.h"
#include "synccomputer.h"
#include "syncformat.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

namespace {

bool treeShows(QTreeWidget *tree, const QString &text)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->text(0).startsWith(text))
            return true;
    }
    return false;
}

SyncEnd syncNow(TMainForm &explorer)
{
    QSignalSpy ended(explorer.syncCommands(), &SyncCommands::syncEnded);
    explorer.syncCommands()->SyncNowActExecute();
    if (!ended.wait(60000))
        return SyncEnd::Failed;
    return ended.takeFirst().at(0).value<SyncEnd>();
}

} // namespace

class SyncCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void syncNowShowsWhatCameIn();
    void guardAsksAboutAnEmptyTarget_data();
    void guardAsksAboutAnEmptyTarget();
};

void SyncCommandsTest::syncNowShowsWhatCameIn()
{
    QTemporaryDir target;
    SyncComputer laptop(QStringLiteral("laptop")), desktop(QStringLiteral("desktop"));
    desktop.addNote(QStringLiteral("Rome by night"), QStringLiteral("Travel,Rome"), noteBody(QStringLiteral("lights")));
    SyncRequest request;
    request.place.target = target.path();
    QCOMPARE(runSync(desktop.context, request, {}, {}).end, SyncEnd::Synced);

    SyncSettings(laptop.folder.path()).save(request.place);
    TMainForm explorer(laptop.context, laptop.database);
    explorer.show();
    explorer.LoadTagTree(QString());
    QVERIFY(!treeShows(explorer.TagTreeView_(), QStringLiteral("Rome")));
    QCOMPARE(syncNow(explorer), SyncEnd::Synced);
    QVERIFY2(explorer.syncCommands()->statusLabel()->text().startsWith(QStringLiteral("Synced at ")),
             qPrintable(explorer.syncCommands()->statusLabel()->text()));
    QVERIFY(treeShows(explorer.TagTreeView_(), QStringLiteral("Rome")));
    QCOMPARE(laptop.notes(), desktop.notes());
}

void SyncCommandsTest::guardAsksAboutAnEmptyTarget_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("no: nothing changes") << false;
    QTest::newRow("yes: the collection is sent again") << true;
}

void SyncCommandsTest::guardAsksAboutAnEmptyTarget()
{
    QFETCH(bool, answer);
    QTemporaryDir target;
    SyncComputer laptop(QStringLiteral("laptop"));
    laptop.addNote(QStringLiteral("Kept"), QStringLiteral("Work"), noteBody(QStringLiteral("kept")));
    SyncPlace place;
    place.target = target.path();
    SyncSettings(laptop.folder.path()).save(place);
    TMainForm explorer(laptop.context, laptop.database);
    QStringList questions;
    explorer.syncCommands()->askYesNo = [&](const QString &question) {
        questions << question;
        return answer;
    };
    QCOMPARE(syncNow(explorer), SyncEnd::Synced);

    // An unmounted drive or a moved folder: the place is there, the collection is not.
    QVERIFY(QDir(target.path()).removeRecursively() && QDir().mkpath(target.path()));
    const QStringList notes = laptop.notes();
    QSignalSpy ended(explorer.syncCommands(), &SyncCommands::syncEnded);
    explorer.syncCommands()->SyncNowActExecute();
    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.at(0).at(0).value<SyncEnd>(), SyncEnd::TargetEmpty);
    QCOMPARE(questions.size(), 1);
    QVERIFY2(questions.first().contains(QStringLiteral("holds no notes")), qPrintable(questions.first()));
    if (answer) {
        QVERIFY(ended.size() > 1 || ended.wait(60000));
        QCOMPARE(ended.at(1).at(0).value<SyncEnd>(), SyncEnd::Synced);
    } else {
        // The syncs by themselves do not ask again; a sync by hand does.
        explorer.syncCommands()->syncByItself();
        QVERIFY(!ended.wait(1000));
        QCOMPARE(questions.size(), 1);
        explorer.syncCommands()->SyncNowActExecute();
        QVERIFY(ended.wait(60000));
        QCOMPARE(questions.size(), 2);
    }
    QCOMPARE(laptop.notes(), notes);
    QCOMPARE(QFileInfo::exists(target.filePath(SyncFormat::identityName)), answer);
}

QTEST_MAIN(SyncCommandsTest)
#include "tst_synccommands.moc"
