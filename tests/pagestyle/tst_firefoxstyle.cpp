#include "dbdatamodule.h"
#include "loopbackserver.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QtTest>

namespace {

const QByteArray Html = "text/html; charset=utf-8";
const QByteArray Css = "text/css";

// A page of a reference manual as its sheets style it: a coloured heading, a
// class with a background, a code block, a side bar and a check box the page hides.
// The paragraph fills the middle of a browser window, where a drag starts.
const QByteArray Paragraph =
    "Bisection keeps a list <code>sorted</code>. It finds where an item belongs without sorting the list "
    "again after each insertion, which for long lists whose comparisons are expensive is a real saving over "
    "the usual approach. The module is called bisect because it uses a basic bisection algorithm to do its "
    "work, halving the part of the list it still has to look at with every comparison it makes.";
const QByteArray PageBody =
    "<div class=\"document\"><div class=\"sidebar\"><h3>Table of Contents</h3><input type=\"checkbox\" "
    "id=\"toggler\"></div><div class=\"body\"><h1 id=\"bisect\">bisect<a href=\"#bisect\">#</a></h1>"
    "<p class=\"note\">" +
    Paragraph + "</p><pre>insort(a, x)</pre></div></div>";

// Firefox's text/html for the selection of the whole body (its links made
// absolute), and its context. PAGE stands for the links' page.
const QByteArray Fragment = "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">"
                            "<div class=\"sidebar\"><h3>Table of Contents</h3><input type=\"checkbox\" "
                            "id=\"toggler\"></div><div class=\"body\"><h1 id=\"bisect\">bisect<a "
                            "href=\"PAGE#bisect\">#</a></h1><p class=\"note\">" +
                            Paragraph + "</p><pre>insort(a, x)</pre></div>";
const QByteArray Context = "<html lang=\"en\"><body class=\"page\"><div class=\"document\"></div></body></html>";

// The colours and fonts a reader sees, read from the laid-out page.
const char *const LookScript = R"js(
(function () {
    const look = (selector, name) => {
        const element = document.querySelector(selector);
        return element ? getComputedStyle(element).getPropertyValue(name) : 'absent';
    };
    return [look('h1', 'color'), look('h1', 'font-size'), look('p', 'color'), look('p', 'background-color'),
            look('pre', 'color'), look('pre', 'background-color'), look('pre', 'font-family'),
            look('code', 'font-weight'), look('p', 'font-family')].join(' | ');
})()
)js";

// Loads the address in a page that, like the program's view, runs no page
// scripts, and answers what LookScript reads.
QString LookOf(const QUrl &address)
{
    QWebEnginePage page;
    page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    QEventLoop loop;
    QString look;
    QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, [&](bool) {
        page.runJavaScript(QString::fromUtf8(LookScript), QWebEngineScript::ApplicationWorld,
                           [&](const QVariant &answer) {
                               look = answer.toString();
                               loop.quit();
                           });
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    page.load(address);
    loop.exec();
    return look;
}

} // namespace

// A selection dragged out of Firefox, captured by clipnest-capture as the drop
// box captures it, against the page served on 127.0.0.1.
class FirefoxStyleTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void selectionLooksAsOnThePage_data();
    void selectionLooksAsOnThePage();
    void withoutThePageCapturesAsBefore_data();
    void withoutThePageCapturesAsBefore();
    void dragOutOfRealFirefoxKeepsTheLook();

private:
    // Runs the tool on the selection whose links name linkPage; answers its
    // output lines, and the body in body.
    QStringList capture(const QString &pageAddress, const QString &linkPage, QByteArray &body);

    LoopbackServer m_server;
    QTemporaryDir m_dir;
};

void FirefoxStyleTest::initTestCase()
{
    QVERIFY(m_server.port() != 0 && m_dir.isValid());
    m_server.serve("/docs/library/bisect.html",
                   "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>bisect &mdash; Array "
                   "bisection algorithm</title><link rel=\"stylesheet\" href=\"../_static/theme.css\">"
                   "<style>h1 { color: rgb(200, 30, 40); font-size: 30px }</style></head><body class=\"page\">" +
                       PageBody + "</body></html>",
                   Html);
    m_server.serve("/docs/_static/theme.css",
                   "@import url(\"basic.css\");\n.note { background-color: rgb(255, 240, 200); font-size: 26px }\n"
                   ".sidebar, #toggler { display: none }\n"
                   "pre { background-color: rgb(40, 44, 52); color: rgb(220, 220, 220); padding: 8px;"
                   " font-family: monospace }\n",
                   Css);
    m_server.serve("/docs/other.html", "<html><body><p>Another page of the manual</p></body></html>", Html);
    m_server.serve("/docs/_static/basic.css",
                   "body.page { color: rgb(20, 20, 90); font-family: serif }\ncode { font-weight: 700 }\n", Css);
}

QStringList FirefoxStyleTest::capture(const QString &pageAddress, const QString &linkPage, QByteArray &body)
{
    const QString fragmentPath = m_dir.filePath(QStringLiteral("fragment.html"));
    const QString contextPath = m_dir.filePath(QStringLiteral("context.html"));
    const QString bodyPath = m_dir.filePath(QStringLiteral("body.html"));
    const QString program = m_dir.filePath(QStringLiteral("program"));
    QDir().mkpath(program + QStringLiteral("/data"));
    QFile fragment(fragmentPath);
    QFile context(contextPath);
    if (!fragment.open(QIODevice::WriteOnly) || !context.open(QIODevice::WriteOnly))
        return {};
    fragment.write(QByteArray(Fragment).replace("PAGE", linkPage.toUtf8()));
    fragment.close();
    // Firefox gives the context in UTF-16.
    const QString contextText = QString::fromUtf8(Context);
    context.write(QByteArray("\xFF\xFE") +
                  QByteArray(reinterpret_cast<const char *>(contextText.utf16()), contextText.size() * 2));
    context.close();
    QProcess tool;
    tool.start(QStringLiteral(CLIPNEST_CAPTURE_TOOL),
               {QStringLiteral("--firefox"), fragmentPath, contextPath, pageAddress, program, bodyPath});
    if (!tool.waitForFinished(90000) || tool.exitCode() != 0) {
        qWarning() << tool.readAllStandardError();
        return {};
    }
    QFile bodyFile(bodyPath);
    if (!bodyFile.open(QIODevice::ReadOnly))
        return {};
    body = bodyFile.readAll();
    return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'));
}

void FirefoxStyleTest::selectionLooksAsOnThePage_data()
{
    QTest::addColumn<bool>("addressGiven");
    QTest::newRow("the drop names the page") << true;
    // What a real Firefox gives: no address, only the selection's links.
    QTest::newRow("the selection's links name it") << false;
}

void FirefoxStyleTest::selectionLooksAsOnThePage()
{
    QFETCH(bool, addressGiven);
    const QString address = m_server.base() + QStringLiteral("/docs/library/bisect.html");
    QByteArray body;
    const QStringList lines = capture(addressGiven ? address : QStringLiteral("-"), address, body);
    QCOMPARE(lines.value(0), address);
    QCOMPARE(lines.value(1), QStringLiteral("bisect \u2014 Array bisection algorithm"));
    // What the page hid is not in the note.
    QVERIFY2(!body.contains("Table of Contents"), body.constData());
    QVERIFY(!body.contains("checkbox"));

    const QString note = m_dir.filePath(QStringLiteral("note.html"));
    QFile noteFile(note);
    QVERIFY(noteFile.open(QIODevice::WriteOnly));
    noteFile.write("<html><head><meta charset=\"utf-8\"></head>" + body + "</html>");
    noteFile.close();
    const QString onPage = LookOf(QUrl(address));
    QVERIFY2(onPage.startsWith(QLatin1String("rgb(200, 30, 40) | 30px | rgb(20, 20, 90) | rgb(255, 240, 200)")),
             qPrintable(onPage));
    QCOMPARE(LookOf(QUrl::fromLocalFile(note)), onPage);
}

void FirefoxStyleTest::withoutThePageCapturesAsBefore_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("linkPage");
    QTest::newRow("page gone") << QStringLiteral("/docs/gone.html") << QStringLiteral("/docs/gone.html");
    QTest::newRow("links name a page without the selection")
        << QStringLiteral("-") << QStringLiteral("/docs/other.html");
    QTest::newRow("no address, no links") << QStringLiteral("-") << QString();
}

void FirefoxStyleTest::withoutThePageCapturesAsBefore()
{
    QFETCH(QString, address);
    QFETCH(QString, linkPage);
    if (address != QLatin1String("-"))
        address.prepend(m_server.base());
    if (!linkPage.isEmpty())
        linkPage.prepend(m_server.base());
    QByteArray body;
    const QStringList lines = capture(address, linkPage, body);
    QCOMPARE(lines.value(0), address == QLatin1String("-") ? QString() : address);
    QCOMPARE(lines.value(1), QString());
    QVERIFY(body.contains("Table of Contents"));
    QVERIFY(!body.contains("style="));
}

void FirefoxStyleTest::dragOutOfRealFirefoxKeepsTheLook()
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("firefox-esr")).isEmpty())
        QSKIP("needs xvfb-run, xdotool and firefox-esr to drag out of a real Firefox");
    TestProgramFolder folder;
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder.path() + QStringLiteral("clipnest")));
    const QString address = m_server.base() + QStringLiteral("/docs/library/bisect.html");

    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1366x768x24"),
                        QStringLiteral("bash"), QStringLiteral(FIREFOX_DRAG_SCRIPT),
                        folder.path() + QStringLiteral("clipnest"), address, scratch.path()});
    QVERIFY(run.waitForFinished(240000));
    const QString output = QString::fromLocal8Bit(run.readAll());
    QVERIFY2(output.contains(QLatin1String("saved")), qPrintable(output));

    QString noteFile;
    QString title;
    {
        TDBDataModule database(folder.databasePath());
        QSqlQuery &rows = database.runQuery(QStringLiteral("select title, filename, source from note"));
        QVERIFY(rows.next());
        title = rows.value(0).toString();
        noteFile = folder.dataFolder() + rows.value(1).toString();
        QCOMPARE(rows.value(2).toString(), address); // found from the selection's links
        QVERIFY(!rows.next());
    }
    QCOMPARE(title, QStringLiteral("bisect \u2014 Array bisection algorithm"));
    const QString onPage = LookOf(QUrl(address));
    QVERIFY2(onPage.startsWith(QLatin1String("rgb(200, 30, 40) | 30px")), qPrintable(onPage));
    QCOMPARE(LookOf(QUrl::fromLocalFile(noteFile)), onPage);
}

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication application(argc, argv);
    FirefoxStyleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_firefoxstyle.moc"
