// The sync settings window, and the explorer's status bar during a sync and
// after it, in English or in Chinese (sync-settings-en.png, sync-progress-en.png,
// sync-done-en.png; -cn likewise). Another computer has sent 800 notes to a
// folder target first, so that the sync takes long enough to be seen.
//
//   xvfb-run -a -s "-screen 0 1366x768x24" sync_shot OUTPUT_FOLDER en|cn
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "mainform.h"
#include "notefiling.h"
#include "notefilestore.h"
#include "startup.h"
#include "synccommands.h"
#include "syncsettingsform.h"
#include "testprogramfolder.h"
#include "wholefile.h"

#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include <cstdio>

namespace {

void fillOtherComputer(const TestProgramFolder &folder, const QString &target, bool chinese)
{
    {
        TDBDataModule database(folder.databasePath());
        const AppContext context(folder.path());
        for (int i = 0; i < 800; ++i) {
            const NoteLocation location = NewNoteLocation(context.dataFolder);
            const QString title = chinese ? QStringLiteral("港口笔记 %1").arg(i) : QStringLiteral("Harbour note %1").arg(i);
            writeWholeFile(location.dayFolder + QLatin1Char('/') + location.fileName,
                           "<html><body><p>" + title.toUtf8() + "</p></body></html>\n");
            NoteFilingRequest request;
            request.title = title;
            request.catalogText = chinese ? QStringLiteral("旅行,港口") : QStringLiteral("Travel,Harbours");
            request.relativeFile = location.dayFolder.mid(context.dataFolder.size()) + QLatin1Char('/') + location.fileName;
            NoteFiling(database).file(request);
        }
    }
    SyncRequest request;
    request.place.target = target;
    runSync(AppContext(folder.path()), request, {}, {});
}

void shoot(const QString &output, bool chinese)
{
    const QString language = chinese ? QStringLiteral("cn") : QStringLiteral("en");
    QTemporaryDir target;
    TestProgramFolder other, folder;
    fillOtherComputer(other, target.path(), chinese);

    SyncPlace place;
    place.target = target.path();
    SyncSettings(folder.path()).save(place);
    ClipnestProgram program(folder.path());
    program.bringUp();
    TMainForm *explorer = program.explorer();
    explorer->switchLanguage(language + QStringLiteral(".ini"));
    explorer->resize(1280, 760);
    explorer->show();

    SyncChoice choice;
    choice.place.target = QStringLiteral("https://cloud.example.org/remote.php/dav/files/me/Clipnest");
    choice.place.user = QStringLiteral("me");
    choice.password = QStringLiteral("password");
    TSyncSettingsForm form(choice, explorer);
    form.show();
    QTest::qWait(500);
    form.grab().save(output + QStringLiteral("sync-settings-%1.png").arg(language), "PNG");
    form.hide();

    SyncCommands *sync = explorer->syncCommands();
    bool ended = false;
    QObject::connect(sync, &SyncCommands::syncEnded, explorer, [&ended] { ended = true; });
    sync->SyncNowActExecute();
    const QString syncing = chinese ? QStringLiteral("正在同步 ") : QStringLiteral("Syncing ");
    for (int wait = 0; wait < 600 && !ended && !(sync->statusLabel()->text().startsWith(syncing)
                                                  && sync->statusLabel()->text().contains(QLatin1Char('1')));
         ++wait)
        QTest::qWait(50);
    QTest::qWait(300);
    explorer->grab().save(output + QStringLiteral("sync-progress-%1.png").arg(language), "PNG");
    for (int wait = 0; wait < 1200 && !ended; ++wait)
        QTest::qWait(100);
    QTest::qWait(500);
    explorer->grab().save(output + QStringLiteral("sync-done-%1.png").arg(language), "PNG");
    std::printf("%ssync-*-%s.png\n", qPrintable(output), qPrintable(language));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QStandardPaths::setTestModeEnabled(true);
    ClipnestApplication app(argc, argv);
    const bool chinese = argc == 3 && QByteArray(argv[2]) == "cn";
    if (argc != 3 || (!chinese && QByteArray(argv[2]) != "en")) {
        std::fprintf(stderr, "usage: sync_shot OUTPUT_FOLDER en|cn\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    QDir().mkpath(output);
    shoot(output, chinese);
    std::fflush(stdout);
    std::quick_exit(0);
}
