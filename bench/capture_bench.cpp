// Capture speed: localising a 1 MB fragment with 100 pictures from a server on
// 127.0.0.1 that waits 50 ms before each answer, against fetching them one
// after another (same output and files required), and parsing fragments of
// 1, 2.5 and 5 MB without pictures.
//
//   bench_capture
#include "clipparser.h"
#include "fragmentlocaliser.h"
#include "loopbackserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Pictures = 100;
constexpr int DelayMs = 50;

const QByteArray Gif =
    QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c000000000100010000020144003b");
const QByteArray Png =
    QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                        "1f15c4890000000d49444154789c63f8ffff3f0005fe02fea7d6a4c80000000049454e44ae426082");

// Ordinary page text with a link in every paragraph, about 1 KB each.
QByteArray Paragraph(int index)
{
    QByteArray text = "<p class=\"text\">Paragraph " + QByteArray::number(index) + ": <a href=\"/section/" +
                      QByteArray::number(index) + ".html\">a link</a> and ";
    while (text.size() < 1000)
        text += "some running text of the captured page, with <b>bold</b> words \xE4\xB8\xAD\xE6\x96\x87 and more. ";
    return text + "</p>\n";
}

QByteArray PictureFragment(const QString &serverBase)
{
    QByteArray fragment = "<body>\n";
    const int paragraphs = 1000;
    for (int i = 0; i < paragraphs; ++i) {
        fragment += Paragraph(i);
        if (i % (paragraphs / Pictures) == 0) {
            const int picture = i / (paragraphs / Pictures);
            const QByteArray name = "pic" + QByteArray::number(picture) + (picture % 2 ? ".gif" : ".png");
            fragment += "<img src=\"" + serverBase.toUtf8() + "/images/" + name + "\" alt=\"picture\">\n";
        }
    }
    return fragment + "</body>";
}

QByteArray TextClip(qsizetype bytes)
{
    QByteArray clip = "Version:0.9\r\nSourceURL:http://example.test/dir/page.html\r\n<html><head><title>Big</title>"
                      "</head><body>\n";
    for (int i = 0; clip.size() < bytes; ++i)
        clip += Paragraph(i);
    return clip + "</body></html>";
}

struct Run
{
    std::string output;
    QMap<QString, QByteArray> files;
    qint64 ms = 0;
};

Run Localise(const QByteArray &fragment, const QString &hostBase, int maxParallel)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("day/images"));
    const std::string dayFolder = (dir.path() + QStringLiteral("/day")).toStdString();

    CaptureContext context;
    context.dayFolder = [dayFolder] { return dayFolder; };
    context.fetch.maxParallel = maxParallel;

    Run run;
    QElapsedTimer timer;
    timer.start();
    const std::string page = hostBase.toStdString() + "/dir/page.html";
    run.output = LocaliseFragment(fragment.toStdString(), PageAddress{page, page}, context);
    run.ms = timer.elapsed();

    const QString images = dir.path() + QStringLiteral("/day/images/");
    for (const QString &name : QDir(images).entryList(QDir::Files)) {
        QFile file(images + name);
        file.open(QIODevice::ReadOnly);
        run.files.insert(name, file.readAll());
    }
    return run;
}

double ParseMs(const QByteArray &clip)
{
    QTemporaryDir dir;
    const std::string dayFolder = dir.path().toStdString();
    CaptureContext context;
    context.dayFolder = [dayFolder] { return dayFolder; };
    const std::string text = clip.toStdString();
    double best = 1e12;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const ClipParts parts = ParseClip(text, context);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        if (parts.body.size() < text.size() / 2)
            std::printf("unexpected body of %zu bytes\n", parts.body.size());
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    LoopbackServer server;
    server.setDelay(DelayMs);
    for (int i = 0; i < Pictures; ++i) {
        const QByteArray name = "pic" + QByteArray::number(i) + (i % 2 ? ".gif" : ".png");
        server.serve("/images/" + name, (i % 2 ? Gif : Png) + QByteArray::number(i));
    }
    const QByteArray fragment = PictureFragment(server.base());

    const Run together = Localise(fragment, server.base(), FetchOptions().maxParallel);
    const Run oneByOne = Localise(fragment, server.base(), 1);
    const double serial = Pictures * DelayMs;
    const bool identical = together.output == oneByOne.output && together.files == oneByOne.files;
    const bool complete = together.files.size() == Pictures;

    std::printf("Fragment: %.2f MB with %d pictures, server waits %d ms before each answer\n",
                fragment.size() / 1048576.0, Pictures, DelayMs);
    std::printf("LocaliseFragment, up to %d at a time: %lld ms (%.3f of %d x %d ms = %.0f ms; goal <= 0.200)\n",
                FetchOptions().maxParallel, static_cast<long long>(together.ms), together.ms / serial, Pictures,
                DelayMs, serial);
    std::printf("LocaliseFragment, one at a time:      %lld ms (%.3f)\n", static_cast<long long>(oneByOne.ms),
                oneByOne.ms / serial);
    std::printf("Output and stored files identical to one at a time: %s (%lld files, output %zu bytes)\n",
                identical ? "yes" : "NO", static_cast<long long>(together.files.size()), together.output.size());

    std::printf("\nParseClip without pictures (best of 5):\n");
    double perMb[3] = {};
    const double sizes[3] = {1.0, 2.5, 5.0};
    for (int i = 0; i < 3; ++i) {
        const QByteArray clip = TextClip(static_cast<qsizetype>(sizes[i] * 1048576));
        const double ms = ParseMs(clip);
        perMb[i] = ms / sizes[i];
        std::printf("  %.1f MB: %8.2f ms  (%.2f ms per MB)\n", sizes[i], ms, perMb[i]);
    }
    std::printf("  5 MB / 1 MB per-MB ratio: %.2f (1.00 = linear)\n", perMb[2] / perMb[0]);

    return identical && complete ? 0 : 1;
}
