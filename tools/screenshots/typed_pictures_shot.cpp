// Shows that pictures served without extension, as WebP, AVIF and SVG, are
// stored under the name their type gives and read offline in the explorer: a
// selection naming them is dropped from a loopback web server, saved, the
// server is stopped, and the explorer shows the note.
//
//   QT_QPA_PLATFORM=offscreen typed_pictures_shot BUILT_PROGRAM_FOLDER OUTPUT_FOLDER
#include "clipnestapplication.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "loopbackserver.h"
#include "mainform.h"
#include "picturefetcher.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

#include <cstdio>
#include <memory>

namespace {

// A 240 x 120 AVIF picture, a gradient, made with libavif.
const QByteArray Avif = QByteArray::fromHex(
    "00000020667479706176696600000000617669666d6966316d6961664d413141000000f26d65746100000000000000286864"
    "6c720000000000000000706963740000000000000000000000006c696261766966000000000e7069746d0000000000010000"
    "001e696c6f6300000000440000010001000000010000011a000000d90000002869696e660000000000010000001a696e6665"
    "020000000001000061763031436f6c6f72000000006a697072700000004b6970636f000000146973706500000000000000f0"
    "00000078000000107069786900000000030808080000000c617631438120000000000013636f6c726e636c78000200020002"
    "800000001769706d61000000000000000100010401028304000000e16d64617412000a06381dbbfbf24832cc011000006ae5"
    "a90b851a866d96a0404258cd933a49b874e709c9d2fe698c3b0b3b5d4e9d458744d61ffffff7475f97974054cb7d215e4aee"
    "f455b472b70996213aecc4a35eef208fb5b2ec021a17ccd41289a5ccfbbfd9a5762147eabffa14f2bc68f4f7f9abc793112f"
    "b84b5221608e9f0029a5e4707fd1012b162114107f3455bfd7351c6a17a47d9e0a3e5125418dca1c36d16bd8e55bdddd5e09"
    "f4ce0281722ed38987b65b9ea0a3fd6d2b038cd258932f07d8ef6f32a25d2b5872fbc718dfbfa2ac8e6395b88dde92cff4");

const QByteArray Svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"240\" height=\"120\">"
                       "<rect width=\"240\" height=\"120\" rx=\"16\" fill=\"#2a7\"/>"
                       "<circle cx=\"60\" cy=\"60\" r=\"36\" fill=\"#fd4\"/>"
                       "<text x=\"110\" y=\"70\" font-size=\"26\" fill=\"white\">SVG</text></svg>";

QByteArray Webp()
{
    QImage image(240, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 240, 120);
    gradient.setColorAt(0, QColor(160, 40, 120));
    gradient.setColorAt(1, QColor(240, 140, 60));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(28);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("WebP"));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "WEBP");
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: typed_pictures_shot BUILT_PROGRAM_FOLDER OUTPUT_FOLDER\n");
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
    const QByteArray webp = Webp();
    if (webp.isEmpty()) {
        std::fprintf(stderr, "Qt cannot write WebP here\n");
        return 1;
    }
    server->serve("/pic/photo", webp, "image/webp");
    server->serve("/pic/still", Avif, "image/avif");
    server->serve("/pic/chart", Svg, "image/svg+xml");
    server->requireHeader("User-Agent", BrowserUserAgent());
    const QString fragment =
        QStringLiteral("<h2>Pictures without extension</h2><p>Each is named by the type the server gives it.</p>"
                       "<p><img src=\"/pic/photo\" alt=\"webp\"> <img src=\"/pic/still\" alt=\"avif\"> "
                       "<img src=\"/pic/chart\" alt=\"svg\"></p>");
    QMimeData data;
    data.setData(QStringLiteral("text/plain"), "Typed pictures");
    data.setData(QStringLiteral("chromium/x-renderer-taint"), server->base().toUtf8());
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
    QPointer<TEditorForm> editor = TEditorForm::openEditors().constLast();
    editor->tagsEdit()->setText(QStringLiteral("Web,Formats"));
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
    QTest::qWait(1500);
    const QString path = output + QStringLiteral("typed-pictures.png");
    explorer->grab().save(path, "PNG");
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    std::quick_exit(0);
}
