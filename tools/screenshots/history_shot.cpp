// The history window of a note edited three times, the differences of its
// oldest version marked, in English or in Chinese (history-en.png, history-cn.png).
//
//   xvfb-run -a -s "-screen 0 1366x768x24" history_shot OUTPUT_FOLDER en|cn
#include "clipnestapplication.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "historyform.h"
#include "mainform.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

namespace {

struct Language
{
    const char *file;
    QString title;
    QStringList bodies; // oldest first
};

void shoot(const QString &output, const Language &language)
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    program.explorer()->switchLanguage(QLatin1String(language.file));
    QPointer<TEditorForm> editor = program.newEditor();
    editor->show();
    editor->PrefillFromCapture(language.bodies.first(), language.title);
    editor->SaveNote();
    for (qsizetype i = 1; i < language.bodies.size(); ++i) {
        QTest::qWait(1100); // versions a second apart at least
        editor->content()->RunScript(
            QStringLiteral("document.body.innerHTML = %1;")
                .arg(QString::fromUtf8(
                    QJsonDocument(QJsonArray{language.bodies[i]}).toJson(QJsonDocument::Compact).chopped(1).mid(1))));
        editor->SaveNote();
    }
    editor->hide();
    THistoryForm *form =
        showNoteHistory(program.context(), editor->noteId(), editor->notePath(), language.title, program.explorer());
    form->resize(1000, 600);
    QTest::keyClick(form->versionList(), Qt::Key_Down); // the oldest version: the most marks
    form->view()->WaitWhileBusy();
    QTest::qWait(1500);
    const QString path = output + QStringLiteral("history-%1.png").arg(QString::fromLatin1(language.file).left(2));
    form->grab().save(path, "PNG");
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QStandardPaths::setTestModeEnabled(true);
    ClipnestApplication app(argc, argv);
    const bool chinese = argc == 3 && QByteArray(argv[2]) == "cn";
    if (argc != 3 || (!chinese && QByteArray(argv[2]) != "en")) {
        std::fprintf(stderr, "usage: history_shot OUTPUT_FOLDER en|cn\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    QDir().mkpath(output);
    if (!chinese)
        shoot(output, {"en.ini",
                       QStringLiteral("Lighthouse visit"),
                       {QStringLiteral("<h2>Lighthouse visit</h2><p>We climbed the 120 steps of the old tower at dawn "
                                       "and watched the fishing boats leave the harbour.</p><p>Bring a warm coat.</p>"),
                        QStringLiteral("<h2>Lighthouse visit</h2><p>We climbed the 137 steps of the old tower at dawn "
                                       "and watched the fishing boats leave the harbour.</p><p>Bring a warm coat and "
                                       "a thermos.</p>"),
                        QStringLiteral("<h2>Lighthouse visit</h2><p>We climbed the 137 steps of the white tower at "
                                       "sunrise and watched the boats leave the harbour.</p><p>Bring a warm coat, a "
                                       "thermos and binoculars.</p><p>Open daily from May to October.</p>")}});
    else
        shoot(output,
              {"cn.ini",
               QStringLiteral("灯塔游记"),
               {QStringLiteral("<h2>灯塔游记</h2><p>清晨 我们 登上 老灯塔的 120 级 台阶， 看着 渔船 驶出 港口。</p>"
                               "<p>记得 带 一件 厚外套。</p>"),
                QStringLiteral("<h2>灯塔游记</h2><p>清晨 我们 登上 老灯塔的 137 级 台阶， 看着 渔船 驶出 港口。</p>"
                               "<p>记得 带 一件 厚外套 和 保温杯。</p>"),
                QStringLiteral("<h2>灯塔游记</h2><p>日出时 我们 登上 白色灯塔的 137 级 台阶， 看着 船只 驶出 港口。</p>"
                               "<p>记得 带 一件 厚外套、 保温杯 和 望远镜。</p><p>五月至十月 每天 开放。</p>")}});
    std::fflush(stdout);
    std::quick_exit(0);
}
