// Imports a generated Markdown folder of PAGES pages (100 to a folder, each
// with front matter, a table, wiki-links to its neighbours and a picture of
// PICTURE_BYTES bytes) into a fresh program folder; prints pages per second
// and the peak memory.
//   vault_bench [PAGES [PICTURE_BYTES]]   (defaults 10000 and 20000)

#include "dbdatamodule.h"
#include "markdownimport.h"
#include "testprogramfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>
#include <sys/resource.h>

namespace {

bool writeVault(const QString &vault, int pages, int pictureBytes)
{
    QByteArray picture(pictureBytes, '\0');
    for (int page = 0; page < pages; ++page) {
        const QString folder = vault + QStringLiteral("Folder %1/").arg(page / 100);
        if (page % 100 == 0) {
            QDir().mkpath(folder);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(picture.data()), pictureBytes / 4);
            QFile file(folder + QStringLiteral("picture.png"));
            if (!file.open(QIODevice::WriteOnly) || file.write(picture) != picture.size())
                return false;
        }
        const QByteArray number = QByteArray::number(page);
        const QByteArray text = "---\ntitle: Page " + number + "\ncreated: 2024-0" + QByteArray::number(1 + page % 9) +
                                "-1" + QByteArray::number(page % 10) + " 10:00\ntags: [bench, folder" +
                                QByteArray::number(page / 100) + "]\n---\n# Page " + number + "\n\nText of **page " +
                                number + "**, next [[Page " + QByteArray::number(page + 1) + "]], previous [[Page " +
                                QByteArray::number(page - 1) +
                                "]].\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n"
                                "![picture](picture.png)\n";
        QFile file(folder + QStringLiteral("Page %1.md").arg(page));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int pages = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int pictureBytes = argc > 2 ? QByteArray(argv[2]).toInt() : 20000;
    TestProgramFolder folder;
    const QString vault = folder.path() + QStringLiteral("vault/");
    if (!writeVault(vault, pages, pictureBytes))
        return 1;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    TDBDataModule database(folder.databasePath());
    QElapsedTimer timer;
    timer.start();
    const EnexImportReport report = MarkdownImport(database, folder.dataFolder()).importFolder(vault);
    const double seconds = timer.elapsed() / 1000.0;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("%d pages imported (%d with problems) in %.1f s: %.0f notes/s; peak RSS %ld MB "
                "(%ld MB before the import)\n",
                report.imported, report.withProblems, seconds, report.imported / seconds, after.ru_maxrss / 1024,
                before.ru_maxrss / 1024);
    return 0;
}
