#include "clipnestapplication.h"
#include "dberror.h"

#include <QTimer>
#include <QtTest>

#include <stdexcept>

// Errors that no handler catches reach one report that shows their text, and
// the program carries on.
class ErrorReportTest : public QObject
{
    Q_OBJECT

private slots:
    void uncaughtErrorsAreReportedWithTheirText();
};

void ErrorReportTest::uncaughtErrorsAreReportedWithTheirText()
{
    QStringList reported;
    ClipnestApplication::errorReporter = [&](const QString &text) { reported << text; };

    QTimer::singleShot(0,
                       [] { throw DbError(QStringLiteral("violation of PRIMARY KEY constraint on table \"TAGS\"")); });
    QTimer::singleShot(0, [] { throw std::runtime_error("Cannot copy \"a.txt\" into the note's folder."); });
    QTimer::singleShot(0, [] { throw 42; });
    bool carriedOn = false;
    QTimer::singleShot(10, [&] { carriedOn = true; });
    QTRY_VERIFY(carriedOn);

    QCOMPARE(reported.size(), 3);
    QCOMPARE(reported[0], QStringLiteral("violation of PRIMARY KEY constraint on table \"TAGS\""));
    QCOMPARE(reported[1], QStringLiteral("Cannot copy \"a.txt\" into the note's folder."));
    QVERIFY(!reported[2].isEmpty());
}

int main(int argc, char *argv[])
{
    ClipnestApplication app(argc, argv);
    ErrorReportTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_errorreport.moc"
