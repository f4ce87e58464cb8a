#include "noterelativiser.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class NoteRelativiserTest : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void fileRewrittenInPlace();
};

void NoteRelativiserTest::text_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("relative");

    const QByteArray folder = "/home/u/Clipnest/data/01-31-2011/";
    QTest::newRow("picture") << folder
                             << QByteArray("<img src=\"file:///home/u/Clipnest/data/01-31-2011/images/a.png\">")
                             << QByteArray("<img src=\"./images/a.png\">");
    QTest::newRow("letter case ignored") << folder
                                         << QByteArray(
                                                "<IMG SRC=\"FILE:///HOME/U/clipnest/DATA/01-31-2011/images/a.png\">")
                                         << QByteArray("<IMG SRC=\"./images/a.png\">");
    QTest::newRow("other folder kept") << folder << QByteArray("file:///home/u/Clipnest/data/02-01-2011/images/a.png")
                                       << QByteArray("file:///home/u/Clipnest/data/02-01-2011/images/a.png");
    QTest::newRow("escaped folder") << QByteArray("/home/u/My Notes/\xE7\xAC\x94/")
                                    << QByteArray("src=\"file:///home/u/My%20Notes/%E7%AC%94/images/a.png\"")
                                    << QByteArray("src=\"./images/a.png\"");
}

void NoteRelativiserTest::text()
{
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, relative);
    QCOMPARE(QByteArray::fromStdString(RelativiseNoteText(text.toStdString(), folder.toStdString())), relative);
}

void NoteRelativiserTest::fileRewrittenInPlace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/013120111430590123.html");
    const QByteArray address = "file://" + QFile::encodeName(dir.path()) + "/images/a.png";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<img src=\"" + address + "\">" + QByteArray("\0trailing", 9));
    }
    QVERIFY(RelativiseNoteFile(QFile::encodeName(path).toStdString()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("<img src=\"./images/a.png\">"));
}

QTEST_GUILESS_MAIN(NoteRelativiserTest)
#include "tst_noterelativiser.moc"
