#include "catalogedits.h"
#include "catalogwalk.h"
#include "tagpaths.h"
#include "davfixture.h"
#include "foldertarget.h"
#include "synccomputer.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

int fromEnvironment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

const QStringList NodeNames{QStringLiteral("work"), QStringLiteral("home"), QStringLiteral("ideas"),
                            QStringLiteral("misc")};
const QStringList Titles{QStringLiteral("Plan"), QStringLiteral("List"), QStringLiteral("Recipe"),
                         QStringLiteral("Letter")};

// Three computers making random changes and syncing in random order. Every
// note text carries words "w<n>"; a word is lost only when a computer holding
// it changed or trashed that note itself, so every other word must be in some
// note at the end.
class Model
{
public:
    Model(quint32 seed, int computers, SyncTarget &target)
        : m_random(seed)
        , m_target(target)
    {
        for (int i = 0; i < computers; ++i)
            m_computers.push_back(std::make_unique<SyncComputer>(QStringLiteral("pc%1").arg(i)));
    }

    void step()
    {
        SyncComputer &c = *m_computers.at(m_random.bounded(int(m_computers.size())));
        const QList<int> notes = c.noteIds();
        const QList<int> tags = userTags(c);
        const int pick = m_random.bounded(100);
        if (pick < 14 || notes.isEmpty()) {
            addNote(c, tags);
        } else if (pick < 34) {
            const int note = notes.at(m_random.bounded(notes.size()));
            supersede(c.html(note));
            const QString picture = m_random.bounded(3) == 0 ? QStringLiteral("p%1.png").arg(++m_counter) : QString();
            if (!picture.isEmpty())
                writePicture(c, note, picture);
            c.editNote(note, noteBody(word(), picture));
        } else if (pick < 42) {
            retitleNote(c.database, notes.at(m_random.bounded(notes.size())), Titles.at(m_random.bounded(Titles.size())));
        } else if (pick < 50 && !tags.isEmpty()) {
            moveNote(c.database, notes.at(m_random.bounded(notes.size())), tags.at(m_random.bounded(tags.size())));
        } else if (pick < 56) {
            const int note = notes.at(m_random.bounded(notes.size()));
            supersede(c.html(note));
            c.trashNote(note);
        } else if (pick < 64) {
            const QString name = NodeNames.at(m_random.bounded(NodeNames.size()));
            if (!tags.isEmpty() && m_random.bounded(2) == 0) {
                const std::optional<TagRecord> parent = readTagRow(c.database, tags.at(m_random.bounded(tags.size())));
                if (parent)
                    AddTagPath(c.database, &*parent, name);
            } else {
                c.addNode(name);
            }
        } else if (pick < 69 && !tags.isEmpty()) {
            renameTag(c.database, tags.at(m_random.bounded(tags.size())), NodeNames.at(m_random.bounded(NodeNames.size())));
        } else if (pick < 74 && tags.size() > 1) {
            moveTag(c.database, tags.at(m_random.bounded(tags.size())), tags.at(m_random.bounded(tags.size())));
        } else if (pick < 80 && !tags.isEmpty()) {
            deleteTag(c.database, tags.at(m_random.bounded(tags.size())));
        } else {
            sync(c);
        }
    }

    void settle()
    {
        for (int round = 0; round < 8; ++round) {
            int changes = 0;
            for (const auto &computer : m_computers) {
                const SyncOutcome outcome = sync(*computer);
                changes += outcome.received + outcome.sent;
            }
            if (changes == 0 && round > 0)
                return;
        }
        QFAIL("the computers did not settle");
    }

    void check()
    {
        SyncComputer &first = *m_computers.front();
        for (const auto &computer : m_computers) {
            if (qEnvironmentVariableIsSet("CLIPNEST_SYNC_TRACE") && computer->catalog() != first.catalog())
                qInfo("%s\n---\n%s", qPrintable(first.catalog().join(QLatin1Char('\n'))),
                      qPrintable(computer->catalog().join(QLatin1Char('\n'))));
            QCOMPARE(computer->catalog(), first.catalog());
            QCOMPARE(computer->notes(), first.notes());
            QCOMPARE(computer->problems(), QStringList());
        }
        const QString all = first.notes().join(QLatin1Char('\n'));
        for (int w = 1; w <= m_counter; ++w) {
            if (m_words.contains(w) && !m_superseded.contains(w))
                QVERIFY2(all.contains(QStringLiteral("w%1<").arg(w)), qPrintable(QStringLiteral("w%1 is lost").arg(w)));
        }
    }

    SyncOutcome sync(SyncComputer &c)
    {
        const SyncOutcome outcome = c.sync(m_target, true);
        m_conflicts += outcome.conflicts;
        if (qEnvironmentVariableIsSet("CLIPNEST_SYNC_TRACE"))
            qInfo("%s: sent %d received %d conflicts %d", qPrintable(c.name), outcome.sent, outcome.received,
                  outcome.conflicts);
        return outcome;
    }

    int conflicts() const { return m_conflicts; }

private:
    QList<int> userTags(SyncComputer &c)
    {
        QList<int> tags;
        QSqlQuery &query = c.database.runQuery(QStringLiteral("select tagid from tags where lower(tagname)<>'untagged'"));
        while (query.next())
            tags << query.value(0).toInt();
        query.finish();
        return tags;
    }

    QString word()
    {
        m_words.insert(++m_counter);
        return QStringLiteral("w%1").arg(m_counter);
    }

    void supersede(const QByteArray &html)
    {
        static const QRegularExpression words(QStringLiteral("w(\\d+)<"));
        for (const QRegularExpressionMatch &match : words.globalMatch(QString::fromUtf8(html)))
            m_superseded.insert(match.captured(1).toInt());
    }

    void writePicture(SyncComputer &c, int note, const QString &picture)
    {
        QSqlQuery &query = c.database.runQuery(QStringLiteral("select filename from note where noteid=?"), {note});
        const QString file = query.next() ? query.value(0).toString() : QString();
        query.finish();
        QFile out(c.context.dataFolder + QFileInfo(file).path() + QStringLiteral("/images/") + picture);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("picture " + picture.toUtf8());
    }

    void addNote(SyncComputer &c, const QList<int> &tags)
    {
        QString catalog = QStringLiteral("untagged");
        if (!tags.isEmpty() && m_random.bounded(3) != 0)
            catalog = readTagRow(c.database, tags.at(m_random.bounded(tags.size())))->path;
        const QString picture = m_random.bounded(3) == 0 ? QStringLiteral("p%1.png").arg(++m_counter) : QString();
        const QString attachment = m_random.bounded(4) == 0 ? QStringLiteral("a%1.txt").arg(++m_counter) : QString();
        c.addNote(Titles.at(m_random.bounded(Titles.size())), catalog, noteBody(word(), picture), picture, attachment);
    }

    QRandomGenerator m_random;
    std::vector<std::unique_ptr<SyncComputer>> m_computers;
    SyncTarget &m_target;
    int m_counter = 0;
    QSet<int> m_words, m_superseded;
    int m_conflicts = 0;
};

} // namespace

class SyncModelTest : public QObject
{
    Q_OBJECT

private slots:
    void randomChangesConverge_data()
    {
        QTest::addColumn<int>("route");
        QTest::newRow("a folder") << -1;
        QTest::newRow("a real Apache") << int(DavFixture::Direct);
        QTest::newRow("a proxy that drops and refuses") << int(DavFixture::ThroughProxy);
    }

    // CLIPNEST_SYNC_SEED and CLIPNEST_SYNC_OPS run another seed or length.
    void randomChangesConverge()
    {
        QFETCH(int, route);
        const quint32 seed = fromEnvironment("CLIPNEST_SYNC_SEED", 20261211);
        const int operations = fromEnvironment("CLIPNEST_SYNC_OPS", 1000);
        QTemporaryDir folder;
        std::unique_ptr<DavFixture> dav;
        std::unique_ptr<SyncTarget> target;
        if (route < 0) {
            target = std::make_unique<FolderTarget>(folder.path() + QStringLiteral("/target"));
        } else {
            dav = std::make_unique<DavFixture>();
            QVERIFY2(dav->isReady(), qPrintable(dav->error()));
            // One request in twenty meets a fault, which the retries ride out.
            dav->proxy().setFaults(0.05,
                                   {FaultProxy::Fault::DropRequest, FaultProxy::Fault::DropAnswer,
                                    FaultProxy::Fault::Answer503, FaultProxy::Fault::Answer423},
                                   seed);
            target = dav->target(QStringLiteral("model"), DavFixture::Route(route));
        }
        Model model(seed, 3, *target);
        for (int i = 0; i < operations; ++i) {
            model.step();
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("seed %1, operation %2").arg(seed).arg(i)));
        }
        model.settle();
        model.check();
        qInfo("seed %u, %d operations, %d conflicts, %lld requests%s", seed, operations, model.conflicts(),
              target->requestCount(),
              dav && route == DavFixture::ThroughProxy
                  ? qPrintable(QStringLiteral(", %1 of them met a fault").arg(dav->proxy().faultCount()))
                  : "");
    }

    // The requests of a sync with nothing changed, with one note changed, and
    // of receiving that change, do not grow with the collection.
    void costDoesNotGrowWithTheCollection()
    {
        QList<qint64> costs[2];
        const int sizes[2] = {20, 200};
        for (int s = 0; s < 2; ++s) {
            SyncComputer a(QStringLiteral("a")), b(QStringLiteral("b"));
            QTemporaryDir folder;
            FolderTarget target(folder.path() + QStringLiteral("/target"));
            for (int i = 0; i < sizes[s]; ++i)
                a.addNote(QStringLiteral("N%1").arg(i), QStringLiteral("work"), noteBody(QString::number(i)));
            a.sync(target);
            b.sync(target);
            QCOMPARE(b.noteIds().size(), sizes[s]);
            auto cost = [&](SyncComputer &c) {
                const qint64 before = target.requestCount();
                c.sync(target);
                return target.requestCount() - before;
            };
            costs[s] << cost(a) << cost(b);
            a.editNote(a.noteIds().first(), noteBody(QStringLiteral("changed")));
            costs[s] << cost(a) << cost(b) << cost(a);
        }
        QCOMPARE(costs[1], costs[0]);
    }
};

QTEST_GUILESS_MAIN(SyncModelTest)
#include "tst_syncmodel.moc"
