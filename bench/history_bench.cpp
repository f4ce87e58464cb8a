// What keeping earlier versions costs a save: a 1 MB note replaced through
// replaceNoteFile with history on and off (each save changes one line, so that
// every save on keeps a version), the work each save leaves for after it has
// returned (the kept text compressed and indexed, the versions pruned), and the
// disk that 100 such saves of one note take in its history folder.
//
//   history_bench [FOLDER] [SAVES]
//
// FOLDER (a temporary folder by default) should be on the disk the notes live
// on: each save syncs its files, and that is most of its time.
#include "notefilereplace.h"
#include "notehistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int LineCount = 14000; // about 1 MB of note

// The note's HTML with one line made different for each save.
QByteArray noteText(int save)
{
    QByteArray html = "<html><head><meta charset=\"utf-8\"><title>Bench</title></head><body>\n";
    html.reserve(1100 * 1024);
    for (int line = 0; line < LineCount; ++line) {
        html += "<p>Line " + QByteArray::number(line) + " of a long clipping about lighthouses, harbours and ";
        html += line == save % LineCount ? QByteArray("changed in save ") + QByteArray::number(save) : "the sea";
        html += ".</p>\n";
    }
    return html + "</body></html>\n";
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Bytes of the files under the folder, as listed and as allocated on the disk.
std::pair<qint64, qint64> folderSize(const QString &folder)
{
    qint64 listed = 0;
    qint64 allocated = 0;
    QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        listed += QFileInfo(path).size();
        struct stat status
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &status) == 0)
            allocated += static_cast<qint64>(status.st_blocks) * 512;
    }
    return {listed, allocated};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir temporary(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/history-bench-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/history-bench-XXXXXX"));
    const int saves = argc > 2 ? std::max(2, QByteArray(argv[2]).toInt()) : 100;
    if (!temporary.isValid()) {
        std::fprintf(stderr, "cannot make a folder to work in\n");
        return 2;
    }
    QList<QByteArray> texts;
    for (int save = 0; save <= saves; ++save)
        texts << noteText(save);
    std::printf("note: %.2f MB, %d saves each way\n", texts.first().size() / 1048576.0, saves);

    // The saves on and off take turns, so that the disk's moods fall on both alike.
    HistoryKeeping on;
    HistoryKeeping off;
    off.enabled = false;
    struct Run
    {
        const char *name;
        HistoryKeeping keeping;
        QString dataFolder;
        QString notePath;
        QList<double> ms;
    };
    Run runs[] = {{"off", off, {}, {}, {}}, {"on", on, {}, {}, {}}};
    for (Run &run : runs) {
        run.dataFolder = temporary.filePath(QLatin1String(run.name)) + QLatin1Char('/');
        QDir().mkpath(run.dataFolder + QStringLiteral("12-11-2026"));
        run.notePath = run.dataFolder + QStringLiteral("12-11-2026/1.html");
        if (!replaceNoteFile(run.dataFolder, 1, run.notePath, texts.first(), run.keeping).isEmpty())
            return 1;
    }
    QList<double> settleMs;
    for (int save = 1; save <= saves; ++save) {
        for (Run &run : runs) {
            // Each save starts from a disk with nothing left to write, so that no
            // save pays for what the one before left.
            ::sync();
            QElapsedTimer timer;
            timer.start();
            const QString problem = replaceNoteFile(run.dataFolder, 1, run.notePath, texts.at(save), run.keeping);
            run.ms << timer.nsecsElapsed() / 1e6;
            if (!problem.isEmpty()) {
                std::fprintf(stderr, "save failed: %s\n", qPrintable(problem));
                return 1;
            }
            // What the save leaves for the event loop: the kept text made a version, the versions pruned.
            if (run.keeping.enabled) {
                timer.restart();
                NoteHistory(run.dataFolder, 1).prune(run.keeping, QDateTime::currentDateTime());
                settleMs << timer.nsecsElapsed() / 1e6;
            }
        }
    }
    const double offMs = median(runs[0].ms);
    const double onMs = median(runs[1].ms);
    std::printf("1 MB save through replaceNoteFile, median: history off %.2f ms, on %.2f ms, ratio %.2f\n", offMs, onMs,
                onMs / offMs);
    std::printf("after each save, once it has returned: the kept text made a version and pruned, median %.2f ms\n",
                median(settleMs));

    const NoteHistory history(runs[1].dataFolder, 1);
    const auto [listed, allocated] = folderSize(history.folder());
    std::printf("after %d saves changing one line each: %lld versions, %.2f MB in the history folder "
                "(%.2f MB on the disk), %.1f%% of the note's size per version\n",
                saves, static_cast<long long>(history.versions().size()), listed / 1048576.0, allocated / 1048576.0,
                100.0 * listed / std::max<qsizetype>(1, history.versions().size()) / texts.first().size());
    return 0;
}
