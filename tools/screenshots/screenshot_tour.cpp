// Takes screenshots of every window, dialog and menu of the real program on a
// fresh program folder under a real X server (Xvfb), with a capture dropped
// from a loopback web server the way a browser drops it: in English and
// Chinese, at scale 1 and 2, with a light and a dark palette. Each of the eight
// runs is a process of its own (the scale is fixed when a process starts) and
// writes into OUTPUT_FOLDER/<en|cn>-<1|2>x-<light|dark>/; the English, scale 1,
// light pictures of the README are copied to OUTPUT_FOLDER itself.
//
//   xvfb-run -a -s "-screen 0 2732x1536x24" screenshot_tour BUILT_PROGRAM_FOLDER OUTPUT_FOLDER
#include "tourscenes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>

namespace {

int runAll(const QString &built, const QString &output)
{
    int failures = 0;
    for (const char *language : {"en", "cn"}) {
        for (const char *scale : {"1", "2"}) {
            for (const char *palette : {"light", "dark"}) {
                QProcess run;
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(scale));
                run.setProcessEnvironment(environment);
                run.setProcessChannelMode(QProcess::ForwardedChannels);
                run.start(QCoreApplication::applicationFilePath(),
                          {built, output, QStringLiteral("--only"), QLatin1String(language), QLatin1String(scale),
                           QLatin1String(palette)});
                if (!run.waitForFinished(5 * 60 * 1000) || run.exitStatus() != QProcess::NormalExit ||
                    run.exitCode() != 0) {
                    std::fprintf(stderr, "the %s %sx %s run failed\n", language, scale, palette);
                    ++failures;
                }
            }
        }
    }
    // The README shows the English, scale 1, light pictures.
    const QString readme = output + QStringLiteral("en-1x-light/");
    for (const char *name : {"explorer.png", "editor.png", "dropbox.png"}) {
        QFile::remove(output + QLatin1String(name));
        QFile::copy(readme + QLatin1String(name), output + QLatin1String(name));
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 7 && qstrcmp(argv[3], "--only") == 0) {
        TourSettings settings;
        settings.built = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
        settings.output = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
        settings.chinese = qstrcmp(argv[4], "cn") == 0;
        settings.scale = QString::fromLocal8Bit(argv[5]);
        settings.dark = qstrcmp(argv[6], "dark") == 0;
        return runTour(argc, argv, settings);
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot_tour BUILT_PROGRAM_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    QDir().mkpath(output);
    return runAll(QString::fromLocal8Bit(argv[1]) + QLatin1Char('/'), output);
}
