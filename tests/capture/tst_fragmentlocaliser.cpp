#include "fragmentlocaliser.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const std::string HostBase = "http://host";
const std::string FolderBase = "http://host/a/";

QByteArray Bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

} // namespace

// The three passes without the network: a stand-in storer records the
// addresses it is given and writes the address into each file it stores.
class FragmentLocaliserTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void links_data();
    void links();
    void pictureReferences_data();
    void pictureReferences();
    void pictureAddresses_data();
    void pictureAddresses();
    void sameLastSegmentGetsItsOwnFile();
    void namesFollowDocumentOrderWhateverOrderFetchesEnd();
    void failedPictureLeavesNoFile();
    void progressCountsEveryPicture();
    void noDayFolderStoresNothing();

private:
    QByteArray localise(const QByteArray &fragment);
    QString imagesFolder() const { return m_dir->path() + QStringLiteral("/day/images/"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    CaptureContext m_context;
    QList<QByteArray> m_fetched;
    QSet<QByteArray> m_failing;
};

void FragmentLocaliserTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("day/images")));
    m_fetched.clear();
    m_failing.clear();
    m_context = CaptureContext();
    m_context.dayFolder = [this] { return (m_dir->path() + QStringLiteral("/day")).toStdString(); };
    m_context.storePictures = [this](std::vector<PictureJob> &jobs, const FetchOptions &, const JobFinished &done) {
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const QByteArray address = Bytes(jobs[i].address);
            m_fetched << address;
            QFile file(QString::fromStdString(jobs[i].localPath));
            if (!jobs[i].localPath.empty() && !m_failing.contains(address) && file.open(QIODevice::WriteOnly))
                jobs[i].stored = file.write(address) == address.size();
            done(i);
        }
    };
}

QByteArray FragmentLocaliserTest::localise(const QByteArray &fragment)
{
    return Bytes(LocaliseFragment(fragment.toStdString(), HostBase, FolderBase, m_context));
}

void FragmentLocaliserTest::links_data()
{
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<QByteArray>("localised");

    QTest::newRow("host base") << QByteArray("<a href=\"/x.html\">x</a>")
                               << QByteArray("<a href=\"http://host/x.html\">x</a>");
    QTest::newRow("folder base") << QByteArray("<a href=\"next.html\">n</a>")
                                 << QByteArray("<a href=\"http://host/a/next.html\">n</a>");
    QTest::newRow("absolute") << QByteArray("<a href=\"http://other/p\">p</a>")
                              << QByteArray("<a href=\"http://other/p\">p</a>");
    QTest::newRow("mixed-case scheme is relative") << QByteArray("<a href=\"Http://other/p\">p</a>")
                                                   << QByteArray("<a href=\"http://host/a/Http://other/p\">p</a>");
    QTest::newRow("fragment link") << QByteArray("<a href=\"#top\">t</a>")
                                   << QByteArray("<a href=\"http://host/a/#top\">t</a>");
    QTest::newRow("mail link") << QByteArray("<a href=\"mailto:me@x\">m</a>")
                               << QByteArray("<a href=\"http://host/a/mailto:me@x\">m</a>");
    QTest::newRow("upper-case tag and attribute")
        << QByteArray("<A HREF=\"x.html\">x</A>") << QByteArray("<A HREF=\"http://host/a/x.html\">x</A>");
    QTest::newRow("tail of a longer attribute") << QByteArray("<a data-href=\"d\" href=\"h\">x</a>")
                                                << QByteArray("<a data-href=\"http://host/a/d\" href=\"h\">x</a>");
    QTest::newRow("mixed-case attribute") << QByteArray("<a Href=\"x\">x</a>") << QByteArray("<a Href=\"x\">x</a>");
    QTest::newRow("single quotes") << QByteArray("<a href='x'>x</a>") << QByteArray("<a href='x'>x</a>");
    QTest::newRow("line break after tag name")
        << QByteArray("<a\nhref=\"x\">x</a>") << QByteArray("<a\nhref=\"x\">x</a>");
    QTest::newRow("empty value") << QByteArray("<a href=\"\">x</a>") << QByteArray("<a href=\"\">x</a>");
    QTest::newRow("text around kept")
        << QByteArray("pre <a href=\"1\">1</a> mid <a href=\"/2\">2</a> post")
        << QByteArray("pre <a href=\"http://host/a/1\">1</a> mid <a href=\"http://host/2\">2</a> post");
    QTest::newRow("no element end") << QByteArray("x <a href=\"y\">never closed")
                                    << QByteArray("x <a href=\"y\">never closed");
    QTest::newRow("stray end before a link")
        << QByteArray("x</a>y<a href=\"z\">z</a>") << QByteArray("x</a>y<a href=\"http://host/a/z\">z</a>");
}

void FragmentLocaliserTest::links()
{
    QFETCH(QByteArray, fragment);
    QFETCH(QByteArray, localised);
    QCOMPARE(localise(fragment), localised);
    QVERIFY(m_fetched.isEmpty());
}

void FragmentLocaliserTest::pictureReferences_data()
{
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<QByteArray>("localised");

    QTest::newRow("picture") << QByteArray("<p><img src=\"http://host/logo.gif\" alt=\"x\"></p>")
                             << QByteArray("<p><img src=\"images/logo.gif\" alt=\"x\"></p>");
    QTest::newRow("characters a file name cannot hold")
        << QByteArray("<img src=\"http://host/a:b*d.gif\">") << QByteArray("<img src=\"images/a-b-d.gif\">");
    QTest::newRow("no extension") << QByteArray("<img src=\"http://host/getimage?id=5\">")
                                  << QByteArray("<img src=\"images/getimage-id=5\">");
    QTest::newRow("query after the extension")
        << QByteArray("<img src=\"http://host/p/a.jpg?w=100\">") << QByteArray("<img src=\"images/a-w=100.jpg\">");
    QTest::newRow("escaped name is stored decoded") << QByteArray("<img src=\"http://host/%E4%B8%AD%E6%96%87.png\">")
                                                    << QByteArray("<img src=\"images/\xE4\xB8\xAD\xE6\x96\x87.png\">");
    QTest::newRow("escapes that would name another file")
        << QByteArray("<img src=\"http://host/100%25%23.png\">") << QByteArray("<img src=\"images/100--.png\">");
    QTest::newRow("broken escape kept") << QByteArray("<img src=\"http://host/a%ZZ.png\">")
                                        << QByteArray("<img src=\"images/a-ZZ.png\">");
    QTest::newRow("escaped ampersand") << QByteArray("<img src=\"http://host/pic?a=1&amp;b=2\">")
                                       << QByteArray("<img src=\"images/pic-a=1-b=2\">");
    QTest::newRow("overlong escape kept as written")
        << QByteArray("<img src=\"http://host/%C0%AF.png\">") << QByteArray("<img src=\"images/-C0-AF.png\">");
    QTest::newRow("inline picture stays") << QByteArray("<img src=\"DATA:image/png;base64,iVBORw0KGgo=\">")
                                          << QByteArray("<img src=\"DATA:image/png;base64,iVBORw0KGgo=\">");
    QTest::newRow("upper-case scheme cannot be fetched")
        << QByteArray("<img src=\"HTTP://host/a.gif\">") << QByteArray("<img src=\"images/\">");
    QTest::newRow("upper-case tag and attribute")
        << QByteArray("<IMG SRC=\"/b.png\">") << QByteArray("<IMG SRC=\"images/b.png\">");
    QTest::newRow("no element end") << QByteArray("<img src=\"x.png\"") << QByteArray("<img src=\"x.png\"");
    QTest::newRow("vml picture data") << QByteArray("<v:imagedata src=\"pic.png\" o:title=\"\"/>")
                                      << QByteArray("<v:imagedata src=\"images/pic.png\" o:title=\"\"/>");
    QTest::newRow("picture and vml") << QByteArray("<img src=\"a.gif\"><v:imagedata src=\"b.gif\">")
                                     << QByteArray("<img src=\"images/a.gif\"><v:imagedata src=\"images/b.gif\">");
}

void FragmentLocaliserTest::pictureReferences()
{
    QFETCH(QByteArray, fragment);
    QFETCH(QByteArray, localised);
    QCOMPARE(localise(fragment), localised);
    // Every reference names a file that holds what was fetched for it.
    static const QRegularExpression reference(QStringLiteral("images/([^\"]+)\""));
    for (const QRegularExpressionMatch &match : reference.globalMatch(QString::fromUtf8(localised))) {
        QFile file(imagesFolder() + match.captured(1));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QVERIFY(m_fetched.contains(file.readAll()));
    }
}

void FragmentLocaliserTest::pictureAddresses_data()
{
    QTest::addColumn<QByteArray>("fragment");
    QTest::addColumn<QByteArray>("fetched");

    QTest::newRow("host base") << QByteArray("<img src=\"/p.gif\">") << QByteArray("http://host/p.gif");
    QTest::newRow("folder base") << QByteArray("<img src=\"p.gif\">") << QByteArray("http://host/a/p.gif");
    QTest::newRow("file address is absolute")
        << QByteArray("<img src=\"file://server/p.gif\">") << QByteArray("file://server/p.gif");
    QTest::newRow("vml local file") << QByteArray("<v:imagedata src=\"file:///tmp/p.gif\">")
                                    << QByteArray("file:///tmp/p.gif");
    QTest::newRow("vml server file is relative")
        << QByteArray("<v:imagedata src=\"file://server/p.gif\">") << QByteArray("http://host/a/file://server/p.gif");
    QTest::newRow("escaped ampersand asked as itself")
        << QByteArray("<img src=\"http://host/pic?a=1&amp;b=2\">") << QByteArray("http://host/pic?a=1&b=2");
    QTest::newRow("vml upper case") << QByteArray("<V:IMAGEDATA SRC=\"FILE:///P.GIF\">") << QByteArray("FILE:///P.GIF");
}

void FragmentLocaliserTest::pictureAddresses()
{
    QFETCH(QByteArray, fragment);
    QFETCH(QByteArray, fetched);
    localise(fragment);
    QCOMPARE(m_fetched, QList<QByteArray>{fetched});
}

void FragmentLocaliserTest::sameLastSegmentGetsItsOwnFile()
{
    const QByteArray localised =
        localise("<img src=\"http://one/logo.gif\"><img src=\"http://two/logo.gif\"><img src=\"/logo.gif\">");
    static const QRegularExpression shape(
        QStringLiteral("^<img src=\"images/logo.gif\"><img src=\"images/(logo\\d{1,3}\\.gif)\">"
                       "<img src=\"images/(logo\\d{1,6}\\.gif)\">$"));
    const QRegularExpressionMatch match = shape.match(QString::fromUtf8(localised));
    QVERIFY2(match.hasMatch(), localised.constData());
    QVERIFY(match.captured(1) != match.captured(2));
    for (const auto &[name, address] : {std::pair{QStringLiteral("logo.gif"), QByteArray("http://one/logo.gif")},
                                        std::pair{match.captured(1), QByteArray("http://two/logo.gif")},
                                        std::pair{match.captured(2), QByteArray("http://host/logo.gif")}}) {
        QFile file(imagesFolder() + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), address);
    }
}

void FragmentLocaliserTest::namesFollowDocumentOrderWhateverOrderFetchesEnd()
{
    m_context.storePictures = [](std::vector<PictureJob> &jobs, const FetchOptions &, const JobFinished &done) {
        for (std::size_t i = jobs.size(); i-- > 0;) {
            QFile file(QString::fromStdString(jobs[i].localPath));
            jobs[i].stored = file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(qulonglong(i))) > 0;
            done(i);
        }
    };
    const QByteArray localised = localise("<img src=\"x/pic.png\"><img src=\"y/pic.png\">");
    QVERIFY2(localised.startsWith("<img src=\"images/pic.png\"><img src=\"images/pic"), localised.constData());
    QFile first(imagesFolder() + QStringLiteral("pic.png"));
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), QByteArray("0"));
}

void FragmentLocaliserTest::failedPictureLeavesNoFile()
{
    m_failing << "http://host/a/gone.gif";
    QCOMPARE(localise("<img src=\"gone.gif\"><img src=\"here.gif\">"),
             QByteArray("<img src=\"images/\"><img src=\"images/here.gif\">"));
    QCOMPARE(QDir(imagesFolder()).entryList(QDir::Files), QStringList{QStringLiteral("here.gif")});
}

void FragmentLocaliserTest::progressCountsEveryPicture()
{
    QList<QPair<int, int>> reports;
    m_context.progress = [&reports](int done, int total) { reports << qMakePair(done, total); };
    localise("<img src=\"1.gif\"><img src=\"HTTP://x/2.gif\"><img src='3'><v:imagedata src=\"4.gif\">");
    const QList<QPair<int, int>> expected{{0, 2}, {1, 2}, {2, 2}, {2, 3}, {3, 3}};
    QCOMPARE(reports, expected);
}

void FragmentLocaliserTest::noDayFolderStoresNothing()
{
    m_context.dayFolder = {};
    QCOMPARE(localise("<img src=\"a.gif\">"), QByteArray("<img src=\"images/\">"));
    QVERIFY(QDir(imagesFolder()).isEmpty());
}

QTEST_GUILESS_MAIN(FragmentLocaliserTest)
#include "tst_fragmentlocaliser.moc"
