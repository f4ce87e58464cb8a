#include "appcontext.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "everyhistoryprune.h"
#include "exwebbrowser.h"
#include "notefilereplace.h"
#include "notehistory.h"
#include "testprogramfolder.h"
#include "worddiff.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSqlQuery>
#include <QtTest>

namespace {

enum class SaveKind { Edited, CaptureAppended, Restored, Unchanged };

struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};

    TEditorForm *editor()
    {
        auto *editor = new TEditorForm(context, database);
        editor->askYesNo = [](const QString &) { return true; };
        editor->showMessage = [](const QString &message) { qWarning("%s", qPrintable(message)); };
        editor->show();
        return editor;
    }
};

QByteArray fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int filesIn(const QString &folder)
{
    return static_cast<int>(QDir(folder).entryList(QDir::Files).size());
}

// A fixed local noon, so that days and months fall the same on every run.
const QDateTime Now(QDate(2026, 6, 15), QTime(12, 0));

} // namespace

class NoteHistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void everySaveThatChangesTheNoteKeepsTheTextItReplaces_data();
    void everySaveThatChangesTheNoteKeepsTheTextItReplaces();
    void pruningKeepsByAge_data();
    void pruningKeepsByAge();
    void startUpPrunesEveryNoteByAge_data();
    void startUpPrunesEveryNoteByAge();
    void textsKeptBySavesBecomeVersionsWhenRead();
    void equalTextsAreStoredOnce();
    void forgettingRemovesOnlyThatNote();
    void differencesAreMarkedByWord_data();
    void differencesAreMarkedByWord();
};

void NoteHistoryTest::everySaveThatChangesTheNoteKeepsTheTextItReplaces_data()
{
    QTest::addColumn<SaveKind>("kind");
    QTest::addColumn<int>("versions");
    QTest::newRow("edited in the editor") << SaveKind::Edited << 1;
    QTest::newRow("capture appended to the note") << SaveKind::CaptureAppended << 1;
    QTest::newRow("earlier version restored") << SaveKind::Restored << 2;
    QTest::newRow("saved unchanged") << SaveKind::Unchanged << 0;
}

void NoteHistoryTest::everySaveThatChangesTheNoteKeepsTheTextItReplaces()
{
    QFETCH(SaveKind, kind);
    QFETCH(int, versions);
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>First text</p>"), QStringLiteral("Note"));
    QVERIFY(editor->SaveNote());
    const int noteId = editor->noteId();
    QSqlQuery &row = f.database.runQuery(QStringLiteral("select filename from note where noteid=?"), {noteId});
    QVERIFY(row.next());
    const QString path = f.context.dataFolder + row.value(0).toString().trimmed();
    row.finish();
    const QByteArray first = fileText(path);
    QVERIFY(first.contains("First text"));
    NoteHistory history(f.context.dataFolder, noteId);
    QVERIFY(history.versions().isEmpty()); // a new note replaces nothing

    switch (kind) {
    case SaveKind::Edited:
        editor->content()->RunScript(QStringLiteral("document.body.innerHTML = '<p>Second text</p>';"));
        QVERIFY(editor->SaveNote());
        break;
    case SaveKind::CaptureAppended:
        editor->AppendToBody(QStringLiteral("<p>Second text</p>"));
        QVERIFY(editor->SaveNote());
        break;
    case SaveKind::Restored:
        QCOMPARE(replaceNoteFile(f.context.dataFolder, noteId, path, "<p>Second text</p>", f.context.history),
                 QString());
        QCOMPARE(restoreNoteVersion(f.context.dataFolder, noteId, path, history.versions().first(), f.context.history),
                 QString());
        QCOMPARE(fileText(path), first);
        break;
    case SaveKind::Unchanged:
        QVERIFY(editor->SaveNote());
        break;
    }
    const QList<NoteVersion> kept = history.versions();
    QCOMPARE(kept.size(), versions);
    if (versions > 0) {
        // Newest first: the text the last save replaced.
        QVERIFY(history.text(kept.first()).contains("Second text") == (kind == SaveKind::Restored));
        QCOMPARE(history.text(kept.last()), first);
        QVERIFY(fileText(path).contains("Second text") != (kind == SaveKind::Restored));
    }
    delete editor.data();
}

void NoteHistoryTest::pruningKeepsByAge_data()
{
    QTest::addColumn<QList<int>>("hoursAgo");
    QTest::addColumn<int>("monthlyMonths");
    QTest::addColumn<QList<int>>("keptHoursAgo");
    QTest::newRow("every version of the last week") << QList<int>{1, 2, 30, 160} << 0 << QList<int>{1, 2, 30, 160};
    QTest::newRow("the newest of a day after a week") << QList<int>{200, 201, 203} << 0 << QList<int>{200};
    QTest::newRow("the newest of a month after 90 days")
        << QList<int>{100 * 24, 101 * 24, 130 * 24} << 0 << QList<int>{100 * 24, 130 * 24};
    QTest::newRow("months are kept for ever by default") << QList<int>{2000 * 24} << 0 << QList<int>{2000 * 24};
    QTest::newRow("no months beyond the monthly ones") << QList<int>{100 * 24, 200 * 24} << 1 << QList<int>{100 * 24};
}

void NoteHistoryTest::pruningKeepsByAge()
{
    QFETCH(QList<int>, hoursAgo);
    QFETCH(int, monthlyMonths);
    QFETCH(QList<int>, keptHoursAgo);
    QTemporaryDir data;
    const QString dataFolder = data.path() + QLatin1Char('/');
    NoteHistory history(dataFolder, 7);
    for (const int hours : hoursAgo)
        QCOMPARE(history.keep(QByteArray::number(hours), Now.addSecs(-3600LL * hours)), QString());
    QFile stray(history.copyPath(versionHash("cut short")));
    QVERIFY(stray.open(QIODevice::WriteOnly)); // a copy whose save ended before the index named it

    HistoryKeeping keeping;
    keeping.monthlyMonths = monthlyMonths;
    QCOMPARE(history.prune(keeping, Now), int(hoursAgo.size() - keptHoursAgo.size()));
    QList<int> kept;
    for (const NoteVersion &version : history.versions())
        kept << history.text(version).toInt();
    QCOMPARE(kept, keptHoursAgo);
    QCOMPARE(filesIn(history.folder()), int(keptHoursAgo.size()) + 1); // the copies and the index
}

void NoteHistoryTest::startUpPrunesEveryNoteByAge_data()
{
    QTest::addColumn<int>("daysLater");
    QTest::addColumn<int>("monthlyMonths");
    QTest::addColumn<bool>("historyOn");
    QTest::addColumn<QList<int>>("keptPerNote");
    // Note 1 was last saved two days before Now, note 2 at Now, each keeping two versions an hour apart.
    QTest::newRow("the same day") << 0 << 0 << true << QList<int>{2, 2};
    QTest::newRow("a week on: the older note's day keeps its newest") << 6 << 0 << true << QList<int>{1, 2};
    QTest::newRow("a year on: the newest of the month") << 365 << 0 << true << QList<int>{1, 1};
    QTest::newRow("a year on, one month kept, history off: all go") << 365 << 1 << false << QList<int>{0, 0};
}

void NoteHistoryTest::startUpPrunesEveryNoteByAge()
{
    QFETCH(int, daysLater);
    QFETCH(int, monthlyMonths);
    QFETCH(bool, historyOn);
    QFETCH(QList<int>, keptPerNote);
    QTemporaryDir data;
    const QString dataFolder = data.path() + QLatin1Char('/');
    for (int note = 1; note <= 2; ++note) {
        const QDateTime saved = Now.addDays(note == 1 ? -2 : 0);
        for (int hour = 2; hour >= 1; --hour)
            QCOMPARE(
                NoteHistory(dataFolder, note).keep(QByteArray::number(note * 10 + hour), saved.addSecs(-3600 * hour)),
                QString());
    }
    HistoryKeeping keeping;
    keeping.enabled = historyOn;
    keeping.monthlyMonths = monthlyMonths;
    pruneEveryNoteHistory(dataFolder, keeping, Now.addDays(daysLater));
    QList<int> kept;
    for (int note = 1; note <= 2; ++note)
        kept << int(NoteHistory(dataFolder, note).versions().size());
    QCOMPARE(kept, keptPerNote);
    QCOMPARE(notesWithHistory(dataFolder).isEmpty(), keptPerNote == QList<int>({0, 0}));
}

void NoteHistoryTest::textsKeptBySavesBecomeVersionsWhenRead()
{
    QTemporaryDir data;
    const QString dataFolder = data.path() + QLatin1Char('/');
    const QString path = dataFolder + QStringLiteral("note.html");
    const HistoryKeeping keeping;
    QCOMPARE(replaceNoteFile(dataFolder, 4, path, "first", keeping), QString());
    int minutes = 0;
    for (const QByteArray &text : {QByteArray("second"), QByteArray("third")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        // Saved a minute apart, as far as the file tells.
        QVERIFY(file.setFileTime(Now.addSecs(60 * ++minutes), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(replaceNoteFile(dataFolder, 4, path, text, keeping), QString());
    }
    // The save leaves its kept texts for later (nothing ran the event loop since).
    const QString folder = NoteHistory::folderOf(dataFolder, 4);
    QCOMPARE(QDir(folder).entryList({QStringLiteral("linked-*")}, QDir::Files).size(), 2);
    const QList<NoteVersion> versions = NoteHistory(dataFolder, 4).versions();
    QCOMPARE(versions.size(), 2);
    QCOMPARE(NoteHistory(dataFolder, 4).text(versions.first()), QByteArray("second"));
    QCOMPARE(NoteHistory(dataFolder, 4).text(versions.last()), QByteArray("first"));
    QCOMPARE(fileText(path), QByteArray("third"));
    QCOMPARE(QDir(folder).entryList({QStringLiteral("linked-*")}, QDir::Files), QStringList());
}

void NoteHistoryTest::equalTextsAreStoredOnce()
{
    QTemporaryDir data;
    NoteHistory history(data.path() + QLatin1Char('/'), 3);
    QCOMPARE(history.keep("same text", Now.addSecs(-60)), QString());
    QCOMPARE(history.keep("same text", Now), QString());
    QCOMPARE(history.versions().size(), 2);
    QCOMPARE(filesIn(history.folder()), 2);
}

void NoteHistoryTest::forgettingRemovesOnlyThatNote()
{
    QTemporaryDir data;
    const QString dataFolder = data.path() + QLatin1Char('/');
    QCOMPARE(NoteHistory(dataFolder, 1).keep("one", Now), QString());
    QCOMPARE(NoteHistory(dataFolder, 2).keep("two", Now), QString());
    QVERIFY(forgetNoteHistory(dataFolder, 1));
    QVERIFY(!QFileInfo::exists(NoteHistory::folderOf(dataFolder, 1)));
    QCOMPARE(notesWithHistory(dataFolder), QList<int>{2});
}

void NoteHistoryTest::differencesAreMarkedByWord_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("marked");
    QTest::newRow("the same") << "<p>one two</p>"
                              << "<p>one <b>two</b></p>"
                              << "<p>one two</p>";
    QTest::newRow("a word changed") << "<p>one two three</p>"
                                    << "<p>one 2 three</p>"
                                    << "<p>one <del>two</del> <ins>2</ins> three</p>";
    QTest::newRow("words added at the end") << "<body><p>one</p></body>"
                                            << "<body><p>one</p><p>two three</p></body>"
                                            << "<body><p>one</p><ins>two three</ins></body>";
    QTest::newRow("the head is left alone") << "<head><title>a b</title></head><p>a</p>"
                                            << "<p>a b</p>"
                                            << "<head><title>a b</title></head><p>a</p><ins>b</ins>";
}

void NoteHistoryTest::differencesAreMarkedByWord()
{
    QFETCH(QString, version);
    QFETCH(QString, current);
    QFETCH(QString, marked);
    QCOMPARE(markedDifferences(version, current), marked);
}

QTEST_MAIN(NoteHistoryTest)
#include "tst_notehistory.moc"
