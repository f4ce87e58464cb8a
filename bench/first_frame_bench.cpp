// The first paint as the user sees it: the real program started under a real
// X server (Xvfb), its frames grabbed from the screen as fast as they come,
// until one shows the catalog tree.
//
//   first_frame_bench [NODES] [RUNS] [SHOT.png]     (defaults 10000 and 5)
//
// A catalog of NODES nodes (and as many notes) is seeded once. Each run is a
// new process of the program; the figures are medians: the first frame that
// is not black (the window mapped and painted in part) and the first that
// shows the tree (light ground with text in the tree's place). SHOT.png keeps
// that frame of the last run, to check the place looked at.
#include "testprogramfolder.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <csignal>
#include <unistd.h>

namespace {

constexpr int ScreenWidth = 1280;
constexpr int ScreenHeight = 760;

struct FrameLook
{
    bool painted = false;  // anything but black
    bool showsTree = false;
};

FrameLook look(const QImage &frame)
{
    // The tree's place: the left of the window, below the menu, tool bar and search field.
    const QRect tree(8, 140, 150, 300);
    int light = 0, dark = 0, notBlack = 0;
    for (int y = 0; y < frame.height(); y += 4) {
        const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); x += 4) {
            const int grey = qGray(line[x]);
            notBlack += grey > 16;
            if (tree.contains(x, y)) {
                light += grey > 200;
                dark += grey < 110;
            }
        }
    }
    const int samples = (tree.width() / 4) * (tree.height() / 4);
    return {notBlack > 100, light > samples / 2 && dark > samples / 200};
}

bool seed(const QString &folder, int nodes)
{
    QProcess seeder;
    seeder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/seed_catalog"),
                 {folder, QString::number(nodes), QString::number(nodes)});
    if (!seeder.waitForFinished(-1) || seeder.exitCode() != 0) {
        std::fprintf(stderr, "seed_catalog failed: %s\n", seeder.readAllStandardError().constData());
        return false;
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    const int nodes = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString shot = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    // A display of our own, with a black root, for the grabs and the program.
    const QString display = QStringLiteral(":%1").arg(90 + ::getpid() % 100);
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {display, QStringLiteral("-screen"), QStringLiteral("0"),
                                        QStringLiteral("%1x%2x24").arg(ScreenWidth).arg(ScreenHeight),
                                        QStringLiteral("-br"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted()) {
        std::fprintf(stderr, "Xvfb does not start\n");
        return 1;
    }
    QThread::msleep(800);
    qputenv("DISPLAY", display.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen *screen = QGuiApplication::primaryScreen();

    TestProgramFolder folder;
    if (!seed(folder.path(), nodes))
        return 1;
    QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder.path() + QStringLiteral("clipnest"));
    QTemporaryDir runtime;

    std::vector<double> painted, tree;
    int grabs = 0;
    double grabbing = 0;
    QImage lastTree;
    for (int run = 0; run < runs + 1; ++run) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (::getuid() == 0) // the web engine's sandbox refuses root
            environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        program.start(folder.path() + QStringLiteral("clipnest"), {});
        double paintedAt = -1, treeAt = -1;
        QImage frame;
        while (timer.elapsed() < 30000 && treeAt < 0) {
            const double before = timer.nsecsElapsed() / 1e6;
            frame = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
            const double at = timer.nsecsElapsed() / 1e6;
            ++grabs;
            grabbing += at - before;
            const FrameLook seen = look(frame);
            if (seen.painted && paintedAt < 0)
                paintedAt = at;
            if (seen.showsTree) {
                treeAt = at;
                lastTree = frame;
            }
        }
        ::kill(pid_t(program.processId()), SIGTERM);
        program.waitForFinished(30000);
        if (treeAt < 0) {
            std::fprintf(stderr, "no frame showed the tree within 30 s\n");
            if (!shot.isEmpty())
                frame.save(shot);
            xvfb.terminate();
            xvfb.waitForFinished();
            return 1;
        }
        if (run > 0) { // the first run only warms the file cache
            painted.push_back(paintedAt);
            tree.push_back(treeAt);
        }
    }
    std::printf("%6d nodes: first frame not black %4.0f ms, first frame with the tree %4.0f ms "
                "(medians of %d runs, min %.0f, max %.0f; %.1f ms a grab)\n",
                nodes, median(painted), median(tree), runs, *std::min_element(tree.begin(), tree.end()),
                *std::max_element(tree.begin(), tree.end()), grabbing / std::max(1, grabs));
    if (!shot.isEmpty())
        lastTree.save(shot);
    xvfb.terminate();
    xvfb.waitForFinished();
    return 0;
}
