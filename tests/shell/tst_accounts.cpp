// Several accounts on one computer, each with its own notes: the database
// engine's lock files stay in each user's own folder, where no other account
// can reach them.
#include "testprogramfolder.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t FirstAccount = 54321;
constexpr uid_t SecondAccount = 54322;

void chownTree(const QString &path, uid_t uid)
{
    QVERIFY(::lchown(QFile::encodeName(path).constData(), uid, uid) == 0);
    QDirIterator walk(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                      QDirIterator::Subdirectories);
    while (walk.hasNext())
        QVERIFY(::lchown(QFile::encodeName(walk.next()).constData(), uid, uid) == 0);
}

// One account's home, temporary folder and program folder with the program in it.
struct Account
{
    uid_t uid;
    QTemporaryDir root;
    TestProgramFolder program;

    explicit Account(uid_t id)
        : uid(id)
    {
    }

    QString home() const { return root.path() + QStringLiteral("/home"); }
    QString temp() const { return root.path() + QStringLiteral("/tmp"); }
    QString lockFolder() const { return temp() + QStringLiteral("/clipnest-%1/firebird").arg(uid); }

    void prepare()
    {
        QVERIFY(QDir().mkpath(home()) && QDir().mkpath(temp()));
        QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), program.path() + QStringLiteral("clipnest")));
        chownTree(root.path(), uid);
        chownTree(program.path(), uid);
        // The folders above the test's temporary folders must let the account through.
        QFile::setPermissions(root.path(), QFile::permissions(root.path()) | QFile::ExeOther);
    }

    // Runs "clipnest --search" as this account, which opens its database to build the index.
    int search(QString *errors)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        environment.remove(QStringLiteral("FIREBIRD_LOCK"));
        environment.remove(QStringLiteral("FIREBIRD_TMP"));
        environment.insert(QStringLiteral("HOME"), home());
        environment.insert(QStringLiteral("TMPDIR"), temp());
        process.setProcessEnvironment(environment);
        const uid_t id = uid;
        process.setChildProcessModifier([id] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0)
                ::_exit(120);
        });
        process.start(program.path() + QStringLiteral("clipnest"), {QStringLiteral("--search"), QStringLiteral("x")});
        process.waitForFinished(120000);
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

} // namespace

class AccountsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoAccountsOneAfterTheOther();
    void lockNamePlantedByAnotherAccountIsNeverFollowed();
};

void AccountsTest::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("switching accounts needs root");
}

void AccountsTest::twoAccountsOneAfterTheOther()
{
    Account first(FirstAccount);
    Account second(SecondAccount);
    first.prepare();
    second.prepare();
    for (Account *account : {&first, &second}) {
        QString errors;
        // 1: nothing matched, after the index was built from the database.
        QCOMPARE(account->search(&errors), 1);
        QVERIFY2(!errors.contains(QLatin1String("ermission")), qPrintable(errors));
        QVERIFY2(QDir(account->lockFolder()).entryList(QDir::Files).contains(QStringLiteral("fb_init")),
                 qPrintable(account->lockFolder()));
    }
}

void AccountsTest::lockNamePlantedByAnotherAccountIsNeverFollowed()
{
    Account victim(FirstAccount);
    victim.prepare();
    QString errors;
    QCOMPARE(victim.search(&errors), 1);
    const QStringList lockNames = QDir(victim.lockFolder()).entryList(QDir::Files);
    QVERIFY(!lockNames.isEmpty());

    // In the shared temporary folder the other account takes the victim's
    // folder name first and fills it with links, named as the engine names its
    // files for the victim's database, to a file of the victim's.
    const QString precious = victim.home() + QStringLiteral("/precious.txt");
    QFile file(precious);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me\n") == 8);
    file.close();
    chownTree(precious, victim.uid);
    QVERIFY(QDir(victim.temp()).removeRecursively() && QDir().mkpath(victim.lockFolder()));
    for (const QString &name : lockNames)
        QVERIFY(QFile::link(precious, victim.lockFolder() + QLatin1Char('/') + name));
    chownTree(victim.temp(), SecondAccount);
    QVERIFY(::chmod(QFile::encodeName(victim.temp()).constData(), 01777) == 0);

    // Without an index the search opens the database again to build one.
    QVERIFY(QDir(victim.program.path() + QStringLiteral("index")).removeRecursively());
    QCOMPARE(victim.search(&errors), 1);
    QFile check(precious);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("keep me\n"));
    // The victim's engine went to a folder of the victim's own instead.
    const QString own = victim.home() + QStringLiteral("/.cache/clipnest-runtime/firebird");
    QVERIFY2(QDir(own).entryList(QDir::Files).contains(QStringLiteral("fb_init")), qPrintable(errors));
}

QTEST_GUILESS_MAIN(AccountsTest)
#include "tst_accounts.moc"
