// Each note of a program folder as the explorer shows it, one picture a note,
// for comparing captures made from different browsers.
//
//   xvfb-run -a -s "-screen 0 1366x768x24" browser_notes_shot PROGRAM_FOLDER OUTPUT_FOLDER
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "startup.h"

#include <QDir>
#include <QList>
#include <QPair>
#include <QPixmap>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: browser_notes_shot PROGRAM_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const QString output = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    QDir().mkpath(output);
    QList<QPair<int, int>> notes;
    {
        TDBDataModule database(folder + QStringLiteral("notes.fdb"), TDBDataModule::Use::Reading);
        QSqlQuery &rows = database.runQuery(QStringLiteral("select noteid, tagid from note order by noteid"));
        while (rows.next())
            notes << qMakePair(rows.value(0).toInt(), rows.value(1).toInt());
    }
    ClipnestProgram program(folder);
    program.bringUp();
    TMainForm *explorer = program.explorer();
    explorer->show();
    explorer->resize(1366, 740);
    QTest::qWait(1500);
    for (const auto &[noteId, tagId] : notes) {
        explorer->SelectTagAndNote(noteId, tagId);
        QTest::qWait(500);
        explorer->content()->WaitWhileBusy();
        QTest::qWait(1200);
        const QString path = output + QStringLiteral("note-%1.png").arg(noteId);
        explorer->grab().save(path, "PNG");
        std::printf("%s\n", qPrintable(path));
    }
    std::fflush(stdout);
    std::quick_exit(0);
}
