#include "aboutform.h"
#include "appcontext.h"
#include "dropform.h"
#include "testprogramfolder.h"

#include <QImage>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QtTest>

// The drop box, the tray icon and the About box's logo on a screen of two
// device pixels per pixel, where a picture made for one pixel per pixel would
// be blown up and blurred.
class DropBoxPictureTest : public QObject
{
    Q_OBJECT

private slots:
    void shippedLogoIsDrawnAtTheScreensPixels();
    void ownLogoOfTheBoxsSizeStillShows();
    void trayIconHasPixelsForTheScreen();
    void aboutBoxLogoIsDrawnAtTheScreensPixels();
};

namespace {

QPixmap shownLogo(const QString &programFolder)
{
    AppContext context(programFolder);
    TDropForm dropBox(context);
    dropBox.show();
    return dropBox.logoImage()->pixmap();
}

// Neighbouring pixel pairs (0-1, 2-3, ...) across and down that differ: a
// picture blown up from half the pixels has every pair alike.
int differingPairs(const QImage &picture)
{
    int differing = 0;
    for (int y = 0; y + 1 < picture.height(); y += 2)
        for (int x = 0; x + 1 < picture.width(); x += 2)
            differing +=
                (picture.pixel(x, y) != picture.pixel(x + 1, y)) + (picture.pixel(x, y) != picture.pixel(x, y + 1));
    return differing;
}

} // namespace

void DropBoxPictureTest::shippedLogoIsDrawnAtTheScreensPixels()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    TestProgramFolder folder;
    const QPixmap logo = shownLogo(folder.path());
    QCOMPARE(logo.devicePixelRatio(), 2.0);
    QCOMPARE(logo.size(), QSize(96, 96));
    QCOMPARE(logo.deviceIndependentSize(), QSizeF(48, 48));

    const QImage shipped(folder.path() + QStringLiteral("logo"), "PNG");
    QVERIFY(shipped.width() >= 96);
    const QImage blownUp = shipped.scaled(48, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).scaled(96, 96);
    QCOMPARE(differingPairs(blownUp), 0);
    QVERIFY2(differingPairs(logo.toImage()) > 500, qPrintable(QString::number(differingPairs(logo.toImage()))));
}

void DropBoxPictureTest::ownLogoOfTheBoxsSizeStillShows()
{
    TestProgramFolder folder;
    QImage own(48, 48, QImage::Format_ARGB32);
    own.fill(Qt::darkGreen);
    QVERIFY(own.save(folder.path() + QStringLiteral("logo"), "PNG"));
    const QPixmap logo = shownLogo(folder.path());
    QCOMPARE(logo.deviceIndependentSize(), QSizeF(48, 48));
    QCOMPARE(logo.toImage().pixelColor(50, 50), QColor(Qt::darkGreen));
}

void DropBoxPictureTest::trayIconHasPixelsForTheScreen()
{
    TestProgramFolder folder;
    AppContext context(folder.path());
    TDropForm dropBox(context);
    const QPixmap icon = dropBox.trayIcon()->icon().pixmap(QSize(32, 32), 2.0);
    QCOMPARE(icon.size(), QSize(64, 64));
    QVERIFY(!icon.toImage().isNull());
    QVERIFY2(differingPairs(icon.toImage()) > 200, qPrintable(QString::number(differingPairs(icon.toImage()))));
}

void DropBoxPictureTest::aboutBoxLogoIsDrawnAtTheScreensPixels()
{
    TestProgramFolder folder;
    AppContext context(folder.path());
    TaboutForm about(context);
    about.show();
    // The whole picture in the box's 48 pixels, at two device pixels each.
    const QPixmap logo = about.findChild<QLabel *>(QStringLiteral("Image1"))->pixmap();
    QCOMPARE(logo.devicePixelRatio(), 2.0);
    QCOMPARE(logo.size(), QSize(96, 96));
    QVERIFY2(differingPairs(logo.toImage()) > 500, qPrintable(QString::number(differingPairs(logo.toImage()))));
}

int main(int argc, char *argv[])
{
    // Before the application exists: every screen has two device pixels per pixel.
    qputenv("QT_SCALE_FACTOR", "2");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    DropBoxPictureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dropboxpicture.moc"
