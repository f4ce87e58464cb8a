#include "aboutform.h"
#include "dropform.h"
#include "mainform.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

// Where the drop box appears, how it shows a drag over it, and the logo in
// the About box.
class DropBoxWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void firstPlaceCoversNoneOfTheExplorer_data();
    void firstPlaceCoversNoneOfTheExplorer();
    void aMovedBoxKeepsItsPlace();
    void aDragItWouldTakeMarksIt();
    void aboutBoxShowsTheWholeLogo();
};

namespace {

QRect onScreen(const QWidget *widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

QImage shownLogo(const TDropForm *dropBox)
{
    return dropBox->logoImage()->pixmap().toImage();
}

} // namespace

void DropBoxWindowTest::firstPlaceCoversNoneOfTheExplorer_data()
{
    QTest::addColumn<QRect>("available");
    QTest::newRow("1366x768") << QRect(0, 0, 1366, 768);
    QTest::newRow("1024x768") << QRect(0, 0, 1024, 768);
    QTest::newRow("1920x1080 below a panel") << QRect(0, 32, 1920, 1048);
    QTest::newRow("second screen, 2560x1440") << QRect(1920, 0, 2560, 1440);
}

void DropBoxWindowTest::firstPlaceCoversNoneOfTheExplorer()
{
    QFETCH(QRect, available);
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    const QScreen *screen = QGuiApplication::primaryScreen();
    QCOMPARE(program.dropBox()->pos(), TDropForm::firstPosition(screen->availableGeometry()));

    // The explorer opens over the whole available area, as maximised.
    TMainForm *explorer = program.explorer();
    explorer->setGeometry(available);
    QTest::qWait(50);
    const QRect box(TDropForm::firstPosition(available), QSize(48, 43));
    QVERIFY(available.contains(box));
    QList<QRect> controls;
    QMenuBar *bar = explorer->menuBar();
    for (QAction *menu : bar->actions())
        controls << bar->actionGeometry(menu).translated(bar->mapToGlobal(QPoint(0, 0)));
    for (QWidget *control : explorer->findChildren<QWidget *>()) {
        const bool shown = control->isVisible() && !control->size().isEmpty();
        if (shown && (qobject_cast<QToolButton *>(control) || qobject_cast<QLineEdit *>(control) ||
                      qobject_cast<QComboBox *>(control) || qobject_cast<QTreeWidget *>(control) ||
                      control->objectName() == QLatin1String("NoteContentLabel")))
            controls << onScreen(control);
    }
    QVERIFY(controls.size() > 15);
    for (const QRect &control : std::as_const(controls))
        QVERIFY2(!control.intersects(box), qPrintable(QStringLiteral("the box at %1,%2 covers a control at %3,%4 %5x%6")
                                                          .arg(box.x())
                                                          .arg(box.y())
                                                          .arg(control.x())
                                                          .arg(control.y())
                                                          .arg(control.width())
                                                          .arg(control.height())));
}

void DropBoxWindowTest::aMovedBoxKeepsItsPlace()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    TDropForm *dropBox = program.dropBox();
    dropBox->move(300, 200);
    dropBox->ViewHidedragdropbox1Click();
    dropBox->ViewHidedragdropbox1Click();
    QVERIFY(dropBox->isVisible());
    QCOMPARE(dropBox->pos(), QPoint(300, 200));
}

void DropBoxWindowTest::aDragItWouldTakeMarksIt()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    TDropForm *dropBox = program.dropBox();
    QStringList told;
    dropBox->showMessage = [&](const QString &message) { told << message; };
    const QImage plain = shownLogo(dropBox);
    QMimeData data;
    data.setText(QStringLiteral("a line of text"));

    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropBox, &enter);
    QVERIFY(enter.isAccepted());
    QVERIFY(dropBox->showsDropHighlight());
    const QImage marked = shownLogo(dropBox);
    QCOMPARE(marked.size(), plain.size());
    QVERIFY(marked != plain);
    QDragMoveEvent move(QPoint(24, 24), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropBox, &move);
    QVERIFY(dropBox->showsDropHighlight());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(dropBox, &leave);
    QVERIFY(!dropBox->showsDropHighlight());
    QCOMPARE(shownLogo(dropBox), plain);

    // Dropped, the mark goes at once, whatever the drop turns out to be.
    QCoreApplication::sendEvent(dropBox, &enter);
    QDropEvent dropped(QPointF(24, 24), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropBox, &dropped);
    QVERIFY(!dropBox->showsDropHighlight());
    QCOMPARE(shownLogo(dropBox), plain);
    QTRY_COMPARE(told.size(), 1);
}

void DropBoxWindowTest::aboutBoxShowsTheWholeLogo()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    program.aboutBox()->show();
    const QPixmap logo = program.aboutBox()->findChild<QLabel *>(QStringLiteral("Image1"))->pixmap();
    QCOMPARE(logo.deviceIndependentSize(), QSizeF(48, 48));
    // Its bottom edge too: below the blue box the picture is white again.
    const QImage picture = logo.toImage();
    QCOMPARE(QColor(picture.pixel(24, 46)), QColor(Qt::white));
    QVERIFY(qBlue(picture.pixel(24, 30)) > 120 && qRed(picture.pixel(24, 30)) < 80);
}

CLIPNEST_TEST_MAIN(DropBoxWindowTest)
#include "tst_dropboxwindow.moc"
