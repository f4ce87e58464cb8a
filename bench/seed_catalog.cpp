// Seeds a program folder with a catalog for benchmarks and screenshots.
//
//   seed_catalog PROGRAM_FOLDER NODES NOTES [--note-files all|listed]
//
// PROGRAM_FOLDER must hold the empty notes.fdb (and data/). NODES nodes are
// spread over 6 levels, each below a random node of the level above; NOTES
// notes are filed among them, 1,000 a day folder. The first node of the
// deepest level gets exactly 1,000 notes (fewer when NOTES is smaller).
// Every note gets a small HTML file unless --note-files listed is given, which
// writes only the files of that node's notes (a million small files take
// about 4 GB; no benchmark figure reads the others).
//
// The rows go in through one prepared statement per table in one transaction,
// with the engine's synchronous writes and the secondary indexes switched off
// meanwhile; both are switched back on before it ends, so the file behaves as
// the shipped one does. A file "seeded" in the folder says what was made.
#include "dbdatamodule.h"
#include "dberror.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>

#include <cstdio>

namespace {

const char *const Words[] = {
    "Alpha",   "Report",  "Travel", "Recipes", "Physics", "Garden", "Music",  "Ideas",   "Budget",  "Design", "Health",
    "History", "Reading", "Python", "Photos",  "Plans",   "Notes",  "Weekly", "Harbour", "Weather", "Boats",  "Résumé",
    "Über",    "Ärzte",   "Café",   "naïve",   "Straße",  "笔记",   "读书",   "Ελλάδα",  "Москва",  "Review",
};

QString word(QRandomGenerator &random)
{
    return QString::fromUtf8(Words[random.bounded(int(std::size(Words)))]);
}

// Titles of web pages run longer than two words; 2 to 6 words, then the number.
QString noteTitle(QRandomGenerator &random, int number)
{
    QString title;
    const int words = 2 + random.bounded(5);
    for (int i = 0; i < words; ++i)
        title += word(random) + QLatin1Char(' ');
    return title + QStringLiteral("note ") + QString::number(number);
}

void check(bool ok, const QSqlQuery &query)
{
    if (!ok)
        throw DbError(query.lastError().text());
}

// The engine's synchronous writes of the file: off while seeding, on again after.
bool setForcedWrites(const QString &databasePath, bool on)
{
    QProcess gfix;
    gfix.start(QStringLiteral("gfix"), {QStringLiteral("-user"), QStringLiteral("admin"), QStringLiteral("-write"),
                                        on ? QStringLiteral("sync") : QStringLiteral("async"), databasePath});
    return gfix.waitForFinished(60000) && gfix.exitStatus() == QProcess::NormalExit && gfix.exitCode() == 0;
}

// The indexes that no constraint owns; they are built once at the end instead of row by row.
QStringList secondaryIndexes(TDBDataModule &database)
{
    QStringList names;
    QSqlQuery &query = database.runQuery(QStringLiteral(
        "select trim(i.rdb$index_name) from rdb$indices i where coalesce(i.rdb$system_flag, 0) = 0 and not exists "
        "(select 1 from rdb$relation_constraints c where c.rdb$index_name = i.rdb$index_name)"));
    while (query.next())
        names << query.value(0).toString();
    query.finish();
    return names;
}

void setIndexesActive(TDBDataModule &database, const QStringList &names, bool active)
{
    for (const QString &name : names) {
        Transaction transaction(database);
        database.runStatement(QStringLiteral("alter index %1 %2").arg(name, active ? "active" : "inactive"));
        transaction.commit();
    }
}

QString dayFolderName(int day)
{
    return QDate(2026, 12, 1).addDays(-day).toString(QStringLiteral("MM-dd-yyyy"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool allFiles = true;
    if (args.size() == 6 && args[4] == QLatin1String("--note-files") &&
        (args[5] == QLatin1String("all") || args[5] == QLatin1String("listed"))) {
        allFiles = args[5] == QLatin1String("all");
    } else if (args.size() != 4) {
        std::fprintf(stderr, "usage: seed_catalog PROGRAM_FOLDER NODES NOTES [--note-files all|listed]\n");
        return 2;
    }
    const QString folder = QDir(args[1]).absolutePath() + QLatin1Char('/');
    const QString databasePath = folder + QStringLiteral("notes.fdb");
    const int nodeCount = std::max(1, args[2].toInt());
    const int noteCount = std::max(0, args[3].toInt());
    QRandomGenerator random(20261209);
    QElapsedTimer timer;
    timer.start();

    // Level sizes grow towards the leaves: 1, 2, 4, 8, 16, 32 parts of the whole.
    const int levels = 6;
    QList<int> perLevel;
    int assigned = 0;
    for (int level = 0; level < levels; ++level) {
        const int share = level == levels - 1 ? nodeCount - assigned : std::max(1, nodeCount * (1 << level) / 63);
        perLevel << std::max(0, share);
        assigned += perLevel.last();
    }

    struct Node
    {
        int id, deep, parent;
        QString name, path;
        int notes = 0, childcount = 0;
    };
    QList<Node> nodes;
    QList<QList<int>> levelMembers(levels);
    for (int level = 0; level < levels; ++level) {
        for (int i = 0; i < perLevel[level]; ++i) {
            Node node;
            node.id = int(nodes.size()) + 1;
            node.deep = level + 1;
            node.parent = 0;
            node.name = word(random) + QString::number(node.id);
            node.path = node.name;
            if (level > 0 && !levelMembers[level - 1].isEmpty()) {
                const QList<int> &above = levelMembers[level - 1];
                const Node &parent = nodes[above[random.bounded(int(above.size()))] - 1];
                node.parent = parent.id;
                node.path = parent.path + QLatin1Char(',') + node.name;
            }
            levelMembers[level] << node.id;
            nodes << node;
        }
    }

    // Notes: 1,000 under the first leaf, the rest spread at random.
    QList<int> noteTags;
    noteTags.reserve(noteCount);
    const int bigNode = levelMembers[levels - 1].isEmpty() ? 1 : levelMembers[levels - 1].first();
    for (int i = 0; i < noteCount; ++i)
        noteTags << (i < 1000 ? bigNode : int(random.bounded(int(nodes.size()))) + 1);
    for (int tag : std::as_const(noteTags))
        ++nodes[tag - 1].notes;
    for (Node &node : nodes)
        node.childcount = node.notes;
    for (int i = int(nodes.size()) - 1; i >= 0; --i) { // children come after their parents
        if (nodes[i].parent)
            nodes[nodes[i].parent - 1].childcount += nodes[i].childcount;
    }

    if (!setForcedWrites(databasePath, false))
        std::fprintf(stderr, "gfix could not switch synchronous writes off; seeding goes on slower\n");
    int files = 0;
    try {
        TDBDataModule database(databasePath);
        const QStringList indexes = secondaryIndexes(database);
        setIndexesActive(database, indexes, false);

        Transaction transaction(database);
        QSqlQuery insert(database.connection());
        check(insert.prepare(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)")), insert);
        for (const Node &node : std::as_const(nodes)) {
            insert.bindValue(0, node.id);
            insert.bindValue(1, node.name);
            insert.bindValue(2, node.deep);
            insert.bindValue(3, node.path);
            insert.bindValue(4, node.parent);
            insert.bindValue(5, node.childcount);
            insert.bindValue(6, node.id % 26);
            check(insert.exec(), insert);
        }
        check(insert.prepare(QStringLiteral(
                  "insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)")),
              insert);
        QString day;
        for (int i = 0; i < noteCount; ++i) {
            if (i % 1000 == 0) {
                day = dayFolderName(i / 1000);
                QDir(folder).mkpath(QStringLiteral("data/") + day + QStringLiteral("/images"));
                QDir(folder).mkpath(QStringLiteral("data/") + day + QStringLiteral("/attaches"));
            }
            const QString title = noteTitle(random, i + 1);
            const QString file = day + QStringLiteral("/%1.html").arg(i + 1, 18, 10, QLatin1Char('0'));
            insert.bindValue(0, i + 1);
            insert.bindValue(1, title);
            insert.bindValue(2, noteTags[i]);
            insert.bindValue(3, file);
            check(insert.exec(), insert);
            if (!allFiles && noteTags[i] != bigNode)
                continue;
            QFile html(folder + QStringLiteral("data/") + file);
            if (html.open(QIODevice::WriteOnly)) {
                html.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title></head>"
                                          "<body><h3>%1</h3><p>Seeded note number %2.</p></body></html>")
                               .arg(title.toHtmlEscaped())
                               .arg(i + 1)
                               .toUtf8());
                ++files;
            }
        }
        insert.finish();
        transaction.commit();
        setIndexesActive(database, indexes, true);
    } catch (const DbError &error) {
        std::fprintf(stderr, "seeding failed: %s\n", qPrintable(error.message()));
        return 1;
    }
    if (!setForcedWrites(databasePath, true))
        std::fprintf(stderr, "gfix could not switch synchronous writes back on\n");
    // What the benchmark needs to know about the catalog, and that seeding finished.
    QFile marker(folder + QStringLiteral("seeded"));
    if (marker.open(QIODevice::WriteOnly))
        marker.write(QStringLiteral("nodes=%1\nnotes=%2\nlisted-node=%3\nlisted-node-name=%4\n")
                         .arg(nodes.size())
                         .arg(noteCount)
                         .arg(bigNode)
                         .arg(nodes[bigNode - 1].name)
                         .toUtf8());
    std::printf("seeded %lld nodes over %d levels and %d notes (%d note files) in %.1f s; node %d holds 1000 notes\n",
                static_cast<long long>(nodes.size()), levels, noteCount, files, timer.nsecsElapsed() / 1e9, bigNode);
    return 0;
}
