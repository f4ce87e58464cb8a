// Full-text search on a large catalog: the full index build, the index size
// against the note files, query times and the index update of a saved 1 MB
// note.
//
//   search_bench PROGRAM_FOLDER [NOTES] [save|queries]
//
// PROGRAM_FOLDER holds the empty notes.fdb and data/ (bench/run-search-bench.sh
// prepares it). The first run fills it with NOTES notes (100,000 by default) of
// about 5 KB of English and Chinese text each, in the real database and files.
#include "dbdatamodule.h"
#include "indexpass.h"
#include "indexupdatequeue.h"
#include "noterows.h"
#include "notesearcher.h"
#include "notetext.h"
#include "searchindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <random>

#include <sys/resource.h>

namespace {

const char *const CommonWords[] = {
    "the",      "of",      "and",      "to",      "in",      "is",       "for",     "that",     "with",     "on",
    "as",       "are",     "this",     "by",      "from",    "at",       "or",      "an",       "be",       "which",
    "garden",   "harbour", "recipe",   "flour",   "capture", "database", "engine",  "travel",   "budget",   "river",
    "mountain", "library", "network",  "window",  "picture", "market",   "letter",  "history",  "science",  "music",
    "report",   "project", "planning", "weather", "station", "kitchen",  "village", "captured", "captures", "journal",
    "bridge",   "castle",  "forest",   "island",  "harvest", "lantern",  "meadow",  "orchard",  "pepper",   "quarry",
    "saddle",   "thunder", "velvet",   "whistle", "yellow",  "anchor",   "blossom", "compass",  "desert",   "ember",
    "falcon",   "glacier", "horizon",  "ivory",   "jasmine", "kettle",   "lemon",   "marble",   "needle",   "oyster"};

const char32_t CommonHan[] =
    U"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下"
    U"过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都"
    U"两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新"
    U"线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通"
    U"并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组"
    U"苹果派咖啡茶书画诗词歌舞春夏秋冬风雨雪云花草树木鸟鱼虫兽";

class TextMaker
{
public:
    explicit TextMaker(unsigned seed)
        : m_random(seed)
    {
        // A long tail of made-up words gives the vocabulary a real size.
        std::uniform_int_distribution<int> letters(0, 25), length(4, 10);
        for (int i = 0; i < 30000; ++i) {
            std::string word;
            for (int n = length(m_random); n > 0; --n)
                word += char('a' + letters(m_random));
            m_tail.push_back(word);
        }
        std::uniform_int_distribution<size_t> character(0, std::size(CommonHan) - 2);
        std::uniform_int_distribution<int> hanLength(1, 3);
        for (int i = 0; i < 3000; ++i) {
            std::u32string word;
            for (int n = hanLength(m_random); n > 0; --n)
                word += CommonHan[character(m_random)];
            m_hanWords.push_back(word);
        }
    }

    // Zipf-like: a few words very often, most words rarely.
    std::string word()
    {
        std::uniform_real_distribution<double> unit(0, 1);
        const double u = unit(m_random);
        if (u < 0.6)
            return CommonWords[size_t(unit(m_random) * unit(m_random) * std::size(CommonWords))];
        return m_tail[size_t(unit(m_random) * unit(m_random) * double(m_tail.size()))];
    }

    // Chinese as words of one to three characters from a vocabulary of 3,000,
    // a few used often and most rarely, as in real text.
    std::u32string han(int count)
    {
        std::uniform_real_distribution<double> unit(0, 1);
        std::u32string text;
        while (int(text.size()) < count)
            text += m_hanWords[size_t(unit(m_random) * unit(m_random) * double(m_hanWords.size()))];
        return text;
    }

    // About `bytes` of note HTML: paragraphs of English with some markup, and
    // Chinese passages.
    QByteArray note(const QString &title, qsizetype bytes)
    {
        QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title></title>"
                          "<style>p { margin: 4px }</style></head><body><h2>" +
                          title.toUtf8() + "</h2>";
        std::uniform_int_distribution<int> sentence(6, 16), chance(0, 9);
        while (html.size() < bytes) {
            html += "<p class=\"para\">";
            for (int s = 0; s < 4; ++s) {
                for (int w = sentence(m_random); w > 0; --w) {
                    const std::string next = word();
                    if (chance(m_random) == 0)
                        html += "<b>" + QByteArray::fromStdString(next) + "</b> ";
                    else
                        html += QByteArray::fromStdString(next) + ' ';
                }
                html += ". ";
            }
            html += "</p><p>" + QString::fromStdU32String(han(60 + chance(m_random) * 8)).toUtf8() + "</p>";
        }
        return html + "<script>var tracking = 1;</script></body></html>";
    }

    std::mt19937 &random() { return m_random; }

private:
    std::mt19937 m_random;
    std::vector<std::string> m_tail;
    std::vector<std::u32string> m_hanWords;
};

void seed(const QString &folder, int noteCount)
{
    TextMaker maker(20261209);
    TDBDataModule database(folder + QStringLiteral("notes.fdb"));
    Transaction transaction(database);
    const QStringList nodes{QStringLiteral("Work"), QStringLiteral("Home"), QStringLiteral("Reading"),
                            QStringLiteral("\u5b66\u4e60"), QStringLiteral("Travel")};
    for (int i = 0; i < nodes.size(); ++i)
        database.runStatement(QStringLiteral("insert into tags values (?,?,1,?,0,?,0)"),
                              {i + 1, nodes[i], nodes[i], noteCount / int(nodes.size())});
    for (int i = 0; i < noteCount; ++i) {
        const QString day = QStringLiteral("%1-01-2026").arg(1 + i / 10000, 2, 10, QLatin1Char('0'));
        if (i % 10000 == 0)
            QDir(folder).mkpath(QStringLiteral("data/") + day + QStringLiteral("/images"));
        const QString file = day + QStringLiteral("/0101202612000000%1.html").arg(i, 6, 10, QLatin1Char('0'));
        const QString title = QString::fromStdString(maker.word() + ' ' + maker.word()) + QStringLiteral(" %1").arg(i);
        QFile html(folder + QStringLiteral("data/") + file);
        if (!html.open(QIODevice::WriteOnly) || html.write(maker.note(title, 5 * 1024)) < 0)
            qFatal("cannot write %s", qPrintable(html.fileName()));
        database.runStatement(
            QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,?,'now',?)"),
            {i + 1, title, 1 + i % int(nodes.size()), file});
        if ((i + 1) % 10000 == 0)
            std::fprintf(stderr, "seeded %d notes\n", i + 1);
    }
    transaction.commit();
}

qint64 folderSize(const QString &path, const QString &suffix = QString())
{
    qint64 total = 0;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        if (suffix.isEmpty() || it.fileName().endsWith(suffix))
            total += it.fileInfo().size();
    }
    return total;
}

// Processor time of all threads: the machine may be shared with other work.
double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// 200 queries, 50 of each kind, taken from what the notes say, as the explorer
// asks them: the best 200 hits with their records.
void measureQueries(const QString &dataFolder, const QString &indexFolder, int noteCount)
{
    TextMaker maker(7);
    static const QRegularExpression plain(QStringLiteral("^[a-z]+$"));
    // The plain words of one of the generated notes, picked by number.
    const auto wordsOfNote = [&](int pick) {
        const int note = int(qint64(pick) * 1999 % noteCount);
        const QString text = visibleTextOfFile(dataFolder + QStringLiteral("%1-01-2026/0101202612000000%2.html")
                                                                .arg(1 + note / 10000, 2, 10, QLatin1Char('0'))
                                                                .arg(note, 6, 10, QLatin1Char('0')));
        return text.simplified().split(QLatin1Char(' '));
    };
    const auto plainWordFrom = [&](const QStringList &words, qsizetype at) {
        while (at < words.size() && !plain.match(words[at]).hasMatch())
            ++at;
        return at < words.size() ? words[at] : QStringLiteral("flour");
    };
    QStringList queries;
    for (int i = 0; i < 50; ++i)
        queries << plainWordFrom(wordsOfNote(i + 100), 30 + i);
    for (int i = 0; i < 50; ++i) {
        const QStringList words = wordsOfNote(i + 200);
        queries << plainWordFrom(words, 15 + i) + QLatin1Char(' ') + plainWordFrom(words, 90 + i);
    }
    for (int i = 0; i < 50; ++i) {
        const QStringList words = wordsOfNote(i);
        // Two words that follow each other in the note, with no full stop between.
        qsizetype at = std::min<qsizetype>(words.size() - 2, 20 + i);
        while (at + 1 < words.size() && !(plain.match(words[at]).hasMatch() && plain.match(words[at + 1]).hasMatch()))
            ++at;
        queries << QLatin1Char('"') + words.mid(at, 2).join(QLatin1Char(' ')) + QLatin1Char('"');
    }
    for (int i = 0; i < 50; ++i)
        queries << QString::fromStdU32String(maker.han(2));

    NoteSearcher searcher(indexFolder);
    if (!searcher.refresh())
        qFatal("no index");
    const char *const kinds[] = {"one word", "two words", "phrase", "Chinese"};
    std::vector<double> all;
    int withoutHits = 0;
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<double> times;
        qint64 hits = 0;
        for (int i = 0; i < 50; ++i) {
            QElapsedTimer query;
            query.start();
            int total = 0;
            const QList<SearchHit> found = searcher.search(queries[kind * 50 + i], 200, &total);
            times.push_back(double(query.nsecsElapsed()) / 1e6);
            hits += total;
            if (found.isEmpty()) {
                ++withoutHits;
                std::fprintf(stderr, "no hit for %s\n", qPrintable(queries[kind * 50 + i]));
            }
        }
        std::printf("queries, %-9s: median %6.2f ms, p95 %6.2f ms (mean %.0f matching notes)\n", kinds[kind],
                    percentile(times, 0.5), percentile(times, 0.95), double(hits) / 50);
        all.insert(all.end(), times.begin(), times.end());
    }
    std::printf("queries, all 200 : median %6.2f ms, p95 %6.2f ms; %d of 200 found nothing\n", percentile(all, 0.5),
                percentile(all, 0.95), withoutHits);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: search_bench PROGRAM_FOLDER [NOTES] [save|queries]\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    const int noteCount = argc > 2 ? std::max(1, atoi(argv[2])) : 100000;
    const QString dataFolder = folder + QStringLiteral("data/");
    const QString indexFolder = folder + QStringLiteral("index");

    if (!QFile::exists(folder + QStringLiteral("seeded"))) {
        QElapsedTimer timer;
        timer.start();
        seed(folder, noteCount);
        QFile(folder + QStringLiteral("seeded")).open(QIODevice::WriteOnly);
        std::printf("generated %d notes in %.1f s\n", noteCount, double(timer.elapsed()) / 1000);
    }

    // "save" or "queries": only that part, on the index built by an earlier run.
    const QByteArray only = argc > 3 ? QByteArray(argv[3]) : QByteArray();
    if (only == "queries") {
        measureQueries(dataFolder, indexFolder, noteCount);
        return 0;
    }
    if (only != "save") {
        // The full build, as after a deleted index.
        QDir(indexFolder).removeRecursively();
        QElapsedTimer build;
        build.start();
        const double processorAtStart = processorSeconds();
        {
            SearchIndex index(indexFolder);
            index.open();
            IndexPass pass(index, folder + QStringLiteral("notes.fdb"), dataFolder);
            std::atomic_bool cancelled = false;
            pass.run({}, cancelled);
            std::printf("full index build: %d notes in %.1f s (%.0f notes/s), %.1f s of processor time\n",
                        pass.notesToIndex(), double(build.elapsed()) / 1000,
                        pass.notesToIndex() * 1000.0 / double(build.elapsed()), processorSeconds() - processorAtStart);
        }
        const qint64 notesBytes = folderSize(dataFolder, QStringLiteral(".html"));
        const qint64 indexBytes = folderSize(indexFolder);
        std::printf("note files %.1f MB, index %.1f MB: index / note files = %.2f\n", double(notesBytes) / 1e6,
                    double(indexBytes) / 1e6, double(indexBytes) / double(notesBytes));

        // A start with the index up to date only checks it.
        {
            QElapsedTimer check;
            check.start();
            SearchIndex index(indexFolder);
            index.open();
            IndexPass pass(index, folder + QStringLiteral("notes.fdb"), dataFolder);
            std::atomic_bool cancelled = false;
            pass.run({}, cancelled);
            std::printf("check of an up-to-date index at start (beside the interface): %.2f s, %d to index\n",
                        double(check.elapsed()) / 1000, pass.notesToIndex());
        }
        measureQueries(dataFolder, indexFolder, noteCount);
    }

    // The index update of a saved 1 MB note, as the explorer makes it after the
    // editor's save: the row read, the visible text taken, the note indexed and
    // committed.
    {
        SearchIndex index(indexFolder);
        index.open();
        TDBDataModule database(folder + QStringLiteral("notes.fdb"));
        const int noteId = noteCount + 1;
        const QString file = QStringLiteral("01-01-2026/big.html");
        QFile html(dataFolder + file);
        html.open(QIODevice::WriteOnly);
        html.write(TextMaker(11).note(QStringLiteral("Big note"), 1024 * 1024));
        html.close();
        {
            Transaction transaction(database);
            database.runStatement(QStringLiteral("delete from note where noteid=?"), {noteId});
            database.runStatement(
                QStringLiteral("insert into note (noteid, title, tagid, createdate, filename) values (?,?,1,'now',?)"),
                {noteId, QStringLiteral("Big note"), file});
            transaction.commit();
        }
        // What the save waits for: the row read and the update queued; the file is
        // read and indexed on the queue's thread, which a search waits for.
        IndexUpdateQueue updates(index, dataFolder);
        std::vector<double> waits, indexed;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer update;
            update.start();
            const std::optional<IndexedNote> note = readIndexedNote(database, dataFolder, noteId);
            updates.storeNote(*note);
            waits.push_back(double(update.nsecsElapsed()) / 1e6);
            updates.waitForDone();
            indexed.push_back(double(update.nsecsElapsed()) / 1e6);
        }
        std::printf("saving a 1 MB note (%.0f KB of visible text): the save waits %.2f ms (median, max %.2f ms) "
                    "for the index update; the note is searchable %.0f ms after the save (median)\n",
                    double(visibleTextOfFile(dataFolder + file).toUtf8().size()) / 1024, percentile(waits, 0.5),
                    *std::max_element(waits.begin(), waits.end()), percentile(indexed, 0.5));
        index.removeNote(noteId);
        Transaction transaction(database);
        database.runStatement(QStringLiteral("delete from note where noteid=?"), {noteId});
        transaction.commit();
    }
    return 0;
}
