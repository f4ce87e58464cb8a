// The cost of sync through a real Apache with mod_dav on 127.0.0.1:
//
//   sync_bench [NOTES] [LARGE_NOTES]      (defaults 10000 and 100000)
//
// 1. A collection of NOTES notes, each with a picture of its own, is synced
//    from computer A to the server and from there to an empty computer B:
//    time, requests and the bytes the server then holds.
// 2. One note changed on A: A's sync and B's, and a sync with nothing
//    changed: requests and time.
// 3. The same at LARGE_NOTES notes (no pictures, the first sync written
//    straight into the server's folder, which holds the same items), for A:
//    the requests of one change and of none must be those at NOTES.
// Needs seed_catalog beside it and the build's program folder; prints one
// line a figure.
#include "appcontext.h"
#include "davserver.h"
#include "dbdatamodule.h"
#include "foldertarget.h"
#include "syncformat.h"
#include "syncrun.h"
#include "syncsession.h"
#include "testprogramfolder.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>

#include <cstdio>
#include <unistd.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Figures
{
    double seconds = 0;
    qint64 requests = 0;
    SyncEnd end = SyncEnd::Failed;
    QString message;
};

Figures timedSync(const AppContext &context, const SyncRequest &request)
{
    QElapsedTimer timer;
    timer.start();
    const SyncReport report = runSync(context, request, {}, {});
    return {timer.elapsed() / 1000.0, report.requests, report.end, report.message};
}

void print(const char *what, int notes, const Figures &figures)
{
    std::printf("%-34s %7d notes  %8.2f s  %7lld requests%s%s\n", what, notes, figures.seconds,
                static_cast<long long>(figures.requests), figures.end == SyncEnd::Synced ? "" : "  FAILED: ",
                figures.end == SyncEnd::Synced ? "" : qPrintable(figures.message));
    std::fflush(stdout);
}

qint64 folderBytes(const QString &folder)
{
    qint64 bytes = 0;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

bool seed(const TestProgramFolder &folder, int notes, bool pictures)
{
    QProcess seeder;
    seeder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/seed_catalog"),
                 {folder.path(), QString::number(std::max(10, notes / 100)), QString::number(notes)});
    if (!seeder.waitForFinished(-1) || seeder.exitCode() != 0) {
        std::fprintf(stderr, "seed_catalog failed: %s\n", seeder.readAllStandardError().constData());
        return false;
    }
    if (!pictures)
        return true;
    // Every note gets a picture of its own beside it, some kilobytes of bytes no other note has.
    TDBDataModule database(folder.databasePath());
    QSqlQuery &query = database.runQuery(QStringLiteral("select noteid, filename from note"));
    QList<std::pair<int, QString>> files;
    while (query.next())
        files.append({query.value(0).toInt(), query.value(1).toString()});
    query.finish();
    for (const auto &[noteId, relative] : files) {
        const QString file = folder.dataFolder() + relative;
        const QString picture = QStringLiteral("p%1.png").arg(noteId);
        QByteArray bytes(2048 + (noteId % 7) * 1024, char(noteId % 251));
        bytes.prepend(QByteArray::number(noteId));
        writeWholeFile(QFileInfo(file).path() + QStringLiteral("/images/") + picture, bytes);
        QByteArray html = readFile(file);
        html.replace("</body>", "<p><img src=\"images/" + picture.toUtf8() + "\"></p></body>");
        writeWholeFile(file, html);
    }
    return true;
}

void changeOneNote(const TestProgramFolder &folder)
{
    TDBDataModule database(folder.databasePath());
    QSqlQuery &query = database.runQuery(QStringLiteral("select first 1 filename from note order by noteid"));
    const QString file = query.next() ? folder.dataFolder() + query.value(0).toString() : QString();
    query.finish();
    QByteArray html = readFile(file);
    html.replace("</body>", "<p>One more line.</p></body>");
    writeWholeFile(file, html);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int notes = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int largeNotes = argc > 2 ? std::atoi(argv[2]) : 100000;
    DavServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "no WebDAV server: %s\n", qPrintable(server.error()));
        return 1;
    }
    SyncRequest request;
    request.place.target = server.address(QStringLiteral("bench"));
    request.place.user = DavServer::user();
    request.password = DavServer::password();

    TestProgramFolder a, b;
    if (!seed(a, notes, true))
        return 1;
    const AppContext contextA(a.path()), contextB(b.path());
    print("first sync, A to the server", notes, timedSync(contextA, request));
    std::printf("%-34s %7d notes  %8.1f MB on the server, %.1f MB of note files and pictures\n", "", notes,
                folderBytes(server.davFolder() + QStringLiteral("/bench")) / 1e6, folderBytes(a.dataFolder()) / 1e6);
    print("first sync, the server to B", notes, timedSync(contextB, request));
    print("nothing changed, A", notes, timedSync(contextA, request));
    changeOneNote(a);
    print("one note changed, A sends", notes, timedSync(contextA, request));
    print("one note changed, B receives", notes, timedSync(contextB, request));

    if (largeNotes > 0) {
        TestProgramFolder large;
        if (!seed(large, largeNotes, false))
            return 1;
        const AppContext context(large.path());
        SyncRequest largeRequest = request;
        largeRequest.place.target = server.address(QStringLiteral("large"));
        // The first sync goes straight into the server's folder: the same items, without the wait.
        SyncRequest local;
        local.place.target = server.davFolder() + QStringLiteral("/large");
        print("first sync, into the server's folder", largeNotes, timedSync(context, local));
        // As root the server runs as nobody, who must be able to write there too.
        if (::getuid() == 0)
            QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"), local.place.target});
        print("nothing changed, A", largeNotes, timedSync(context, largeRequest));
        changeOneNote(large);
        print("one note changed, A sends", largeNotes, timedSync(context, largeRequest));
    }
    return 0;
}
