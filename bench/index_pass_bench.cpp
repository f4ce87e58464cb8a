// The full-text index's start-up check on a large catalog: one IndexPass over
// an index that is already up to date, with its wall time and the process's
// peak memory.
//
//   index_pass_bench PROGRAM_FOLDER
//
// PROGRAM_FOLDER holds notes.fdb, data/ and a complete index/ of them. The pass
// writes only when something changed, but the database may be brought up to
// date on its first open: run it on a copy.
#include "indexpass.h"
#include "searchindex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

// The process's peak resident memory in MB, from the kernel's high-water mark.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: index_pass_bench PROGRAM_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/");
    try {
        const double before = peakMegabytes();
        SearchIndex index(folder + QStringLiteral("index"));
        index.open();
        IndexPass pass(index, folder + QStringLiteral("notes.fdb"), folder + QStringLiteral("data/"));
        std::atomic_bool cancelled = false;
        int lastTotal = 0;
        QElapsedTimer timer;
        timer.start();
        pass.run([&](int, int total) { lastTotal = total; }, cancelled);
        const qint64 elapsed = timer.elapsed();
        std::printf("indexed notes: %d (progress total %d), index holds %d\n", pass.notesToIndex(), lastTotal,
                    index.noteCount());
        std::printf("pass: %.2f s, peak memory %.0f MB (%.0f MB before the pass)\n", elapsed / 1000.0, peakMegabytes(),
                    before);
    } catch (const SearchIndexError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
