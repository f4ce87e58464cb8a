#include "aboutform.h"
#include "appcontext.h"
#include "loopbackserver.h"
#include "testprogramfolder.h"
#include "updatecheck.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QtTest>

Q_DECLARE_METATYPE(UpdateOutcome::Kind)

namespace {

// A site whose version file starts with a valid line and never ends: it keeps
// sending until the reader goes away. It answers on its own thread.
class EndlessSite
{
public:
    explicit EndlessSite(QByteArray firstLine)
    {
        m_server.moveToThread(&m_thread);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, firstLine] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, firstLine] {
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n" + firstLine);
                auto *more = new QTimer(socket);
                QObject::connect(more, &QTimer::timeout, socket, [socket] {
                    if (socket->bytesToWrite() < 65536)
                        socket->write(QByteArray(4096, 'x'));
                });
                more->start(5);
            });
        });
        m_thread.start();
        bool listening = false;
        QMetaObject::invokeMethod(
            &m_server, [this, &listening] { listening = m_server.listen(QHostAddress::LocalHost); },
            Qt::BlockingQueuedConnection);
        QVERIFY(listening);
    }
    ~EndlessSite()
    {
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                const QList<QTcpSocket *> sockets = m_server.findChildren<QTcpSocket *>();
                qDeleteAll(sockets);
                m_server.close();
                m_server.moveToThread(QCoreApplication::instance()->thread());
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    QThread m_thread;
    QTcpServer m_server;
};

} // namespace

class UpdateTest : public QObject
{
    Q_OBJECT

private slots:
    void versionFile_data();
    void versionFile();
    void checkAgainstTheSite_data();
    void checkAgainstTheSite();
    void unreachableSiteFailsToConnect();
    void longFileIsDecidedOnItsFirstBytes();
    void siteThatNeverAnswersHasAnUnreadableFile();
    void aboutBoxRunsTheCheckBesideTheInterface();
};

void UpdateTest::versionFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("runningMajor");
    QTest::addColumn<int>("runningMinor");
    QTest::addColumn<UpdateOutcome::Kind>("kind");
    QTest::addColumn<QString>("version");
    const auto offer = UpdateOutcome::Offer;
    QTest::newRow("same") << QByteArray("1.0|https://d.example/setup") << 1 << 0 << UpdateOutcome::NoNeedDownload
                          << "1.0";
    QTest::newRow("newer minor") << QByteArray("1.1|https://d.example/setup") << 1 << 0 << offer << "1.1";
    QTest::newRow("newer major") << QByteArray("2.0|x") << 1 << 0 << offer << "2.0";
    QTest::newRow("each number alone") << QByteArray("1.5|x") << 2 << 0 << offer << "1.5";
    QTest::newRow("three numbers") << QByteArray("1.0.3|x") << 1 << 0 << UpdateOutcome::Silent << "";
    QTest::newRow("no bar") << QByteArray("1.1 https://d.example") << 1 << 0 << UpdateOutcome::Silent << "";
    QTest::newRow("words") << QByteArray("one.two|x") << 1 << 0 << UpdateOutcome::Silent << "";
    QTest::newRow("signed") << QByteArray("+2.0|x") << 1 << 0 << UpdateOutcome::Silent << "";
}

void UpdateTest::versionFile()
{
    QFETCH(QByteArray, text);
    QFETCH(int, runningMajor);
    QFETCH(int, runningMinor);
    QFETCH(UpdateOutcome::Kind, kind);
    QFETCH(QString, version);
    const std::optional<PublishedVersion> published = parseVersionFile(text);
    if (kind == UpdateOutcome::Silent) {
        QVERIFY(!published);
        return;
    }
    QVERIFY(published);
    QCOMPARE(published->version, version);
    QCOMPARE(isOffered(*published, runningMajor, runningMinor), kind == UpdateOutcome::Offer);
    QCOMPARE(published->address, text.mid(text.indexOf('|') + 1));
}

void UpdateTest::checkAgainstTheSite_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<UpdateOutcome::Kind>("kind");
    QTest::newRow("newer") << 200 << QByteArray("1.1|http://127.0.0.1/setup.exe\r\n") << UpdateOutcome::Offer;
    QTest::newRow("current") << 200 << QByteArray("1.0|http://127.0.0.1/setup.exe") << UpdateOutcome::NoNeedDownload;
    QTest::newRow("garbage") << 200 << QByteArray("<html>moved</html>") << UpdateOutcome::Silent;
    QTest::newRow("missing file") << 404 << QByteArray() << UpdateOutcome::UpdateFileError;
    QTest::newRow("server error") << 500 << QByteArray() << UpdateOutcome::UpdateFileError;
}

void UpdateTest::checkAgainstTheSite()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(UpdateOutcome::Kind, kind);
    LoopbackServer site;
    if (status == 200)
        site.serve("/note/update.txt", body);
    else
        site.fail("/note/update.txt", status);
    const UpdateOutcome outcome = TTavloUpdateThread::check(site.base(), 1, 0);
    QCOMPARE(outcome.kind, kind);
    if (kind == UpdateOutcome::Offer)
        QCOMPARE(outcome.published.address, QStringLiteral("http://127.0.0.1/setup.exe\r\n"));
}

void UpdateTest::unreachableSiteFailsToConnect()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // nothing listens there any more
    QCOMPARE(TTavloUpdateThread::check(QStringLiteral("http://127.0.0.1:%1").arg(port), 1, 0).kind,
             UpdateOutcome::ConnectFail);
}

void UpdateTest::longFileIsDecidedOnItsFirstBytes()
{
    EndlessSite site("1.1|http://127.0.0.1/setup.exe\r\n");
    QElapsedTimer clock;
    clock.start();
    const UpdateOutcome outcome = TTavloUpdateThread::check(site.base(), 1, 0);
    // Decided on one read, long before the check's time limit.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(outcome.kind, UpdateOutcome::Offer);
    QCOMPARE(outcome.published.version, QStringLiteral("1.1"));
    QVERIFY(outcome.published.address.startsWith(QStringLiteral("http://127.0.0.1/setup.exe\r\nxxx")));
    // Everything after the bar up to the end of the 1023 bytes read.
    QCOMPARE(outcome.published.address.size(), TTavloUpdateThread::ReadLimit - 4);
}

void UpdateTest::siteThatNeverAnswersHasAnUnreadableFile()
{
    LoopbackServer site;
    site.stayQuiet("/note/update.txt");
    const UpdateOutcome outcome = TTavloUpdateThread::check(site.base(), 1, 0, nullptr, 1500);
    QCOMPARE(outcome.kind, UpdateOutcome::UpdateFileError);
}

void UpdateTest::aboutBoxRunsTheCheckBesideTheInterface()
{
    TestProgramFolder folder;
    AppContext context(folder.path());
    TaboutForm about(context);
    QCOMPARE(about.majorVersion(), 1);
    QCOMPARE(about.minorVersion(), 0);
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("verLabel"))->text(), QStringLiteral("Version: 1.0.2.215"));

    LoopbackServer site;
    site.setDelay(300);
    site.serve("/note/update.txt", "1.1|http://127.0.0.1/setup.exe");
    about.setUpdateSite(site.base());
    QList<UpdateOutcome> shown;
    about.presentOutcome = [&](const UpdateOutcome &outcome) { shown << outcome; };
    about.UpdBtnClick();
    // The interface goes on while the check waits for the site.
    bool interfaceRan = false;
    QTimer::singleShot(50, [&] { interfaceRan = interfaceRan || shown.isEmpty(); });
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 10000);
    QVERIFY(interfaceRan);
    QCOMPARE(shown.first().kind, UpdateOutcome::Offer);
    QCOMPARE(shown.first().published.version, QStringLiteral("1.1"));
    // A second click waits for no one and checks again.
    about.UpdBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, 10000);
}

CLIPNEST_TEST_MAIN(UpdateTest)
#include "tst_update.moc"
