// Start-up time: from the start of the process until the explorer is shown with
// its catalog tree loaded.
//
//   bench_startup [PROGRAM_FOLDER] [RUNS]
//
// Without a folder, a fresh copy of the build's empty program folder is used
// (an empty catalog). Each run is a new process; the figure is the median.
#include "clipnestapplication.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

int probe(const QString &folder)
{
    // Runs the real start-up and says when the explorer's tree is there.
    ClipnestProgram program(folder);
    program.bringUp();
    std::printf("ready\n");
    std::fflush(stdout);
    std::quick_exit(0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--probe") {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        ClipnestApplication app(argc, argv);
        return probe(QString::fromLocal8Bit(argv[2]));
    }

    QCoreApplication app(argc, argv);
    std::optional<TestProgramFolder> fresh;
    if (argc <= 1)
        fresh.emplace();
    QString folder = fresh ? fresh->path() : QString::fromLocal8Bit(argv[1]);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    std::vector<double> times;
    for (int run = 0; run < runs + 1; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        QElapsedTimer timer;
        timer.start();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe"), folder});
        bool ready = false;
        while (!ready && child.waitForReadyRead(60000))
            ready = child.readAllStandardOutput().contains("ready");
        const double ms = timer.nsecsElapsed() / 1e6;
        child.waitForFinished(10000);
        if (!ready) {
            std::fprintf(stderr, "start-up failed: %s\n", child.readAllStandardError().constData());
            return 1;
        }
        if (run > 0) // the first run only warms the file cache
            times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up until the explorer shows its tree: median %.0f ms (min %.0f, max %.0f, %d runs)\n",
                times[times.size() / 2], times.front(), times.back(), runs);
    return 0;
}
