#include "catalogedits.h"
#include "foldertarget.h"
#include "synccomputer.h"
#include "syncrevision.h"

#include "wholefile.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

struct Pair
{
    SyncComputer a{QStringLiteral("alpha")};
    SyncComputer b{QStringLiteral("beta")};
    QTemporaryDir targetFolder;
    FolderTarget target{targetFolder.path() + QStringLiteral("/target")};

    void settle()
    {
        for (int round = 0; round < 2; ++round) {
            a.sync(target);
            b.sync(target);
        }
    }
};

using Scenario = std::function<void(Pair &)>;

// Each scenario changes both computers apart, syncs, and checks its rule; the
// test then checks that both hold the same catalog and notes, with sound rows.
const QList<std::pair<const char *, Scenario>> &scenarios()
{
    static const QList<std::pair<const char *, Scenario>> list{
        {"the same note changed on both: both kept",
         [](Pair &p) {
             p.a.addNote(QStringLiteral("Plan"), QStringLiteral("work"), noteBody(QStringLiteral("first")));
             p.settle();
             p.a.editNote(p.a.noteByTitle(QStringLiteral("Plan")), noteBody(QStringLiteral("from alpha")));
             p.b.editNote(p.b.noteByTitle(QStringLiteral("Plan")), noteBody(QStringLiteral("from beta")));
             p.settle();
             const QStringList notes = p.a.notes();
             QCOMPARE(notes.size(), 2);
             QVERIFY(notes.join(QString()).contains(QStringLiteral("from alpha")));
             QVERIFY(notes.join(QString()).contains(QStringLiteral("from beta")));
             const QRegularExpression copy(QStringLiteral("\\|Plan \\(conflict \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d (alpha|beta)\\)\\|"));
             QVERIFY2(notes.filter(copy).size() == 1, qPrintable(notes.join(QLatin1Char('\n'))));
         }},
        {"a picture cut short on the target by a power loss is sent again",
         [](Pair &p) {
             QVERIFY(QDir().mkpath(p.targetFolder.path() + QStringLiteral("/target/blobs")));
             writeWholeFile(p.targetFolder.path() + QStringLiteral("/target/blobs/")
                                + SyncRevision::sha256Hex("picture cut.png"),
                            QByteArray());
             p.a.addNote(QStringLiteral("Cut"), QStringLiteral("work"), noteBody(QStringLiteral("cut"), QStringLiteral("cut.png")),
                         QStringLiteral("cut.png"));
             p.settle();
             QVERIFY(p.b.notes().join(QString()).contains(QStringLiteral("cut.png=picture cut.png")));
         }},
        {"deleted on one, changed on the other: the change wins",
         [](Pair &p) {
             p.a.addNote(QStringLiteral("Plan"), QStringLiteral("work"), noteBody(QStringLiteral("first")));
             p.settle();
             p.a.trashNote(p.a.noteByTitle(QStringLiteral("Plan")));
             p.b.editNote(p.b.noteByTitle(QStringLiteral("Plan")), noteBody(QStringLiteral("kept")));
             p.settle();
             QCOMPARE(p.a.notes().size(), 1);
             QCOMPARE(p.a.html(p.a.noteByTitle(QStringLiteral("Plan"))), noteBody(QStringLiteral("kept")));
         }},
        {"a node renamed while a note was filed under it: both land",
         [](Pair &p) {
             p.a.addNote(QStringLiteral("One"), QStringLiteral("work"), noteBody(QStringLiteral("1")));
             p.settle();
             renameTag(p.a.database, p.a.tagOf(QStringLiteral("work")), QStringLiteral("job"));
             p.b.addNote(QStringLiteral("Two"), QStringLiteral("work"), noteBody(QStringLiteral("2")));
             p.settle();
             QVERIFY(!p.a.catalog().contains(QStringLiteral("work")));
             QCOMPARE(p.a.notes().filter(QRegularExpression(QStringLiteral("^job\\|"))).size(), 2);
         }},
        {"the same path made on both: one node",
         [](Pair &p) {
             p.a.addNode(QStringLiteral("home,garden"));
             p.b.addNode(QStringLiteral("home,garden"));
             p.settle();
             QCOMPARE(p.a.catalog().filter(QStringLiteral("home/garden")).size(), 1);
             QCOMPARE(p.a.catalog().filter(QRegularExpression(QStringLiteral("^home$"))).size(), 1);
         }},
        {"a node deleted while a note was added under it: the node comes back",
         [](Pair &p) {
             p.a.addNode(QStringLiteral("trip"));
             p.settle();
             QCOMPARE(deleteTag(p.a.database, p.a.tagOf(QStringLiteral("trip"))), DeleteTagOutcome::Deleted);
             p.b.addNote(QStringLiteral("Tickets"), QStringLiteral("trip"), noteBody(QStringLiteral("t")));
             p.settle();
             QCOMPARE(p.a.notes().filter(QRegularExpression(QStringLiteral("^trip\\|Tickets"))).size(), 1);
         }},
        {"the title on one, the text on the other: one note with both",
         [](Pair &p) {
             p.a.addNote(QStringLiteral("Plan"), QStringLiteral("work"), noteBody(QStringLiteral("first")));
             p.settle();
             retitleNote(p.a.database, p.a.noteByTitle(QStringLiteral("Plan")), QStringLiteral("Plans"));
             p.b.editNote(p.b.noteByTitle(QStringLiteral("Plan")), noteBody(QStringLiteral("second")));
             p.settle();
             QCOMPARE(p.a.notes().size(), 1);
             QCOMPARE(p.b.html(p.b.noteByTitle(QStringLiteral("Plans"))), noteBody(QStringLiteral("second")));
         }},
        {"an open note is not replaced: its change waits",
         [](Pair &p) {
             const int note = p.a.addNote(QStringLiteral("Plan"), QStringLiteral("work"), noteBody(QStringLiteral("first")));
             p.settle();
             p.a.editNote(note, noteBody(QStringLiteral("second")));
             p.a.sync(p.target);
             const int there = p.b.noteByTitle(QStringLiteral("Plan"));
             p.b.openNotes.insert(there);
             QCOMPARE(p.b.sync(p.target).waiting, QList<int>{there});
             QCOMPARE(p.b.html(there), noteBody(QStringLiteral("first")));
             p.b.openNotes.clear();
             QVERIFY(p.b.sync(p.target).changedNotes.contains(there));
             QCOMPARE(p.b.html(there), noteBody(QStringLiteral("second")));
         }},
        {"a sync that would trash most notes stops and asks",
         [](Pair &p) {
             for (int i = 0; i < 6; ++i)
                 p.a.addNote(QStringLiteral("N%1").arg(i), QStringLiteral("work"), noteBody(QString::number(i)));
             p.settle();
             for (const int note : p.a.noteIds().mid(1))
                 p.a.trashNote(note);
             p.a.sync(p.target);
             const SyncOutcome held = p.b.sync(p.target);
             QVERIFY(held.massDeleteHeld);
             QCOMPARE(held.deletionsHeld, 5);
             QCOMPARE(p.b.noteIds().size(), 6);
             QVERIFY(!p.b.sync(p.target, true).massDeleteHeld);
             QCOMPARE(p.b.noteIds().size(), 1);
         }},
        {"pictures of one name in two notes of a day: each note keeps its own",
         [](Pair &p) {
             p.a.addNote(QStringLiteral("Cat"), QStringLiteral("pets"), noteBody(QStringLiteral("cat"), QStringLiteral("p.png")),
                         QStringLiteral("p.png"));
             p.b.addNote(QStringLiteral("Dog"), QStringLiteral("pets"), noteBody(QStringLiteral("dog"), QStringLiteral("p.png")),
                         QStringLiteral("p.png"));
             QDirIterator pictures(p.b.context.dataFolder, {QStringLiteral("p.png")}, QDir::Files, QDirIterator::Subdirectories);
             QVERIFY(pictures.hasNext());
             QVERIFY(writeWholeFile(pictures.next(), "a dog").isEmpty());
             p.settle();
             const QStringList notes = p.a.notes();
             QCOMPARE(notes.size(), 2);
             QVERIFY2(notes.filter(QStringLiteral("|Cat|")).join(QString()).contains(QStringLiteral("=picture p.png")),
                      qPrintable(notes.join(QLatin1Char('\n'))));
             QVERIFY2(notes.filter(QStringLiteral("|Dog|")).join(QString()).contains(QStringLiteral("=a dog")),
                      qPrintable(notes.join(QLatin1Char('\n'))));
         }},
        {"nodes moved under each other: the circle is broken",
         [](Pair &p) {
             p.a.addNode(QStringLiteral("p"));
             p.a.addNode(QStringLiteral("q"));
             p.settle();
             QVERIFY(moveTag(p.a.database, p.a.tagOf(QStringLiteral("p")), p.a.tagOf(QStringLiteral("q"))));
             QVERIFY(moveTag(p.b.database, p.b.tagOf(QStringLiteral("q")), p.b.tagOf(QStringLiteral("p"))));
             p.settle();
             QCOMPARE(p.a.catalog().filter(QRegularExpression(QStringLiteral("^[pq]$"))).size(), 1);
         }},
    };
    return list;
}

// A target whose connection drops at every n-th request, as a sync cut short
// at any moment of its exchange.
class DroppingTarget : public SyncTarget
{
public:
    DroppingTarget(SyncTarget &target, int every)
        : m_target(target)
        , m_every(every)
    {
    }
    std::optional<QByteArray> read(const QString &path) override { return drop(path), m_target.read(path); }
    void write(const QString &path, const QByteArray &bytes) override { drop(path), m_target.write(path, bytes); }
    bool writeNew(const QString &path, const QByteArray &bytes) override { return drop(path), m_target.writeNew(path, bytes); }
    QStringList list(const QString &folder) override { return drop(folder), m_target.list(folder); }
    void remove(const QString &path) override { drop(path), m_target.remove(path); }
    QString description() const override { return m_target.description(); }
    qint64 requestCount() const override { return m_target.requestCount(); }

private:
    void drop(const QString &path)
    {
        if (qEnvironmentVariableIsSet("CLIPNEST_SYNC_TRACE"))
            qInfo("%d %s", m_requests + 1, qPrintable(path.left(20)));
        if (++m_requests % m_every == 0)
            throw SyncTargetError(SyncFault::Unreachable, QStringLiteral("dropped"));
    }
    SyncTarget &m_target;
    int m_every;
    int m_requests = 0;
};

} // namespace

class SyncMergeTest : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<int>("scenario");
        for (int i = 0; i < scenarios().size(); ++i)
            QTest::newRow(scenarios().at(i).first) << i;
    }

    void rules()
    {
        QFETCH(int, scenario);
        Pair pair;
        scenarios().at(scenario).second(pair);
        if (QTest::currentTestFailed())
            return;
        pair.settle();
        QCOMPARE(pair.a.catalog(), pair.b.catalog());
        QCOMPARE(pair.a.notes(), pair.b.notes());
        QCOMPARE(pair.a.problems(), QStringList());
        QCOMPARE(pair.b.problems(), QStringList());
    }

    // A database made before sync gets its tables when opened, and syncs.
    void olderFilesGetTheTables()
    {
        TestProgramFolder folder;
        {
            TDBDataModule database(folder.databasePath());
            for (const char *table : {"syncobject", "syncseen", "syncsetting"}) {
                Transaction transaction(database);
                database.runStatement(QStringLiteral("drop table %1").arg(QLatin1String(table)));
                transaction.commit();
            }
        }
        TDBDataModule database(folder.databasePath());
        AppContext context(folder.path());
        QTemporaryDir targetFolder;
        FolderTarget target(targetFolder.path());
        SyncRun run(database, context, target, QStringLiteral("t"));
        QCOMPARE(SyncRun::lastTargetId(database), QString());
        run.run();
        QCOMPARE(SyncRun::lastTargetId(database), QStringLiteral("t"));
    }

    // Syncs cut short at every n-th request resume: in the end each computer
    // holds every note once, with its picture and attachment.
    void interruptedSyncsResume_data()
    {
        QTest::addColumn<int>("every");
        for (const int every : {4, 5, 8, 13})
            QTest::newRow(qPrintable(QStringLiteral("every %1th request").arg(every))) << every;
    }

    void interruptedSyncsResume()
    {
        QFETCH(int, every);
        Pair pair;
        for (int i = 0; i < 8; ++i) {
            pair.a.addNote(QStringLiteral("A%1").arg(i), QStringLiteral("work,a%1").arg(i % 3),
                           noteBody(QStringLiteral("a%1").arg(i), QStringLiteral("pa%1.png").arg(i)),
                           QStringLiteral("pa%1.png").arg(i), QStringLiteral("ta%1.txt").arg(i));
            pair.b.addNote(QStringLiteral("B%1").arg(i), QStringLiteral("home"), noteBody(QStringLiteral("b%1").arg(i)));
        }
        DroppingTarget dropping(pair.target, every);
        for (int round = 0, quiet = 0; quiet < 1; ++round) {
            QVERIFY2(round < 200, "the syncs never got through");
            int changes = 0;
            for (SyncComputer *computer : {&pair.a, &pair.b}) {
                try {
                    const SyncOutcome outcome = computer->sync(dropping);
                    changes += outcome.sent + outcome.received;
                } catch (const SyncTargetError &) {
                    ++changes;
                }
            }
            quiet = changes == 0 ? quiet + 1 : 0;
        }
        pair.settle();
        QCOMPARE(pair.a.notes().size(), 16);
        QCOMPARE(pair.a.notes(), pair.b.notes());
        QCOMPARE(pair.a.catalog(), pair.b.catalog());
        QCOMPARE(pair.a.problems(), QStringList());
        QCOMPARE(pair.b.problems(), QStringList());
    }
};

QTEST_GUILESS_MAIN(SyncMergeTest)
#include "tst_syncmerge.moc"
