#include "encryptedtarget.h"
#include "foldertarget.h"
#include "syncformat.h"

#include <QDirIterator>
#include <QtTest>

Q_DECLARE_METATYPE(SyncFault)

namespace {

const KeyCost cheap{1, 8192};
const QString passphrase = QStringLiteral("correct horse");

QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

QByteArray contentOf(const QString &file)
{
    QFile item(file);
    return item.open(QIODevice::ReadOnly) ? item.readAll() : QByteArray();
}

void putContent(const QString &file, const QByteArray &bytes)
{
    QFile item(file);
    QVERIFY(item.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(item.write(bytes), bytes.size());
}

} // namespace

class TestSyncEncryption : public QObject
{
    Q_OBJECT

private slots:
    void nothingOfTheNotesIsReadable();
    void passphraseMismatchesAreRefused_data();
    void passphraseMismatchesAreRefused();
    void changedItemsAreRefused_data();
    void changedItemsAreRefused();
    void identityRaceAnswersTheFirst();
    void unreadableIdentityIsDamaged();
};

void TestSyncEncryption::nothingOfTheNotesIsReadable()
{
    QTemporaryDir dir;
    FolderTarget raw(dir.path());
    const TargetIdentity identity = SyncFormat::create(raw, passphrase, cheap);
    QVERIFY(identity.encrypted);
    const auto target = SyncFormat::unlock(raw, identity, passphrase);
    const QByteArray title = "Quarterly Zebra Report";
    const QByteArray word = "marmalade";
    const QByteArray note = R"({"kind":"note","title":")" + title + R"(","html":"<p>Buy )" + word + R"( today</p>"})";
    target->writeNew(QStringLiteral("revs/") + QString::fromLatin1(title), note);
    target->writeNew(QStringLiteral("blobs/") + QString::fromLatin1(word), note.repeated(5000));
    target->writeNew(QStringLiteral("journal/4f2a-0000000001"), R"([{"kind":"note","rev":")" + title + "\"}]");
    target->write(QStringLiteral("nodes/") + QString::fromLatin1(word), note);
    const QStringList files = filesUnder(dir.path());
    QCOMPARE(files.size(), 5);
    for (const QString &file : files) {
        for (const QByteArray &secret : {title, word, QByteArray("Zebra")}) {
            QVERIFY2(!file.toUtf8().contains(secret), qPrintable(file));
            QVERIFY2(!contentOf(file).contains(secret), qPrintable(file));
        }
    }
    QCOMPARE(target->read(QStringLiteral("revs/") + QString::fromLatin1(title)), note);
    QCOMPARE(target->list(QStringLiteral("revs")), QStringList{QString::fromLatin1(title)});
    QCOMPARE(target->list(QStringLiteral("journal")), QStringList{QStringLiteral("4f2a-0000000001")});
}

void TestSyncEncryption::passphraseMismatchesAreRefused_data()
{
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("given");
    QTest::addColumn<SyncFault>("fault");
    QTest::newRow("wrong passphrase") << passphrase << QStringLiteral("correct horse ") << SyncFault::Damaged;
    QTest::newRow("no passphrase for an encrypted target") << passphrase << QString() << SyncFault::Refused;
    QTest::newRow("a passphrase for a plain target") << QString() << passphrase << SyncFault::Other;
}

void TestSyncEncryption::passphraseMismatchesAreRefused()
{
    QFETCH(QString, created);
    QFETCH(QString, given);
    QFETCH(SyncFault, fault);
    QTemporaryDir dir;
    FolderTarget raw(dir.path());
    SyncFormat::create(raw, created, cheap);
    const std::optional<TargetIdentity> identity = SyncFormat::readIdentity(raw);
    QVERIFY(identity);
    try {
        SyncFormat::unlock(raw, *identity, given);
        QFAIL("a mismatched passphrase was accepted");
    } catch (const SyncTargetError &error) {
        QCOMPARE(error.fault(), fault);
        QVERIFY(error.message().contains(dir.path()) || error.message().contains(QLatin1String("passphrase")));
    }
    QVERIFY(SyncFormat::unlock(raw, *identity, created));
}

void TestSyncEncryption::changedItemsAreRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("a flipped byte in the header") << QStringLiteral("header");
    QTest::newRow("a flipped byte in the middle") << QStringLiteral("middle");
    QTest::newRow("cut short") << QStringLiteral("cut");
    QTest::newRow("cut after a whole chunk") << QStringLiteral("chunk");
    QTest::newRow("put in another item's place") << QStringLiteral("moved");
}

void TestSyncEncryption::changedItemsAreRefused()
{
    QFETCH(QString, change);
    QTemporaryDir dir;
    FolderTarget raw(dir.path());
    const auto target = SyncFormat::unlock(raw, SyncFormat::create(raw, passphrase, cheap), passphrase);
    const QByteArray bytes = QByteArray("attachment ").repeated(20000);
    target->write(QStringLiteral("blobs/first"), bytes);
    target->write(QStringLiteral("blobs/second"), "other");
    const QStringList stored = raw.list(QStringLiteral("blobs"));
    QCOMPARE(stored.size(), 2);
    QString first, second;
    for (const QString &name : stored)
        (contentOf(dir.filePath(QStringLiteral("blobs/") + name)).size() > 1000 ? first : second) = name;
    const QString file = dir.filePath(QStringLiteral("blobs/") + first);
    QByteArray sealed = contentOf(file);
    if (change == QLatin1String("header"))
        sealed[10] = char(sealed[10] ^ 1);
    else if (change == QLatin1String("middle"))
        sealed[sealed.size() / 2] = char(sealed[sealed.size() / 2] ^ 0x40);
    else if (change == QLatin1String("cut"))
        sealed.chop(10);
    else if (change == QLatin1String("chunk"))
        sealed.truncate(4 + 24 + 64 * 1024 + 17);
    else
        sealed = contentOf(dir.filePath(QStringLiteral("blobs/") + second));
    putContent(file, sealed);
    try {
        target->read(QStringLiteral("blobs/first"));
        QFAIL("a changed item was read");
    } catch (const SyncTargetError &error) {
        QCOMPARE(error.fault(), SyncFault::Damaged);
    }
    QCOMPARE(target->read(QStringLiteral("blobs/second")), QByteArray("other"));
}

void TestSyncEncryption::identityRaceAnswersTheFirst()
{
    QTemporaryDir dir;
    FolderTarget raw(dir.path());
    const TargetIdentity first = SyncFormat::create(raw, passphrase, cheap);
    const TargetIdentity second = SyncFormat::create(raw, QStringLiteral("another"), cheap);
    QCOMPARE(second.targetId, first.targetId);
    QCOMPARE(SyncFormat::readIdentity(raw)->targetId, first.targetId);
    QVERIFY(SyncFormat::unlock(raw, second, passphrase));
}

void TestSyncEncryption::unreadableIdentityIsDamaged()
{
    QTemporaryDir dir;
    FolderTarget raw(dir.path());
    QCOMPARE(SyncFormat::readIdentity(raw).has_value(), false);
    raw.write(SyncFormat::identityName, R"({"format":1,"encryption":null})");
    try {
        SyncFormat::readIdentity(raw);
        QFAIL("an identity without a target id was read");
    } catch (const SyncTargetError &error) {
        QCOMPARE(error.fault(), SyncFault::Damaged);
    }
}

QTEST_GUILESS_MAIN(TestSyncEncryption)
#include "tst_syncencryption.moc"
