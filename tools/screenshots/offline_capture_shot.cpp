// Shows that a captured responsive picture reads offline: a selection with a
// <picture>, a srcset and a lazily loaded picture is dropped from a loopback
// web server, saved, the server is stopped, and the explorer shows the note.
// Also takes the information window with its Cancel button while pictures load.
//
//   xvfb-run -a -s "-screen 0 1366x768x24" offline_capture_shot BUILT_PROGRAM_FOLDER OUTPUT_FOLDER
#include "clipnestapplication.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "infoform.h"
#include "insertdialogs.h"
#include "loopbackserver.h"
#include "mainform.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

#include <cstdio>
#include <memory>

namespace {

QByteArray picture(int width, int height, const QColor &from, const QColor &to, const QString &caption)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(height / 7);
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

void shoot(const QString &path, QWidget *window = nullptr)
{
    QTest::qWait(700);
    const QPixmap shot = window ? window->grab() : QGuiApplication::primaryScreen()->grabWindow(0);
    shot.save(path, "PNG");
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: offline_capture_shot BUILT_PROGRAM_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString built = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const QString output = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    QDir().mkpath(output);
    const TestProgramFolder programFolder(built);
    ClipnestProgram program(programFolder.path());
    program.bringUp();
    QTest::qWait(1500);

    auto server = std::make_unique<LoopbackServer>();
    server->setDelay(2500); // slow enough to see the information window
    server->serve("/img/harbour-1x.png",
                  picture(360, 150, QColor(120, 120, 120), QColor(160, 160, 160), QStringLiteral("1x (not stored)")));
    server->serve("/img/harbour-2x.png", picture(720, 300, QColor(30, 90, 160), QColor(90, 180, 220),
                                                 QStringLiteral("2x, stored in the note")));
    server->serve("/img/boats.png",
                  picture(360, 150, QColor(200, 90, 40), QColor(240, 190, 60), QStringLiteral("lazy picture, stored")));
    const QString fragment =
        QStringLiteral("<h2>A responsive page, read offline</h2>"
                       "<p>The <b>picture</b> element offers a 1x and a 2x picture; the note keeps the sharper one. "
                       "The second picture loads lazily: its real address is in <code>data-src</code>.</p>"
                       "<picture><source srcset=\"/img/harbour-1x.png 1x, /img/harbour-2x.png 2x\" "
                       "type=\"image/png\"><img src=\"/img/harbour-1x.png\" alt=\"harbour\"></picture> "
                       "<img src=\"data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7\" "
                       "data-src=\"/img/boats.png\" alt=\"boats\">");
    QMimeData data;
    data.setData(QStringLiteral("text/plain"), "A responsive page");
    data.setData(QStringLiteral("chromium/x-renderer-taint"), server->base().toUtf8());
    data.setData(QStringLiteral("text/html"), fragment.toUtf8());
    TDropForm *dropBox = program.dropBox();
    // The information window, taken from inside the capture's own wait.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TInfoForm *info = program.infoWindow();
        if (info->isVisible() && !info->progressLabel()->text().isEmpty()) {
            watch.stop();
            shoot(output + QStringLiteral("infowindow.png"), info);
        }
    });
    watch.start(100);
    const QPoint point(20, 20);
    QWindowSystemInterface::handleDrag(dropBox->windowHandle(), &data, point, Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    QWindowSystemInterface::handleDrop(dropBox->windowHandle(), &data, point, Qt::CopyAction, Qt::LeftButton,
                                       Qt::NoModifier);
    if (!QTest::qWaitFor([&] { return !TEditorForm::openEditors().isEmpty() && !dropBox->isBusy(); }, 30000)) {
        std::fprintf(stderr, "the drop opened no editor\n");
        return 1;
    }
    QPointer<TEditorForm> editor = TEditorForm::openEditors().constLast();
    editor->tagsEdit()->setText(QStringLiteral("Web,Offline"));
    editor->close();
    if (!QTest::qWaitFor([&] { return editor.isNull(); }, 10000)) {
        std::fprintf(stderr, "the editor did not save and close\n");
        return 1;
    }

    // The web server is gone; the explorer reads the note again from its file.
    server.reset();
    TMainForm *explorer = program.explorer();
    explorer->show();
    explorer->content()->reload();
    explorer->content()->WaitWhileBusy();
    shoot(output + QStringLiteral("offline-capture.png"));

    // Insert Image with a web address: the editor's progress window.
    LoopbackServer slow;
    slow.setDelay(3000);
    slow.serve("/img/inserted.png",
               picture(360, 150, QColor(40, 140, 90), QColor(120, 200, 140), QStringLiteral("inserted")));
    TEditorForm *inserting = program.newEditor();
    inserting->show();
    inserting->PrefillFromCapture(QStringLiteral("<p>A picture from the web:</p>"), QStringLiteral("Inserted"));
    inserting->runImageDialog = [&slow](TAddImageForm &dialog) {
        dialog.urlEdit->setText(slow.base() + QStringLiteral("/img/inserted.png"));
        return true;
    };
    QTimer progressWatch;
    QObject::connect(&progressWatch, &QTimer::timeout, [&] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("PictureProgress") && window->isVisible()) {
                progressWatch.stop();
                shoot(output + QStringLiteral("editor-progress.png"));
            }
        }
    });
    progressWatch.start(100);
    inserting->AddImageClick();
    shoot(output + QStringLiteral("editor-inserted.png"), inserting);
    std::fflush(stdout);
    std::quick_exit(0);
}
