#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// clipnest-capture, run as a developer runs it.
class CaptureToolTest : public QObject
{
    Q_OBJECT

private slots:
    void badArgumentsShowUsage_data();
    void badArgumentsShowUsage();
    void clipParsedIntoTheProgramFolder();
};

void CaptureToolTest::badArgumentsShowUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList();
    QTest::newRow("two") << QStringList{QStringLiteral("clip"), QStringLiteral("folder")};
}

void CaptureToolTest::badArgumentsShowUsage()
{
    QFETCH(QStringList, arguments);
    QProcess tool;
    tool.start(QStringLiteral(CLIPNEST_CAPTURE_TOOL), arguments);
    QVERIFY(tool.waitForFinished());
    QVERIFY(tool.exitCode() != 0);
    QVERIFY(tool.readAllStandardError().contains("usage: clipnest-capture"));
}

void CaptureToolTest::clipParsedIntoTheProgramFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkpath(QStringLiteral("program/data")));
    const QString clipPath = dir.path() + QStringLiteral("/clip.html");
    const QString bodyPath = dir.path() + QStringLiteral("/body.html");
    {
        QFile clip(clipPath);
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.write("Version:0.9\r\nSourceURL:http://127.0.0.1:9/a/b.html\r\n<html><title>T\xC2\xA0\xE4\xB8\xAD</title>"
                   "<body><a href=\"c.html\">c</a></body></html>");
    }

    QProcess tool;
    tool.start(QStringLiteral(CLIPNEST_CAPTURE_TOOL), {clipPath, dir.path() + QStringLiteral("/program"), bodyPath});
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(tool.readAllStandardOutput(), QByteArray("http://127.0.0.1:9/a/b.html\nT \xE4\xB8\xAD\n"));
    QFile body(bodyPath);
    QVERIFY(body.open(QIODevice::ReadOnly));
    QCOMPARE(body.readAll(), QByteArray("<body><a href=\"http://127.0.0.1:9/a/c.html\">c</a></body>"));
    const QString dayFolder =
        dir.path() + QStringLiteral("/program/data/") + QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy"));
    QVERIFY(QFileInfo(dayFolder + QStringLiteral("/images")).isDir());
}

QTEST_GUILESS_MAIN(CaptureToolTest)
#include "tst_capturetool.moc"
