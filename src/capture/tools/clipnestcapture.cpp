// clipnest-capture CLIP_FILE PROGRAM_FOLDER BODY_FILE
// Runs the capture of a dropped page selection on a saved clip, outside the
// program: pictures land in today's folder of PROGRAM_FOLDER/data/.

#include "clipcapture.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>

namespace {

int Usage()
{
    std::fputs("usage: clipnest-capture CLIP_FILE PROGRAM_FOLDER BODY_FILE\n"
               "Prints the source address and the title, one per line, and writes the body to BODY_FILE.\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4 || !*argv[1] || !*argv[2] || !*argv[3])
        return Usage();

    QFile clipFile(QFile::decodeName(argv[1]));
    if (!clipFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "clipnest-capture: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray bytes = clipFile.readAll();
    const std::string clipText = PrepareClipText(std::string_view(bytes.constData(), bytes.size()));

    QString programFolder = QFile::decodeName(argv[2]);
    while (programFolder.endsWith(QLatin1Char('/')) && programFolder.size() > 1)
        programFolder.chop(1);
    const ClipParts parts = ParseClip(clipText, programFolder + QStringLiteral("/data/"));

    std::printf("%s\n%s\n", parts.sourceAddress.c_str(), parts.title.c_str());

    QFile bodyFile(QFile::decodeName(argv[3]));
    if (!bodyFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        bodyFile.write(parts.body.data(), static_cast<qint64>(parts.body.size())) !=
            static_cast<qint64>(parts.body.size()) ||
        !bodyFile.flush()) {
        std::fprintf(stderr, "clipnest-capture: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
