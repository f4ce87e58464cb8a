#include "profilefile.h"
#include "rememberedfolder.h"
#include "settings.h"
#include "smalldisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultFileIsWrittenByteForByte();
    void existingFileIsNeverReplaced();
    void datapathIsCorrected_data();
    void datapathIsCorrected();
    void defaultClick_data();
    void defaultClick();
    void missingFileGivesDefaultsAndWritesNothing();
    void doubleClickActionIsWrittenInPlace();
    void profileNamesIgnoreCase();
    void profileAddsMissingKeysAndSections();
    void valuesLoseBlanksAndOnePairOfQuotes_data();
    void valuesLoseBlanksAndOnePairOfQuotes();
    void writtenValuesReadBackAsThemselves_data();
    void writtenValuesReadBackAsThemselves();
    void rewriteChangesOnlyItsLineByteForByte_data();
    void rewriteChangesOnlyItsLineByteForByte();
    void fullDiskKeepsTheFileAndSaysWhere();
    void dialogFoldersAreRememberedPerCommand_data();
    void dialogFoldersAreRememberedPerCommand();
};

void SettingsTest::defaultFileIsWrittenByteForByte()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    Settings settings(folder);
    settings.writeDefaultSettings();
    const QByteArray expected = "[Tavlo]\r\nlang=en.ini\r\ndefaultClick=1\r\ndatapath=" + folder.toUtf8() + "data/\r\n";
    QCOMPARE(readAll(folder + QStringLiteral("tavlo.ini")), expected);

    const LoadedSettings loaded = settings.loadSettings();
    QCOMPARE(loaded.defaultClick, 1);
    QCOMPARE(loaded.languageFileName, QStringLiteral("en.ini"));
    QCOMPARE(loaded.dataFolder, folder + QStringLiteral("data/"));
    // Loading a correct file leaves it untouched.
    QCOMPARE(readAll(folder + QStringLiteral("tavlo.ini")), expected);
}

void SettingsTest::existingFileIsNeverReplaced()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    writeAll(folder + QStringLiteral("tavlo.ini"), "[Tavlo]\nlang=cn.ini\n");
    Settings(folder).writeDefaultSettings();
    QCOMPARE(readAll(folder + QStringLiteral("tavlo.ini")), QByteArray("[Tavlo]\nlang=cn.ini\n"));
}

void SettingsTest::datapathIsCorrected_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("folder moved") << QStringLiteral("/home/someone/OldClipnest/data/");
    QTest::newRow("edited by hand") << QStringLiteral("/mnt/elsewhere/");
    QTest::newRow("differs in case only") << QStringLiteral("UPPER");
    QTest::newRow("missing trailing separator") << QStringLiteral("NOSLASH");
}

void SettingsTest::datapathIsCorrected()
{
    QFETCH(QString, stored);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Clipnest/");
    QDir().mkpath(folder);
    const QString expected = folder + QStringLiteral("data/");
    if (stored == QLatin1String("UPPER"))
        stored = expected.toUpper();
    else if (stored == QLatin1String("NOSLASH"))
        stored = folder + QStringLiteral("data");
    writeAll(folder + QStringLiteral("tavlo.ini"),
             "[Tavlo]\r\nlang=cn.ini\r\ndefaultClick=2\r\ndatapath=" + stored.toUtf8() + "\r\n");

    const LoadedSettings loaded = Settings(folder).loadSettings();
    QCOMPARE(loaded.dataFolder, expected);
    QCOMPARE(readAll(folder + QStringLiteral("tavlo.ini")),
             "[Tavlo]\r\nlang=cn.ini\r\ndefaultClick=2\r\ndatapath=" + expected.toUtf8() + "\r\n");
}

void SettingsTest::defaultClick_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("expected");
    QTest::newRow("2") << QByteArray("defaultClick=2\r\n") << 2;
    QTest::newRow("0") << QByteArray("defaultClick=0\r\n") << 0;
    QTest::newRow("7") << QByteArray("defaultClick=7\r\n") << 7;
    QTest::newRow("abc") << QByteArray("defaultClick=abc\r\n") << 1;
    QTest::newRow("missing") << QByteArray() << 1;
}

void SettingsTest::defaultClick()
{
    QFETCH(QByteArray, line);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    writeAll(folder + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=en.ini\r\n" + line);
    QCOMPARE(Settings(folder).loadSettings().defaultClick, expected);
}

void SettingsTest::missingFileGivesDefaultsAndWritesNothing()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    const LoadedSettings loaded = Settings(folder).loadSettings();
    QCOMPARE(loaded.defaultClick, 1);
    QCOMPARE(loaded.languageFileName, QStringLiteral("en.ini"));
    QVERIFY(!QFile::exists(folder + QStringLiteral("tavlo.ini")));
}

void SettingsTest::doubleClickActionIsWrittenInPlace()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    Settings settings(folder);
    settings.writeDefaultSettings();
    settings.saveDoubleClickAction(Settings::ShowExplorerClick);
    QCOMPARE(readAll(folder + QStringLiteral("tavlo.ini")),
             "[Tavlo]\r\nlang=en.ini\r\ndefaultClick=2\r\ndatapath=" + folder.toUtf8() + "data/\r\n");
    QCOMPARE(settings.loadSettings().defaultClick, 2);
    settings.saveLanguageFileName(QStringLiteral("cn.ini"));
    QCOMPARE(settings.loadSettings().languageFileName, QStringLiteral("cn.ini"));
}

void SettingsTest::profileNamesIgnoreCase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    writeAll(path, "; comment\n[tavlo]\n  DEFAULTCLICK = 2 \n[Other]\ndefaultClick=5\n");
    ProfileFile file(path);
    QCOMPARE(file.readInteger(QStringLiteral("Tavlo"), QStringLiteral("defaultClick"), 1), 2);
    QCOMPARE(file.readInteger(QStringLiteral("OTHER"), QStringLiteral("defaultclick"), 1), 5);
    QVERIFY(file.writeString(QStringLiteral("TAVLO"), QStringLiteral("defaultClick"), QStringLiteral("1")));
    // Written in place, in the first section only, with the file's own line ends.
    QCOMPARE(readAll(path), QByteArray("; comment\n[tavlo]\ndefaultClick=1\n[Other]\ndefaultClick=5\n"));
}

void SettingsTest::profileAddsMissingKeysAndSections()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.ini"));
    writeAll(path, "[Tavlo]\r\nlang=en.ini\r\n\r\n[Next]\r\nx=1\r\n");
    ProfileFile file(path);
    QVERIFY(file.writeString(QStringLiteral("Tavlo"), QStringLiteral("datapath"), QStringLiteral("/d/")));
    QVERIFY(file.writeString(QStringLiteral("New"), QStringLiteral("k"), QStringLiteral("中文")));
    QCOMPARE(
        readAll(path),
        QStringLiteral("[Tavlo]\r\nlang=en.ini\r\ndatapath=/d/\r\n\r\n[Next]\r\nx=1\r\n[New]\r\nk=中文\r\n").toUtf8());
    QCOMPARE(file.readString(QStringLiteral("new"), QStringLiteral("K"), QString()), QStringLiteral("中文"));

    // A byte-order mark in front of the first section does not hide it.
    writeAll(path, "\xEF\xBB\xBF[DropForm]\r\nExit1=Quit\r\n");
    QCOMPARE(file.readString(QStringLiteral("DropForm"), QStringLiteral("Exit1"), QString()), QStringLiteral("Quit"));
}

void SettingsTest::valuesLoseBlanksAndOnePairOfQuotes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("k=plain") << QStringLiteral("plain");
    QTest::newRow("blanks around") << QByteArray("k=  spaced out \t") << QStringLiteral("spaced out");
    QTest::newRow("quoted edge space") << QByteArray("k=\"Now start to download new version: \"")
                                       << QStringLiteral("Now start to download new version: ");
    QTest::newRow("quotes inside blanks") << QByteArray("k=  \" both \"  ") << QStringLiteral(" both ");
    QTest::newRow("single quotes") << QByteArray("k='single '") << QStringLiteral("single ");
    QTest::newRow("only one pair") << QByteArray("k=\"\"twice\"\"") << QStringLiteral("\"twice\"");
    QTest::newRow("empty quotes") << QByteArray("k=\"\"") << QString();
    QTest::newRow("opening quote only") << QByteArray("k=\"open") << QStringLiteral("\"open");
    QTest::newRow("closing quote only") << QByteArray("k=the child of \"") << QStringLiteral("the child of \"");
    QTest::newRow("mixed quotes") << QByteArray("k='mixed\"") << QStringLiteral("'mixed\"");
    QTest::newRow("lone quote") << QByteArray("k=\"") << QStringLiteral("\"");
    QTest::newRow("quotes in the middle") << QByteArray("k=visit \"x\" now") << QStringLiteral("visit \"x\" now");
    QTest::newRow("equals sign in the value") << QByteArray("k=a=b") << QStringLiteral("a=b");
}

void SettingsTest::valuesLoseBlanksAndOnePairOfQuotes()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("v.ini"));
    writeAll(path, "[S]\r\n" + line + "\r\n");
    QCOMPARE(ProfileFile(path).readString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("default")),
             expected);
    QCOMPARE(ProfileContents::read(path).readString(QStringLiteral("s"), QStringLiteral("K"), QString()), expected);
}

void SettingsTest::writtenValuesReadBackAsThemselves_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("plain") << QStringLiteral("cn.ini") << QByteArray("k=cn.ini");
    QTest::newRow("trailing space") << QStringLiteral("version: ") << QByteArray("k=\"version: \"");
    QTest::newRow("leading space") << QStringLiteral(" x") << QByteArray("k=\" x\"");
    QTest::newRow("enclosed in quotes") << QStringLiteral("\"q\"") << QByteArray("k=\"\"q\"\"");
    QTest::newRow("enclosed in single quotes") << QStringLiteral("'q'") << QByteArray("k=\"'q'\"");
    QTest::newRow("quote at one end") << QStringLiteral("of \"") << QByteArray("k=of \"");
    QTest::newRow("empty") << QString() << QByteArray("k=");
}

void SettingsTest::writtenValuesReadBackAsThemselves()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.ini"));
    writeAll(path, "[S]\r\nk=old\r\n");
    ProfileFile file(path);
    QVERIFY(file.writeString(QStringLiteral("S"), QStringLiteral("k"), value));
    QCOMPARE(readAll(path), "[S]\r\n" + line + "\r\n");
    QCOMPARE(file.readString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("default")), value);

    // A line break cannot be kept in a line: the file stays as it was.
    QVERIFY(!file.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("two\nlines")));
    QCOMPARE(readAll(path), "[S]\r\n" + line + "\r\n");
}

void SettingsTest::rewriteChangesOnlyItsLineByteForByte_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    // Latin-1 and broken UTF-8 on other lines, mixed line breaks, a byte-order
    // mark, odd spacing and no break after the last line.
    const QByteArray other = "; Notizen f\xfcr \xe9t\xe9\r\n";
    QTest::newRow("datapath corrected in place, choice added")
        << QByteArray("\xEF\xBB\xBF" + other + "[Tavlo]\r\nlang = cn.ini \nname=\xc3\x28\r\ndatapath=OLD\r\nx=\xe4")
        << QByteArray("\xEF\xBB\xBF" + other +
                      "[Tavlo]\r\nlang = cn.ini \nname=\xc3\x28\r\ndatapath=DATA\r\nx=\xe4"
                      "\r\ndefaultClick=2\r\n");
    QTest::newRow("choice added after the last line")
        << QByteArray(other + "[Tavlo]\nname=\xff\xfe\ndatapath=DATA")
        << QByteArray(other + "[Tavlo]\nname=\xff\xfe\ndatapath=DATA\r\ndefaultClick=2\r\n");
    QTest::newRow("choice added before the next section")
        << QByteArray("[Tavlo]\nlang=en.ini\ndatapath=DATA\n\n[Other\xe4]\nx=\xe4\n")
        << QByteArray("[Tavlo]\nlang=en.ini\ndatapath=DATA\ndefaultClick=2\n\n[Other\xe4]\nx=\xe4\n");
    QTest::newRow("choice changed in place") << QByteArray("[Tavlo]\ndatapath=DATA\n DefaultClick = 1 ; \xe4\n")
                                             << QByteArray("[Tavlo]\ndatapath=DATA\ndefaultClick=2\n");
}

void SettingsTest::rewriteChangesOnlyItsLineByteForByte()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    const QString path = folder + QStringLiteral("tavlo.ini");
    const QByteArray data = (folder + QStringLiteral("data/")).toUtf8();
    writeAll(path, QByteArray(before).replace("DATA", data));

    // The start-up correction of datapath, then the double-click choice.
    Settings settings(folder);
    settings.loadSettings();
    settings.saveDoubleClickAction(Settings::ShowExplorerClick);
    QCOMPARE(readAll(path), QByteArray(after).replace("DATA", data));
}

void SettingsTest::fullDiskKeepsTheFileAndSaysWhere()
{
    SmallDisk disk(32);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    const QString folder = disk.path() + QStringLiteral("program/");
    QVERIFY(QDir().mkpath(folder));
    Settings settings(folder);
    QVERIFY(settings.writeDefaultSettings());
    const QByteArray whole = readAll(settings.filePath());

    // Fill the disk up to the last byte.
    QFile filler(disk.path() + QStringLiteral("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    QString error;
    Settings other(disk.path());
    QVERIFY(!other.writeDefaultSettings(&error));
    QVERIFY2(error.contains(other.filePath()), qPrintable(error));
    QVERIFY(!QFile::exists(other.filePath()));

    try {
        settings.saveDoubleClickAction(Settings::ShowExplorerClick);
        QFAIL("a settings write on a full disk reported success");
    } catch (const std::runtime_error &failure) {
        const QString text = QString::fromUtf8(failure.what());
        QVERIFY2(text.contains(settings.filePath()) && text.contains(QLatin1String("space"), Qt::CaseInsensitive),
                 failure.what());
    }
    QCOMPARE(readAll(settings.filePath()), whole);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, settings.saveLanguageFileName(QStringLiteral("cn.ini")));
    QCOMPARE(readAll(settings.filePath()), whole);

    // A datapath to correct at start-up: the failure is told, the file kept.
    QVERIFY(QFile::remove(disk.path() + QStringLiteral("filler")));
    writeAll(settings.filePath(), "[Tavlo]\r\ndatapath=/elsewhere/data/\r\n");
    const QByteArray stale = readAll(settings.filePath());
    QFile again(disk.path() + QStringLiteral("filler"));
    QVERIFY(again.open(QIODevice::WriteOnly));
    while (again.write(block) == block.size() && again.flush()) {
    }
    again.close();
    const LoadedSettings loaded = settings.loadSettings();
    QCOMPARE(loaded.dataFolder, folder + QStringLiteral("data/"));
    QVERIFY2(loaded.writeError.contains(settings.filePath()), qPrintable(loaded.writeError));
    QCOMPARE(readAll(settings.filePath()), stale);
}

void SettingsTest::dialogFoldersAreRememberedPerCommand_data()
{
    // Folders below a temporary folder: the chosen one, and whether it is still there.
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("isFile");
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a folder") << "notes/out" << false << ""
                              << "notes/out";
    QTest::newRow("a file's folder") << "notes/backup.tar.gz" << true << ""
                                     << "notes";
    QTest::newRow("gone since") << "notes/out/deeper" << false << "notes/out"
                                << "notes";
    QTest::newRow("with blanks and letters beyond ASCII") << " Notizen/für später " << false << ""
                                                          << " Notizen/für später ";
}

void SettingsTest::dialogFoldersAreRememberedPerCommand()
{
    QFETCH(QString, chosen);
    QFETCH(bool, isFile);
    QFETCH(QString, removed);
    QFETCH(QString, expected);
    QTemporaryDir program;
    QTemporaryDir place;
    const QString folder = program.path() + QStringLiteral("/");
    Settings(folder).writeDefaultSettings();
    const QString path = place.filePath(chosen);
    QVERIFY(QDir().mkpath(isFile ? QFileInfo(path).absolutePath() : path));

    const RememberedFolder backup(folder, QStringLiteral("backup"));
    const QString first = backup.folder();
    QVERIFY(QFileInfo(first).isDir());
    if (isFile)
        backup.rememberFileIn(path);
    else
        backup.rememberFolder(path);
    if (!removed.isEmpty())
        QVERIFY(QDir(place.filePath(removed)).removeRecursively());
    QCOMPARE(RememberedFolder(folder, QStringLiteral("backup")).folder(), place.filePath(expected));
    // Another command keeps a folder of its own.
    QCOMPARE(RememberedFolder(folder, QStringLiteral("restore")).folder(), first);
    QVERIFY(readAll(folder + QStringLiteral("tavlo.ini")).contains("backupFolder="));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
