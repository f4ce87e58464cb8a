#include "notefilestore.h"
#include "pendingwork.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

QDateTime At(int year, int month, int day, int hour, int minute, int second, int msec)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec));
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class NoteFileStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void firstCallMakesTheDayFolder();
    void lostAttachesFolderComesBack();
    void templateCopyNeverOverwritten();
    void takenNameGetsMoreDigits();
    void midnightGivesTwoFolders();
    void missingDataFolderIsNotMade();
    void missingTemplateLeavesNoCopy();
    void pendingRecordOnAFullDiskIsRefusedWhole();
};

void NoteFileStoreTest::names_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("dayFolderName");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("month first") << At(2011, 3, 12, 9, 5, 7, 3) << QStringLiteral("03-12-2011")
                                 << QStringLiteral("031220110905070003.html");
    QTest::newRow("day above twelve") << At(2011, 1, 23, 14, 30, 59, 123) << QStringLiteral("01-23-2011")
                                      << QStringLiteral("012320111430590123.html");
    QTest::newRow("last moment of a year") << At(2024, 12, 31, 23, 59, 59, 999) << QStringLiteral("12-31-2024")
                                           << QStringLiteral("123120242359590999.html");
    QTest::newRow("first moment of a day")
        << At(2025, 1, 1, 0, 0, 0, 0) << QStringLiteral("01-01-2025") << QStringLiteral("010120250000000000.html");
}

void NoteFileStoreTest::names()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, dayFolderName);
    QFETCH(QString, fileName);
    TestProgramFolder folder;
    const NoteLocation location = NewNoteLocation(folder.dataFolder(), time);
    QCOMPARE(location.dayFolder, folder.dataFolder() + dayFolderName);
    QCOMPARE(location.fileName, fileName);
}

void NoteFileStoreTest::firstCallMakesTheDayFolder()
{
    TestProgramFolder folder;
    const NoteLocation location = NewNoteLocation(folder.dataFolder());
    QVERIFY(QFileInfo(location.dayFolder + QStringLiteral("/images")).isDir());
    QVERIFY(QFileInfo(location.dayFolder + QStringLiteral("/attaches")).isDir());
    QCOMPARE(ReadFile(location.dayFolder + QStringLiteral("/template.html")),
             ReadFile(folder.dataFolder() + QStringLiteral("template.html")));
    QVERIFY(!QFile::exists(location.dayFolder + QLatin1Char('/') + location.fileName));
    static const QRegularExpression name(QStringLiteral("^\\d{18}\\.html$"));
    QVERIFY2(name.match(location.fileName).hasMatch(), qPrintable(location.fileName));
}

void NoteFileStoreTest::lostAttachesFolderComesBack()
{
    TestProgramFolder folder;
    const QDateTime time = At(2011, 1, 23, 10, 0, 0, 0);
    const NoteLocation first = NewNoteLocation(folder.dataFolder(), time);
    QVERIFY(QDir(first.dayFolder + QStringLiteral("/attaches")).removeRecursively());
    QVERIFY(QDir(first.dayFolder + QStringLiteral("/images")).removeRecursively());
    NewNoteLocation(folder.dataFolder(), time.addSecs(60));
    QVERIFY(QFileInfo(first.dayFolder + QStringLiteral("/attaches")).isDir());
    QVERIFY(QFileInfo(first.dayFolder + QStringLiteral("/images")).isDir());
}

void NoteFileStoreTest::templateCopyNeverOverwritten()
{
    TestProgramFolder folder;
    const QDateTime time = At(2011, 1, 23, 10, 0, 0, 0);
    const NoteLocation first = NewNoteLocation(folder.dataFolder(), time);
    const QString copy = first.dayFolder + QStringLiteral("/template.html");
    QVERIFY(WriteFile(copy, "<html><body>edited copy</body></html>"));
    QVERIFY(WriteFile(folder.dataFolder() + QStringLiteral("template.html"), "<html><body>new</body></html>"));

    NewNoteLocation(folder.dataFolder(), time.addSecs(1));
    QCOMPARE(ReadFile(copy), QByteArray("<html><body>edited copy</body></html>"));
    // Only folders made afterwards start from the edited template.
    const NoteLocation nextDay = NewNoteLocation(folder.dataFolder(), time.addDays(1));
    QCOMPARE(ReadFile(nextDay.dayFolder + QStringLiteral("/template.html")),
             QByteArray("<html><body>new</body></html>"));
}

void NoteFileStoreTest::takenNameGetsMoreDigits()
{
    TestProgramFolder folder;
    const QDateTime time = At(2011, 1, 23, 14, 30, 59, 123);
    const NoteLocation first = NewNoteLocation(folder.dataFolder(), time);
    QVERIFY(WriteFile(first.dayFolder + QLatin1Char('/') + first.fileName, "note"));

    const NoteLocation second = NewNoteLocation(folder.dataFolder(), time);
    static const QRegularExpression oneToThreeMore(QStringLiteral("^012320111430590123\\d{1,3}\\.html$"));
    QVERIFY2(oneToThreeMore.match(second.fileName).hasMatch(), qPrintable(second.fileName));
    QVERIFY(WriteFile(second.dayFolder + QLatin1Char('/') + second.fileName, "note"));

    const NoteLocation third = NewNoteLocation(folder.dataFolder(), time);
    QVERIFY(third.fileName != first.fileName && third.fileName != second.fileName);
    QVERIFY(!QFile::exists(third.dayFolder + QLatin1Char('/') + third.fileName));
    static const QRegularExpression moreDigits(QStringLiteral("^012320111430590123\\d{1,}\\.html$"));
    QVERIFY2(moreDigits.match(third.fileName).hasMatch(), qPrintable(third.fileName));
}

void NoteFileStoreTest::midnightGivesTwoFolders()
{
    TestProgramFolder folder;
    const NoteLocation before = NewNoteLocation(folder.dataFolder(), At(2011, 2, 28, 23, 59, 59, 999));
    const NoteLocation after = NewNoteLocation(folder.dataFolder(), At(2011, 3, 1, 0, 0, 0, 0));
    QCOMPARE(before.dayFolder, folder.dataFolder() + QStringLiteral("02-28-2011"));
    QCOMPARE(after.dayFolder, folder.dataFolder() + QStringLiteral("03-01-2011"));
    QVERIFY(QFileInfo(before.dayFolder + QStringLiteral("/images")).isDir());
    QVERIFY(QFileInfo(after.dayFolder + QStringLiteral("/images")).isDir());
}

void NoteFileStoreTest::missingDataFolderIsNotMade()
{
    TestProgramFolder folder;
    const QString dataFolder = folder.path() + QStringLiteral("nodata/");
    const NoteLocation location = NewNoteLocation(dataFolder, At(2011, 1, 23, 1, 2, 3, 4));
    QCOMPARE(location.dayFolder, dataFolder + QStringLiteral("01-23-2011"));
    QCOMPARE(location.fileName, QStringLiteral("012320110102030004.html"));
    QVERIFY(!QFileInfo::exists(dataFolder));
}

void NoteFileStoreTest::missingTemplateLeavesNoCopy()
{
    TestProgramFolder folder;
    QVERIFY(QFile::remove(folder.dataFolder() + QStringLiteral("template.html")));
    const NoteLocation location = NewNoteLocation(folder.dataFolder());
    QVERIFY(QFileInfo(location.dayFolder + QStringLiteral("/attaches")).isDir());
    QVERIFY(!QFile::exists(location.dayFolder + QStringLiteral("/template.html")));
    QVERIFY2(location.problem.contains(location.dayFolder + QStringLiteral("/template.html")),
             qPrintable(location.problem));
}

void NoteFileStoreTest::pendingRecordOnAFullDiskIsRefusedWhole()
{
    SmallDisk disk(16);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    QFile filler(disk.path() + QStringLiteral("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(512, 'f')) == 512 && filler.flush()) {
    }
    filler.resize(filler.size() - 256);
    filler.close();
    PendingWork work(disk.path() + QStringLiteral("pending/"));
    PendingEntry entry;
    entry.files = QStringList(40, QStringLiteral("12-01-2026/attaches/a file with a long name.pdf"));
    try {
        work.record(entry);
        QFAIL("a record that does not fit was called written");
    } catch (const std::runtime_error &) {
    }
    // No empty record is left for the next start to act on.
    QCOMPARE(PendingWork::entriesIn(disk.path() + QStringLiteral("pending/")), QStringList());
}

QTEST_GUILESS_MAIN(NoteFileStoreTest)
#include "tst_notefilestore.moc"
