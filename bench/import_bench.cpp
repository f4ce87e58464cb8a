// Imports a generated Evernote export of NOTES notes with two pictures each
// (PICTURE_BYTES bytes of data per picture), written to disk as a stream, into
// a fresh program folder; prints notes per second and the peak memory.
//   import_bench [NOTES [PICTURE_BYTES]]   (defaults 10000 and 50000: about 1 GB)

#include "dbdatamodule.h"
#include "eneximport.h"
#include "testprogramfolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>
#include <sys/resource.h>

namespace {

bool writeExport(const QString &path, int notes, int pictureBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<en-export>\n");
    QByteArray picture(pictureBytes, '\0');
    for (int note = 0; note < notes; ++note) {
        QByteArray resources;
        QByteArray media;
        for (int i = 0; i < 2; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(picture.data()), pictureBytes / 4);
            const QByteArray hash = QCryptographicHash::hash(picture, QCryptographicHash::Md5).toHex();
            media += "<en-media hash=\"" + hash + "\" type=\"image/png\"/>";
            resources += "<resource><data encoding=\"base64\">" + picture.toBase64() +
                         "</data><mime>image/png</mime></resource>";
        }
        const QByteArray created = QByteArray::number(20200101 + note % 28) + "T" +
                                   QByteArray::number(100000 + note % 50000).rightJustified(6, '0') + "Z";
        file.write("<note><title>Note " + QByteArray::number(note) +
                   "</title><content><![CDATA[<en-note><div>Text of note " + QByteArray::number(note) + "</div>" +
                   media + "</en-note>]]></content><created>" + created + "</created><tag>bench</tag>" + resources +
                   "</note>\n");
    }
    file.write("</en-export>\n");
    return file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int notes = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int pictureBytes = argc > 2 ? QByteArray(argv[2]).toInt() : 50000;
    TestProgramFolder folder;
    const QString exportPath = folder.path() + QStringLiteral("bench.enex");
    if (!writeExport(exportPath, notes, pictureBytes))
        return 1;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    TDBDataModule database(folder.databasePath());
    QElapsedTimer timer;
    timer.start();
    const EnexImportReport report =
        EnexImport(database, folder.dataFolder()).importFile(exportPath, EnexImport::Again::Import);
    const double seconds = timer.elapsed() / 1000.0;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("export %.0f MB, %d notes imported (%d with problems) in %.1f s: %.0f notes/s; peak RSS %ld MB "
                "(%ld MB before the import)\n",
                QFile(exportPath).size() / 1e6, report.imported, report.withProblems, seconds,
                report.imported / seconds, after.ru_maxrss / 1024, before.ru_maxrss / 1024);
    return 0;
}
