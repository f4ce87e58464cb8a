// Capture from end to end, in one process and one run:
//   - from the drop of a 1 MB selection with 100 pictures (served from
//     127.0.0.1, 50 ms before each answer) until an editor shows it;
//   - the save of a note of 1 MB (file, database row, explorer refresh).
//
//   drop_bench BUILT_PROGRAM_FOLDER
#include "clipnestapplication.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "loopbackserver.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

#include <cstdio>

namespace {

constexpr int Pictures = 100;
constexpr int DelayMs = 50;

const QByteArray Png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
                                           "0000000d4944415478da63f8cfc0f01f0005000201e527dc0d0000000049454e44"
                                           "ae426082");

// About 1 MB of ordinary markup with a picture every few paragraphs.
QByteArray selection(const QString &base, int approximateBytes, bool withPictures)
{
    QByteArray html;
    int picture = 0;
    for (int paragraph = 0; html.size() < approximateBytes; ++paragraph) {
        html += "<p>Paragraph " + QByteArray::number(paragraph) +
                ": a sentence about harbours, boats and the weather, with <b>bold</b> words and "
                "<a href=\"/notes/" +
                QByteArray::number(paragraph) + ".html\">a link</a>. " + QByteArray(700, 'x') + "</p>\n";
        if (withPictures && picture < Pictures && paragraph % 12 == 5)
            html += "<img src=\"" + base.toUtf8() + "/pics/p" + QByteArray::number(picture++) + ".png\">\n";
    }
    while (withPictures && picture < Pictures)
        html += "<img src=\"" + base.toUtf8() + "/pics/p" + QByteArray::number(picture++) + ".png\">\n";
    return html;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: drop_bench BUILT_PROGRAM_FOLDER\n");
        return 2;
    }
    const TestProgramFolder folder(QString::fromLocal8Bit(argv[1]) + QLatin1Char('/'));
    ClipnestProgram program(folder.path());
    program.bringUp();

    LoopbackServer server;
    server.setDelay(DelayMs);
    for (int i = 0; i < Pictures; ++i)
        server.serve("/pics/p" + QByteArray::number(i) + ".png", Png);
    const QByteArray html = selection(server.base(), 1 << 20, true);

    QMimeData data;
    data.setData(QStringLiteral("text/plain"), "selection");
    data.setData(QStringLiteral("chromium/x-renderer-taint"), server.base().toUtf8());
    data.setData(QStringLiteral("text/html"), html);
    TDropForm *dropBox = program.dropBox();
    QElapsedTimer dropTimer;
    dropTimer.start();
    QWindowSystemInterface::handleDrag(dropBox->windowHandle(), &data, QPoint(20, 20), Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    QWindowSystemInterface::handleDrop(dropBox->windowHandle(), &data, QPoint(20, 20), Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    if (!QTest::qWaitFor([&] { return !TEditorForm::openEditors().isEmpty() && !dropBox->isBusy(); }, 120000)) {
        std::fprintf(stderr, "no editor opened\n");
        return 1;
    }
    const double dropMs = dropTimer.nsecsElapsed() / 1e6;
    TEditorForm *captured = TEditorForm::openEditors().constLast();
    const bool complete = captured->content()->BodyInnerHtml().count(QStringLiteral("src=\"images/p")) == Pictures;

    // A note of 1 MB, saved the first time (new row) and again (row unchanged).
    TEditorForm *editor = program.newEditor();
    editor->show();
    editor->PrefillFromCapture(QString::fromUtf8(selection(QString(), 1 << 20, false)), QStringLiteral("Big note"));
    editor->tagsEdit()->setText(QStringLiteral("Bench,Big"));
    QElapsedTimer saveTimer;
    saveTimer.start();
    const bool saved = editor->SaveNote();
    const double firstSaveMs = saveTimer.nsecsElapsed() / 1e6;
    saveTimer.restart();
    editor->SaveNote();
    const double againMs = saveTimer.nsecsElapsed() / 1e6;
    const qint64 noteBytes = QFileInfo(editor->noteFolder() + QLatin1Char('/') + editor->noteFileName()).size();

    std::printf("drop of a %.2f MB selection with %d pictures (%d ms before each answer) until the editor shows "
                "it: %.0f ms, %.3f x %d x %d ms (goal <= 0.2)%s\n",
                html.size() / 1048576.0, Pictures, DelayMs, dropMs, dropMs / (Pictures * DelayMs), Pictures, DelayMs,
                complete ? "" : "  [pictures missing!]");
    std::printf("save of a %.2f MB note: first save (file, new row, catalog, explorer) %.0f ms, "
                "save again %.0f ms%s\n",
                noteBytes / 1048576.0, firstSaveMs, againMs, saved ? "" : "  [save failed!]");
    std::fflush(stdout);
    std::quick_exit(0);
}
