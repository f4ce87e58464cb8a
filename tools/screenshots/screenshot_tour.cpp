// Takes the screenshots of the README: the real program on a fresh program
// folder under a real X server (Xvfb), with a capture dropped from a loopback
// web server the way a browser drops it.
//
//   xvfb-run -s "-screen 0 1366x768x24" screenshot_tour OUTPUT_FOLDER
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "loopbackserver.h"
#include "mainform.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

#include <cstdio>

namespace {

QByteArray picture(const QColor &from, const QColor &to, const QString &caption)
{
    QImage image(360, 150, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 360, 150);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(26);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, caption);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void settle(int ms = 700)
{
    QTest::qWait(ms);
}

void shoot(const QString &path)
{
    settle();
    QGuiApplication::primaryScreen()->grabWindow(0).save(path, "PNG");
    std::printf("%s\n", qPrintable(path));
}

void fileNote(ClipnestProgram &program, const QString &title, const QString &body, const QString &catalog)
{
    TEditorForm *editor = program.newEditor();
    editor->show();
    editor->PrefillFromCapture(body, title);
    editor->tagsEdit()->setText(catalog);
    editor->close();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot_tour BUILT_PROGRAM_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString built = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const QString output = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    QDir().mkpath(output);
    const TestProgramFolder programFolder(built);
    const QString folder = programFolder.path();
    QFile attachment(folder + QStringLiteral("Firebird embedded.pdf"));
    attachment.open(QIODevice::WriteOnly);
    attachment.write(QByteArray(48213, 'p'));
    attachment.close();

    ClipnestProgram program(folder);
    program.bringUp();
    settle(1500);

    fileNote(program, QStringLiteral("Release checklist"), QStringLiteral("<p>Tag, build, sign.</p>"),
             QStringLiteral("Work,Projects,Alpha"));
    fileNote(program, QStringLiteral("Sprint notes"), QStringLiteral("<p>Planning.</p>"),
             QStringLiteral("Work,Projects"));
    fileNote(program, QStringLiteral("Budget 2027"), QStringLiteral("<p>Numbers.</p>"), QStringLiteral("Work"));
    fileNote(program, QStringLiteral("Sourdough"), QStringLiteral("<p>Flour, water, salt.</p>"),
             QStringLiteral("Home,Recipes"));
    fileNote(program, QStringLiteral("\u5de5\u4f5c\u8ba1\u5212"), QStringLiteral("<p>\u4e2d\u6587\u7b14\u8bb0</p>"),
             QStringLiteral("\u5b66\u4e60,\u4e2d\u6587"));

    // The drop box over the desktop.
    program.explorer()->hide();
    shoot(output + QStringLiteral("dropbox.png"));

    // A selection dragged out of a browser onto the drop box.
    LoopbackServer server;
    server.serve("/img/harbour.png",
                 picture(QColor(30, 90, 160), QColor(90, 180, 220), QStringLiteral("Quiet harbour")));
    server.serve("/img/boats.png", picture(QColor(200, 90, 40), QColor(240, 190, 60), QStringLiteral("Boats at dawn")));
    const QString fragment =
        QStringLiteral("<h2>Keeping an embedded database small</h2>"
                       "<p>An embedded <b>Firebird</b> database lives in one file beside the program. "
                       "Read the <a href=\"guide/embedded.html\">embedding guide</a> for the details.</p>"
                       "<p><img src=\"%1/img/harbour.png\"> <img src=\"%1/img/boats.png\"></p>"
                       "<ul><li>one file</li><li>no server</li><li>transactions</li></ul>")
            .arg(server.base());
    QMimeData data;
    data.setData(QStringLiteral("text/plain"), "Keeping an embedded database small");
    data.setData(QStringLiteral("chromium/x-renderer-taint"), server.base().toUtf8());
    data.setData(QStringLiteral("text/html"), fragment.toUtf8());
    TDropForm *dropBox = program.dropBox();
    const QPoint point(20, 20);
    QWindowSystemInterface::handleDrag(dropBox->windowHandle(), &data, point, Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    QWindowSystemInterface::handleDrop(dropBox->windowHandle(), &data, point, Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    if (!QTest::qWaitFor([&] { return !TEditorForm::openEditors().isEmpty() && !dropBox->isBusy(); }, 30000)) {
        std::fprintf(stderr, "the drop opened no editor\n");
        return 1;
    }
    TEditorForm *editor = TEditorForm::openEditors().constLast();
    editor->tagsEdit()->setText(QStringLiteral("Research,Databases"));
    editor->AddAttachment(folder + QStringLiteral("Firebird embedded.pdf"));
    editor->titleEdit()->setFocus();
    shoot(output + QStringLiteral("editor.png"));

    // The screen capture's region picker, halfway through a drag.
    QTimer::singleShot(800, [&] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() != QLatin1String("RegionGrabber") || !window->isVisible())
                continue;
            QTest::mousePress(window, Qt::LeftButton, {}, QPoint(300, 200));
            QTest::mouseMove(window, QPoint(700, 450));
            shoot(output + QStringLiteral("regionpicker.png"));
            QTest::keyClick(window, Qt::Key_Escape);
        }
    });
    editor->snapClick();

    // Closing the editor saves the note; the explorer shows it.
    program.explorer()->show();
    editor->close();
    shoot(output + QStringLiteral("explorer.png"));

    // A full-text search, its first hit chosen: in English, then in Chinese.
    fileNote(program, QStringLiteral("Sourdough starter"),
             QStringLiteral("<p>Feed the starter with rye flour and water every morning. A lively starter "
                            "captures wild yeast from the air and doubles in four hours.</p>"
                            "<p>Bake at 250 degrees with steam for the first twenty minutes.</p>"),
             QStringLiteral("Home,Recipes"));
    fileNote(program, QStringLiteral("Flour types"),
             QStringLiteral("<p>Bread flour has more protein than cake flour; whole wheat flour keeps the bran.</p>"),
             QStringLiteral("Home,Recipes"));
    fileNote(program, QStringLiteral("\u82f9\u679c\u6d3e"),
             QStringLiteral("<p>\u6211\u559c\u6b22\u82f9\u679c\u6d3e\uff0c\u5c24\u5176\u662f\u521a\u51fa"
                            "\u7089\u7684\u65f6\u5019\u3002\u82f9\u679c\u5207\u7247\uff0c\u52a0\u7cd6"
                            "\u548c\u8089\u6842\u3002</p><p>Apple pie with cinnamon.</p>"),
             QStringLiteral("\u5b66\u4e60,\u4e2d\u6587"));
    TMainForm *explorer = program.explorer();
    FullTextSearch *fullText = explorer->fullTextSearch();
    if (!QTest::qWaitFor([&] { return fullText->isIdle(); }, 30000))
        std::fprintf(stderr, "the search index was not ready\n");
    auto searchAndChoose = [&](const QString &words, const QString &file) {
        fullText->scopeBox()->setCurrentIndex(1);
        fullText->scopeBox()->activated(1);
        fullText->fullTextEdit()->setText(words);
        QTest::keyClick(fullText->fullTextEdit(), Qt::Key_Return);
        QTreeWidget *list = explorer->noteList();
        settle(300);
        if (list->topLevelItemCount() > 0)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->topLevelItem(0)).center());
        shoot(output + file);
    };
    searchAndChoose(QStringLiteral("flour"), QStringLiteral("search.png"));
    explorer->switchLanguage(QStringLiteral("cn.ini"));
    searchAndChoose(QStringLiteral("\u82f9\u679c"), QStringLiteral("search-cn.png"));
    std::fflush(stdout);
    std::quick_exit(0);
}
