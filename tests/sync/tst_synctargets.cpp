#include "davfixture.h"
#include "foldertarget.h"
#include "syncformat.h"
#include "webdavtarget.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <future>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(SyncFault)

namespace {

enum class Kind { Folder, WebDav, WebDavDigest, WebDavFaults, EncryptedFolder };

const QList<FaultProxy::Fault> everyFault{FaultProxy::Fault::DropRequest, FaultProxy::Fault::DropAnswer,
                                          FaultProxy::Fault::Answer503,   FaultProxy::Fault::Answer423,
                                          FaultProxy::Fault::Answer507,   FaultProxy::Fault::Slow};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestSyncTargets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writeReadReplace_data() { targetRows(); }
    void writeReadReplace();
    void writeNewRace_data() { targetRows(); }
    void writeNewRace();
    void listLeavesOutTemporariesAndFolders_data() { targetRows(); }
    void listLeavesOutTemporariesAndFolders();
    void removeAndMissingItems_data() { targetRows(); }
    void removeAndMissingItems();
    void wrongPasswordIsRefusedAtOnce();
    void faultsAreRetriedWithoutLoss();
    void lastingFaultsAreReported_data();
    void lastingFaultsAreReported();
    void selfSignedCertificateNeedsItsPin();
    void addressChoosesTheTarget();

private:
    void targetRows();
    std::unique_ptr<SyncTarget> makeTarget(Kind kind, const QString &folder);
    QString freshFolder() { return QStringLiteral("t%1").arg(++m_folders); }

    QTemporaryDir m_dir;
    std::unique_ptr<DavFixture> m_dav;
    DavServer *m_server = nullptr;
    std::unique_ptr<DavServer> m_digestServer;
    FaultProxy *m_proxy = nullptr;
    std::vector<std::unique_ptr<SyncTarget>> m_rawTargets;
    int m_folders = 0;
};

void TestSyncTargets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_dav = std::make_unique<DavFixture>();
    QVERIFY2(m_dav->isReady(), qPrintable(m_dav->error()));
    m_server = &m_dav->server();
    m_proxy = &m_dav->proxy();
    m_digestServer = std::make_unique<DavServer>(DavServer::Authentication::Digest);
    QVERIFY2(m_digestServer->isRunning(), qPrintable(m_digestServer->error()));
    m_proxy->setFaults(0.2, everyFault, 20261211);
}

void TestSyncTargets::targetRows()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("folder") << Kind::Folder;
    QTest::newRow("webdav") << Kind::WebDav;
    QTest::newRow("webdav digest") << Kind::WebDavDigest;
    QTest::newRow("webdav with faults") << Kind::WebDavFaults;
    QTest::newRow("encrypted folder") << Kind::EncryptedFolder;
}

std::unique_ptr<SyncTarget> TestSyncTargets::makeTarget(Kind kind, const QString &folder)
{
    switch (kind) {
    case Kind::Folder:
        return std::make_unique<FolderTarget>(m_dir.filePath(folder));
    case Kind::WebDav:
        return m_dav->target(folder);
    case Kind::WebDavDigest:
        return std::make_unique<WebDavTarget>(m_digestServer->address(folder), DavFixture::quickOptions());
    case Kind::WebDavFaults:
        return m_dav->target(folder, DavFixture::ThroughProxy);
    case Kind::EncryptedFolder: {
        SyncTarget &raw = *m_rawTargets.emplace_back(std::make_unique<FolderTarget>(m_dir.filePath(folder)));
        const TargetIdentity identity = SyncFormat::create(raw, QStringLiteral("passphrase"), KeyCost{1, 8192});
        return SyncFormat::unlock(raw, identity, QStringLiteral("passphrase"));
    }
    }
    return {};
}

void TestSyncTargets::writeReadReplace()
{
    QFETCH(Kind, kind);
    const auto target = makeTarget(kind, freshFolder());
    const QByteArray attachment = randomBytes(3 * 1024 * 1024 + 17);
    target->write(QStringLiteral("blobs/ab/cd/attachment"), attachment);
    target->write(QStringLiteral("revs/note 1 \u4e2d%#?"), "first");
    QCOMPARE(target->read(QStringLiteral("blobs/ab/cd/attachment")), attachment);
    QCOMPARE(target->read(QStringLiteral("revs/note 1 \u4e2d%#?")), QByteArray("first"));
    target->write(QStringLiteral("revs/note 1 \u4e2d%#?"), "second");
    QCOMPARE(target->read(QStringLiteral("revs/note 1 \u4e2d%#?")), QByteArray("second"));
    QCOMPARE(target->list(QStringLiteral("revs")), QStringList{QStringLiteral("note 1 \u4e2d%#?")});
}

void TestSyncTargets::writeNewRace()
{
    QFETCH(Kind, kind);
    const QString folder = freshFolder();
    const auto first = makeTarget(kind, folder);
    const auto second = makeTarget(kind, folder);
    const int names = 6;
    std::vector<char> firstWon(names), secondWon(names);
    const auto race = [names](SyncTarget &target, std::vector<char> &won, const QByteArray &bytes) {
        for (int i = 0; i < names; ++i)
            won[size_t(i)] = target.writeNew(QStringLiteral("journal/entry-%1").arg(i), bytes);
    };
    auto firstWriter = std::async(std::launch::async, race, std::ref(*first), std::ref(firstWon), QByteArray("first"));
    auto secondWriter =
        std::async(std::launch::async, race, std::ref(*second), std::ref(secondWon), QByteArray("second"));
    try {
        firstWriter.get();
        secondWriter.get();
    } catch (const SyncTargetError &error) {
        QFAIL(error.what());
    }
    // Apache checks that a MOVE's destination is free and renames in two
    // steps; a writer that read its item back in between also wins. What
    // holds everywhere: someone wins, the item is a winner's, a loser knows.
    const bool strict = kind == Kind::Folder || kind == Kind::EncryptedFolder;
    for (int i = 0; i < names; ++i) {
        const std::optional<QByteArray> item = first->read(QStringLiteral("journal/entry-%1").arg(i));
        QVERIFY(item == "first" || item == "second");
        QVERIFY2(*item == "first" ? firstWon[size_t(i)] : secondWon[size_t(i)], qPrintable(QString::number(i)));
        if (strict)
            QVERIFY2(bool(firstWon[size_t(i)]) != bool(secondWon[size_t(i)]), qPrintable(QString::number(i)));
    }
    QVERIFY(!first->writeNew(QStringLiteral("journal/entry-0"), "again"));
}

void TestSyncTargets::listLeavesOutTemporariesAndFolders()
{
    QFETCH(Kind, kind);
    const auto target = makeTarget(kind, freshFolder());
    QCOMPARE(target->list(QStringLiteral("journal")), QStringList());
    target->write(QStringLiteral("journal/b"), "2");
    target->write(QStringLiteral("journal/a"), "1");
    target->write(QStringLiteral("journal/.clipnest-left-behind.tmp"), "x");
    target->write(QStringLiteral("journal/older/c"), "3");
    const qint64 before = target->requestCount();
    QCOMPARE(target->list(QStringLiteral("journal")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    if (kind != Kind::WebDavFaults)
        QCOMPARE(target->requestCount() - before, 1);
}

void TestSyncTargets::removeAndMissingItems()
{
    QFETCH(Kind, kind);
    const auto target = makeTarget(kind, freshFolder());
    QCOMPARE(target->read(QStringLiteral("revs/never")), std::nullopt);
    QCOMPARE(target->read(QStringLiteral("nowhere/never")), std::nullopt);
    target->write(QStringLiteral("revs/item"), "bytes");
    target->remove(QStringLiteral("revs/item"));
    QCOMPARE(target->read(QStringLiteral("revs/item")), std::nullopt);
    target->remove(QStringLiteral("revs/item"));
    QCOMPARE(target->list(QStringLiteral("revs")), QStringList());
}

void TestSyncTargets::wrongPasswordIsRefusedAtOnce()
{
    WebDavOptions options = DavFixture::quickOptions(QStringLiteral("wrong"));
    options.retryDelays = {5s};
    for (DavServer *server : {m_server, m_digestServer.get()}) {
        WebDavTarget target(server->address(freshFolder()), options);
        QElapsedTimer timer;
        timer.start();
        try {
            target.list(QString());
            QFAIL("a wrong password was accepted");
        } catch (const SyncTargetError &error) {
            QCOMPARE(error.fault(), SyncFault::Refused);
        }
        QCOMPARE(target.requestCount(), 1);
        QVERIFY(timer.elapsed() < 4000);
    }
}

void TestSyncTargets::faultsAreRetriedWithoutLoss()
{
    FaultProxy proxy(m_server->port());
    WebDavOptions options = DavFixture::quickOptions();
    int retries = 0;
    options.onRetry = [&retries](const SyncTargetError &) { ++retries; };
    WebDavTarget target(proxy.address(freshFolder()), options);
    // One fault at a time, each in turn on every step of a write: the upload,
    // the move, the check after a lost answer.
    QList<FaultProxy::Fault> faults;
    for (FaultProxy::Fault fault : everyFault)
        faults << fault << FaultProxy::Fault::None;
    QMap<QString, QByteArray> written;
    for (int i = 0; i < 8; ++i)
        written.insert(QStringLiteral("item%1").arg(i), randomBytes(20000 + i));
    for (int round = 0; round < 3; ++round) {
        proxy.queueFaults(QList<FaultProxy::Fault>(round, FaultProxy::Fault::None) + faults);
        for (auto item = written.cbegin(); item != written.cend(); ++item) {
            if (round == 0)
                QVERIFY(target.writeNew(QStringLiteral("revs/") + item.key(), item.value()));
            else
                target.write(QStringLiteral("revs/") + item.key(), item.value());
        }
    }
    for (auto item = written.cbegin(); item != written.cend(); ++item)
        QCOMPARE(target.read(QStringLiteral("revs/") + item.key()), item.value());
    QCOMPARE(target.list(QStringLiteral("revs")), written.keys());
    QCOMPARE(proxy.faultCount(), 3 * everyFault.size());
    QVERIFY(retries > 0);
    // A small answer cut amid its header lines looks whole to libcurl.
    target.write(QStringLiteral("small/item"), "small");
    proxy.queueFaults({FaultProxy::Fault::DropAnswer});
    QCOMPARE(target.read(QStringLiteral("small/item")), QByteArray("small"));
}

void TestSyncTargets::lastingFaultsAreReported_data()
{
    QTest::addColumn<FaultProxy::Fault>("fault");
    QTest::addColumn<SyncFault>("expected");
    QTest::newRow("503") << FaultProxy::Fault::Answer503 << SyncFault::ServerBusy;
    QTest::newRow("423") << FaultProxy::Fault::Answer423 << SyncFault::ServerBusy;
    QTest::newRow("507") << FaultProxy::Fault::Answer507 << SyncFault::Full;
    QTest::newRow("dropped") << FaultProxy::Fault::DropAnswer << SyncFault::Unreachable;
}

void TestSyncTargets::lastingFaultsAreReported()
{
    QFETCH(FaultProxy::Fault, fault);
    QFETCH(SyncFault, expected);
    FaultProxy proxy(m_server->port());
    WebDavOptions options = DavFixture::quickOptions();
    int retries = 0;
    options.onRetry = [&retries](const SyncTargetError &) { ++retries; };
    WebDavTarget target(proxy.address(freshFolder()), options);
    // More than enough: libcurl itself tries a kept-alive connection that
    // died once more on a new one.
    proxy.queueFaults(QList<FaultProxy::Fault>(3 * (int(options.retryDelays.size()) + 1), fault));
    try {
        target.read(QStringLiteral("revs/item"));
        QFAIL("a lasting fault was not reported");
    } catch (const SyncTargetError &error) {
        QCOMPARE(error.fault(), expected);
    }
    QCOMPARE(retries, int(options.retryDelays.size()));
    proxy.clearQueuedFaults();
    QCOMPARE(target.read(QStringLiteral("revs/item")), std::nullopt);
}

void TestSyncTargets::selfSignedCertificateNeedsItsPin()
{
    DavServer server(DavServer::Authentication::Basic, DavServer::Transport::Https);
    QVERIFY2(server.isRunning(), qPrintable(server.error()));
    const QString address = server.address(QStringLiteral("secure"));
    WebDavTarget untrusted(address, DavFixture::quickOptions());
    try {
        untrusted.list(QString());
        QFAIL("a self-signed certificate was trusted");
    } catch (const SyncTargetError &error) {
        QCOMPARE(error.fault(), SyncFault::Certificate);
    }
    const std::optional<ServerCertificate> shown = untrusted.refusedCertificate();
    QVERIFY(shown);
    QCOMPARE(shown->sha256Fingerprint.size(), 32 * 3 - 1);
    QVERIFY(shown->pin.startsWith(QLatin1String("sha256//")));

    WebDavOptions accepted = DavFixture::quickOptions();
    accepted.acceptedPin = shown->pin;
    WebDavTarget pinned(address, accepted);
    pinned.write(QStringLiteral("revs/item"), "bytes");
    QCOMPARE(pinned.read(QStringLiteral("revs/item")), QByteArray("bytes"));

    WebDavOptions other = DavFixture::quickOptions();
    other.acceptedPin = QStringLiteral("sha256//") + QString::fromLatin1(randomBytes(32).toBase64());
    WebDavTarget otherPin(address, other);
    try {
        otherPin.read(QStringLiteral("revs/item"));
        QFAIL("a certificate other than the accepted one was trusted");
    } catch (const SyncTargetError &error) {
        QCOMPARE(error.fault(), SyncFault::Certificate);
    }
}

void TestSyncTargets::addressChoosesTheTarget()
{
    const QString folder = m_dir.filePath(QStringLiteral("chosen"));
    for (const QString &address : {folder, QUrl::fromLocalFile(folder).toString()}) {
        const auto target = makeSyncTarget(address, QString(), QString(), QString());
        QVERIFY(dynamic_cast<FolderTarget *>(target.get()));
        QCOMPARE(target->description(), folder);
    }
    const auto remote = makeSyncTarget(m_server->address(QStringLiteral("chosen")), DavServer::user(),
                                       DavServer::password(), QString());
    QVERIFY(dynamic_cast<WebDavTarget *>(remote.get()));
    remote->write(QStringLiteral("item"), "bytes");
    QCOMPARE(remote->read(QStringLiteral("item")), QByteArray("bytes"));
    // An account in the address works and stays out of every message.
    const QString withAccount =
        m_server->address(QStringLiteral("chosen"))
            .replace(QLatin1String("://"), QStringLiteral("://%1:%2@").arg(DavServer::user(), DavServer::password()));
    const auto named = makeSyncTarget(withAccount, QString(), QString(), QString());
    QCOMPARE(named->read(QStringLiteral("item")), QByteArray("bytes"));
    QVERIFY(!named->description().contains(DavServer::password()));
}

QTEST_GUILESS_MAIN(TestSyncTargets)
#include "tst_synctargets.moc"
