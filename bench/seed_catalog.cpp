// Seeds a program folder with a catalog for benchmarks and screenshots.
//
//   seed_catalog PROGRAM_FOLDER NODES NOTES
//
// PROGRAM_FOLDER must hold the empty notes.fdb (and data/). NODES nodes are
// spread over 6 levels, each below a random node of the level above; NOTES
// notes with small HTML files are filed among them. The first node of the
// deepest level gets exactly 1,000 notes (fewer when NOTES is smaller).
#include "dbdatamodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

namespace {

const char *const Words[] = {"Alpha",  "Report", "Travel", "Recipes", "Physics", "Garden", "Music",  "Ideas",
                             "Budget", "Design", "Health", "History", "Reading", "Python", "Photos", "Plans"};

QString word(QRandomGenerator &random)
{
    return QLatin1String(Words[random.bounded(int(std::size(Words)))]);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: seed_catalog PROGRAM_FOLDER NODES NOTES\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    const int nodeCount = std::max(1, atoi(argv[2]));
    const int noteCount = std::max(0, atoi(argv[3]));
    QRandomGenerator random(20261209);

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
    const int bigNode = levelMembers[levels - 1].isEmpty() ? 1 : levelMembers[levels - 1].first();
    for (int i = 0; i < noteCount; ++i)
        noteTags << (i < 1000 ? bigNode : int(random.bounded(int(nodes.size()))) + 1);
    for (int tag : noteTags)
        ++nodes[tag - 1].notes;
    for (Node &node : nodes)
        node.childcount = node.notes;
    for (int i = int(nodes.size()) - 1; i >= 0; --i) { // children come after their parents
        if (nodes[i].parent)
            nodes[nodes[i].parent - 1].childcount += nodes[i].childcount;
    }

    TDBDataModule database(folder + QStringLiteral("notes.fdb"));
    Transaction transaction(database);
    for (const Node &node : nodes)
        database.runStatement(QStringLiteral("insert into tags values (?,?,?,?,?,?,?)"),
                              {node.id, node.name, node.deep, node.path, node.parent, node.childcount, node.id % 26});
    const QString day = QStringLiteral("12-01-2026");
    QDir(folder).mkpath(QStringLiteral("data/") + day + QStringLiteral("/images"));
    QDir(folder).mkpath(QStringLiteral("data/") + day + QStringLiteral("/attaches"));
    for (int i = 0; i < noteCount; ++i) {
        const QString title =
            word(random) + QLatin1Char(' ') + word(random) + QStringLiteral(" note ") + QString::number(i + 1);
        const QString file = day + QStringLiteral("/1201202612000000%1.html").arg(i, 6, 10, QLatin1Char('0'));
        database.runStatement(QStringLiteral("insert into note values (?,?,?,'now',?)"),
                              {i + 1, title, noteTags[i], file});
        QFile html(folder + QStringLiteral("data/") + file);
        if (html.open(QIODevice::WriteOnly))
            html.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title></head>"
                                      "<body><h3>%1</h3><p>Seeded note number %2.</p></body></html>")
                           .arg(title)
                           .arg(i + 1)
                           .toUtf8());
    }
    transaction.commit();
    std::printf("seeded %lld nodes over %d levels and %d notes; node %d holds 1000 notes\n",
                static_cast<long long>(nodes.size()), levels, noteCount, bigNode);
    return 0;
}
