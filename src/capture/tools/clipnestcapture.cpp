// clipnest-capture CLIP_FILE PROGRAM_FOLDER BODY_FILE
// clipnest-capture --firefox FRAGMENT_FILE CONTEXT_FILE PAGE_ADDRESS|- PROGRAM_FOLDER BODY_FILE
// Runs the capture of a dropped page selection on a saved clip, outside the
// program: pictures land in today's folder of PROGRAM_FOLDER/data/. The second
// form takes a selection as Firefox offers it (its text/html, its
// text/_moz_htmlcontext and the page's address) and gives it the page's look
// first, as the drop box does.

#include "clipcapture.h"
#include "dropdata.h"
#include "styledselection.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

int Usage()
{
    std::fputs("usage: clipnest-capture CLIP_FILE PROGRAM_FOLDER BODY_FILE\n"
               "       clipnest-capture --firefox FRAGMENT_FILE CONTEXT_FILE PAGE_ADDRESS|- PROGRAM_FOLDER BODY_FILE\n"
               "Prints the source address and the title, one per line, and writes the body to BODY_FILE.\n",
               stderr);
    return 2;
}

bool ReadFile(const char *path, QByteArray &bytes)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "clipnest-capture: cannot read %s\n", path);
        return false;
    }
    bytes = file.readAll();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool firefox = argc > 1 && std::strcmp(argv[1], "--firefox") == 0;
    const int wanted = firefox ? 7 : 4;
    if (argc != wanted)
        return Usage();
    for (int i = 1; i < argc; ++i) {
        if (!*argv[i])
            return Usage();
    }
    const char *programArgument = argv[wanted - 2];
    const char *bodyArgument = argv[wanted - 1];

    QByteArray bytes;
    std::unique_ptr<QGuiApplication> application;
    if (firefox) {
        // The page's look comes from the web engine, which wants an application.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        application = std::make_unique<QGuiApplication>(argc, argv);
        QByteArray fragment;
        QByteArray context;
        if (!ReadFile(argv[2], fragment) || !ReadFile(argv[3], context))
            return 1;
        // "-": the drop named no page, as Firefox's drops do not.
        const QString given = std::strcmp(argv[4], "-") == 0 ? QString() : QString::fromUtf8(argv[4]);
        const StyledSelection styled =
            StyleSelection(htmlAsUtf8(fragment), QString::fromUtf8(htmlAsUtf8(context)), given, FetchOptions());
        bytes = buildClipText(styled.fragment, given.isEmpty() ? styled.pageAddress : given,
                              styled.pageTitle.toHtmlEscaped());
    } else if (!ReadFile(argv[1], bytes)) {
        return 1;
    }
    const std::string clipText = PrepareClipText(std::string_view(bytes.constData(), bytes.size()));

    QString programFolder = QFile::decodeName(programArgument);
    while (programFolder.endsWith(QLatin1Char('/')) && programFolder.size() > 1)
        programFolder.chop(1);
    const ClipParts parts = ParseClip(clipText, programFolder + QStringLiteral("/data/"));

    std::printf("%s\n%s\n", parts.sourceAddress.c_str(), parts.title.c_str());

    QFile bodyFile(QFile::decodeName(bodyArgument));
    if (!bodyFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        bodyFile.write(parts.body.data(), static_cast<qint64>(parts.body.size())) !=
            static_cast<qint64>(parts.body.size()) ||
        !bodyFile.flush()) {
        std::fprintf(stderr, "clipnest-capture: cannot write %s\n", bodyArgument);
        return 1;
    }
    return 0;
}
