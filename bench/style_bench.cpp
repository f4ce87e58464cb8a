// What giving a Firefox selection its page's look costs: a 1 MB selection of
// 1,000 paragraphs (with links, bold words and code) laid out with the page's
// sheets, served from 127.0.0.1, against parsing the same selection without it.
// Three runs each; the medians and their ratio.
//
//   style_bench
#include "clipparser.h"
#include "dropdata.h"
#include "loopbackserver.h"
#include "styledselection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray Selection()
{
    QByteArray fragment;
    for (int i = 0; fragment.size() < 1024 * 1024; ++i) {
        QByteArray text = "<p class=\"text\">Paragraph " + QByteArray::number(i) + ": <a href=\"/section/" +
                          QByteArray::number(i) + ".html\">a link</a>, <code>code()</code> and ";
        while (text.size() < 1000)
            text += "running text of the page, with <b>bold</b> words \xE4\xB8\xAD\xE6\x96\x87 and more. ";
        fragment += text + "</p>\n";
    }
    return fragment;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication application(argc, argv);
    LoopbackServer server;
    server.serve("/docs/page.html",
                 "<html><head><title>Page</title><link rel=\"stylesheet\" href=\"site.css\">"
                 "</head><body class=\"page\"><div class=\"body\"></div></body></html>",
                 "text/html; charset=utf-8");
    server.serve("/docs/site.css",
                 "body.page { color: rgb(20, 20, 90); font: 16px/1.5 serif }\n"
                 ".text { margin: 0 0 12px; background-color: rgb(250, 250, 240) }\n"
                 "code { font-family: monospace; color: rgb(160, 0, 0) } b { color: navy }\n"
                 "a { color: rgb(0, 90, 160); text-decoration: none }\n",
                 "text/css");
    const QByteArray selection = Selection();
    const QString page = server.base() + QStringLiteral("/docs/page.html");
    const QString context = QStringLiteral("<html><body class=\"page\"><div class=\"body\"></div></body></html>");
    QTemporaryDir folder;

    std::vector<double> styledMs;
    std::vector<double> parsedMs;
    qsizetype styledBytes = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const StyledSelection styled = StyleSelection(selection, context, page, FetchOptions());
        styledMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!styled.styled) {
            std::fprintf(stderr, "style_bench: the style pass failed\n");
            return 1;
        }
        styledBytes = styled.fragment.size();

        const QByteArray clip = buildClipText(selection, page, QStringLiteral("Page"));
        const std::string text = PrepareClipText(std::string_view(clip.constData(), size_t(clip.size())));
        CaptureContext capture;
        capture.dayFolder = [&folder] { return folder.path().toStdString(); };
        timer.restart();
        const ClipParts parts = ParseClip(text, capture);
        parsedMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (parts.body.empty())
            return 1;
    }
    // What any selection costs, however small: the page, its sheets and a fresh hidden page.
    std::vector<double> smallMs;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        StyleSelection("<p class=\"text\">A short selection.</p>", context, page, FetchOptions());
        smallMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const double styled = Median(styledMs);
    const double parsed = Median(parsedMs);
    std::printf("selection %lld bytes, styled %lld bytes\n", static_cast<long long>(selection.size()),
                static_cast<long long>(styledBytes));
    std::printf("style pass (page, sheets, layout, inline) median %.0f ms\n", styled);
    std::printf("parse and localise without it       median %.0f ms\n", parsed);
    std::printf("style pass of one short paragraph  median %.0f ms\n", Median(smallMs));
    std::printf("style pass / parse: %.1f\n", styled / parsed);
    return 0;
}
