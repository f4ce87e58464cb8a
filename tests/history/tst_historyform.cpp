#include "appcontext.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "historyform.h"
#include "mainform.h"
#include "notehistory.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QDateTime Now(QDate(2026, 6, 15), QTime(12, 0));

QByteArray fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QString shownTime(const QDateTime &time)
{
    return QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A note file with earlier versions kept beside it, without a database.
struct NoteWithVersions
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    QString notePath = context.dataFolder + QStringLiteral("15-06-2026/1.html");
    NoteHistory history{context.dataFolder, 1};
};

QStringList hitTitles(TMainForm *explorer)
{
    QStringList titles;
    for (int i = 0; i < explorer->noteList()->topLevelItemCount(); ++i)
        titles << explorer->noteList()->topLevelItem(i)->text(0);
    return titles;
}

} // namespace

class HistoryFormTest : public QObject
{
    Q_OBJECT

private slots:
    void versionsAreListedNewestFirstWithTheirSizes_data();
    void versionsAreListedNewestFirstWithTheirSizes();
    void theChosenVersionShowsItsDifferencesMarked_data();
    void theChosenVersionShowsItsDifferencesMarked();
    void restoreMakesTheChosenVersionCurrentEverywhere();
};

void HistoryFormTest::versionsAreListedNewestFirstWithTheirSizes_data()
{
    QTest::addColumn<QList<int>>("hoursAgo");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QStringList>("shownSizes"); // newest first
    QTest::newRow("no earlier versions") << QList<int>{} << QList<int>{} << QStringList{};
    QTest::newRow("kept out of order") << QList<int>{30, 1, 5} << QList<int>{5000, 100, 2048}
                                       << QStringList{"1 KB", "2 KB", "5 KB"};
}

void HistoryFormTest::versionsAreListedNewestFirstWithTheirSizes()
{
    QFETCH(QList<int>, hoursAgo);
    QFETCH(QList<int>, sizes);
    QFETCH(QStringList, shownSizes);
    NoteWithVersions note;
    QVERIFY(writeFile(note.notePath, "<p>now</p>"));
    QList<QDateTime> times;
    for (qsizetype i = 0; i < hoursAgo.size(); ++i) {
        times << Now.addSecs(-3600LL * hoursAgo[i]);
        QCOMPARE(note.history.keep(QByteArray(sizes[i], 'x'), times.last()), QString());
    }
    std::sort(times.begin(), times.end(), std::greater<>());

    THistoryForm form(note.context, 1, note.notePath, QStringLiteral("Note"));
    form.show();
    QTreeWidget *list = form.versionList();
    QCOMPARE(list->topLevelItemCount(), int(times.size()));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QCOMPARE(list->topLevelItem(i)->text(0), shownTime(times[i]));
        QCOMPARE(list->topLevelItem(i)->text(1), shownSizes[i]);
    }
    auto *pages = form.findChild<QStackedWidget *>();
    auto *empty = form.findChild<QLabel *>(QStringLiteral("NoVersionsLabel"));
    QCOMPARE(pages->currentWidget() == empty, times.isEmpty());
    QCOMPARE(empty->text(), QStringLiteral("No earlier versions"));
    QCOMPARE(form.restoreButton()->isEnabled(), !times.isEmpty());
    QCOMPARE(form.restoreButton()->text(), QStringLiteral("Restore this version"));
}

void HistoryFormTest::theChosenVersionShowsItsDifferencesMarked_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("intact copy") << false;
    QTest::newRow("damaged copy") << true;
}

void HistoryFormTest::theChosenVersionShowsItsDifferencesMarked()
{
    QFETCH(bool, damaged);
    NoteWithVersions note;
    const QByteArray current = "<html><head></head><body><p>one 2 three</p><p>newer</p></body></html>";
    QVERIFY(writeFile(note.notePath, current));
    QCOMPARE(note.history.keep("<html><head></head><body><p>one two three</p></body></html>", Now.addSecs(-60)),
             QString());
    QCOMPARE(note.history.keep("<html><head></head><body><p>first</p></body></html>", Now.addSecs(-120)), QString());
    if (damaged)
        QVERIFY(writeFile(note.history.copyPath(note.history.versions().first().hash), "not zlib"));

    THistoryForm form(note.context, 1, note.notePath, QStringLiteral("Note"));
    form.show();
    QCOMPARE(form.versionList()->currentItem(), form.versionList()->topLevelItem(0));
    if (damaged) {
        QVERIFY(form.shownPage().isEmpty());
        QVERIFY(form.statusLabel()->text().contains(QStringLiteral("damaged")));
        QVERIFY(!form.restoreButton()->isEnabled());
        QVERIFY(!form.restoreChosen());
        QCOMPARE(fileText(note.notePath), current);
        // The other versions still show.
        QTest::keyClick(form.versionList(), Qt::Key_Down);
        QVERIFY(form.shownPage().contains(QStringLiteral("<del>first</del>")));
        QVERIFY(form.statusLabel()->text().isEmpty());
        return;
    }
    QVERIFY(form.shownPage().contains(QStringLiteral("<del>two</del> <ins>2</ins>")));
    QVERIFY(form.shownPage().contains(QStringLiteral("<ins>newer</ins>")));
    QVERIFY(form.view()->WaitWhileBusy());
    QCOMPARE(form.view()->RunScript(QStringLiteral("document.querySelectorAll('del').length")).toInt(), 1);
    // Marks stand out: removed words are struck through, added ones underlined.
    QCOMPARE(form.view()
                 ->RunScript(QStringLiteral("getComputedStyle(document.querySelector('del')).textDecorationLine"))
                 .toString(),
             QStringLiteral("line-through"));
    QCOMPARE(form.view()
                 ->RunScript(QStringLiteral("getComputedStyle(document.querySelector('ins')).textDecorationLine"))
                 .toString(),
             QStringLiteral("underline"));
    QVERIFY(!form.view()->DesignMode());
}

void HistoryFormTest::restoreMakesTheChosenVersionCurrentEverywhere()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    TMainForm *explorer = program.explorer();
    FullTextSearch *search = explorer->fullTextSearch();
    QVERIFY(QTest::qWaitFor([&] { return search->isIdle(); }, 60000));

    // A new note offers no history until it is stored.
    QPointer<TEditorForm> editor = program.newEditor();
    editor->show();
    QVERIFY(!editor->historyAction()->isEnabled());
    editor->PrefillFromCapture(QStringLiteral("<p>Lighthouse keepers write logbooks.</p>"), QStringLiteral("Log"));
    QVERIFY(editor->SaveNote());
    QVERIFY(editor->historyAction()->isEnabled());
    const QString path = editor->notePath();
    const QByteArray first = fileText(path);
    editor->content()->RunScript(QStringLiteral("document.body.innerHTML = '<p>Harbour pilots steer ships.</p>';"));
    QVERIFY(editor->SaveNote());
    QTRY_COMPARE(explorer->currentNoteId(), editor->noteId());

    // From the explorer, with the editor still open on the note.
    explorer->findChild<QAction *>(QStringLiteral("HistoryAct"))->trigger();
    QPointer<THistoryForm> form = explorer->findChild<THistoryForm *>();
    QVERIFY(form);
    QCOMPARE(form->versionList()->topLevelItemCount(), 1);
    QTest::keyClick(form->versionList(), Qt::Key_Return);
    QCOMPARE(fileText(path), first);
    NoteHistory history(program.context().dataFolder, editor->noteId());
    QCOMPARE(history.versions().size(), 2);
    QVERIFY(history.text(history.versions().first()).contains("Harbour pilots"));
    QCOMPARE(form->versionList()->topLevelItemCount(), 2);
    QVERIFY(editor->content()->BodyInnerHtml().contains(QStringLiteral("Lighthouse keepers")));

    QVERIFY(QTest::qWaitFor([&] { return search->isIdle(); }, 60000));
    search->setFullText(true);
    for (const auto &[words, hits] : {std::pair{"logbooks", QStringList{"Log"}}, std::pair{"pilots", QStringList{}}}) {
        search->fullTextEdit()->setText(QLatin1String(words));
        QTest::keyClick(search->fullTextEdit(), Qt::Key_Return);
        QTRY_COMPARE(hitTitles(explorer), hits);
    }
    QTest::keyClick(form->versionList(), Qt::Key_Escape);
    QTRY_VERIFY(!form);
    QVERIFY(editor->close());
}

CLIPNEST_TEST_MAIN(HistoryFormTest)
#include "tst_historyform.moc"
