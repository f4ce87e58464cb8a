#include "syncsettingsform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

class SyncSettingsFormTest : public QObject
{
    Q_OBJECT

private slots:
    void choiceIsCheckedBeforeItIsKept_data();
    void choiceIsCheckedBeforeItIsKept();
};

void SyncSettingsFormTest::choiceIsCheckedBeforeItIsKept_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("webDav");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("passphrase");
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<QString>("problem");    // empty: accepted
    QTest::addColumn<QString>("target");     // what the choice keeps
    QTest::addColumn<QString>("pin");        // the certificate kept with it

    const QString kept = QStringLiteral("https://dav.example.org/notes");
    const QString pin = QStringLiteral("sha256//AAAA");
    QTest::newRow("the same server keeps its certificate")
        << true << true << kept << "" << "" << "" << kept << pin;
    QTest::newRow("another server does not") << true << true << QStringLiteral(" http://other.example.org/dav ") << ""
                                             << "" << "" << QStringLiteral("http://other.example.org/dav") << "";
    QTest::newRow("an address without its scheme")
        << true << true << QStringLiteral("dav.example.org/notes") << "" << ""
        << QStringLiteral("Enter the server's address, beginning with https:// or http://.") << "" << "";
    QTest::newRow("an address without a host") << true << true << QStringLiteral("https://") << "" << ""
                                               << QStringLiteral("Enter the server's address, beginning with "
                                                                 "https:// or http://.")
                                               << "" << "";
    QTest::newRow("a folder, cleaned") << true << false << QStringLiteral("/home/me/Sync//Clipnest/") << "s3cret"
                                       << "s3cret" << "" << QStringLiteral("/home/me/Sync/Clipnest") << "";
    QTest::newRow("a relative folder") << true << false << QStringLiteral("Sync/Clipnest") << "" << ""
                                       << QStringLiteral("Choose the folder to sync through.") << "" << "";
    QTest::newRow("passphrases that differ") << true << false << QStringLiteral("/srv/sync") << "one" << "two"
                                             << QStringLiteral("The two passphrases differ.") << "" << "";
    QTest::newRow("sync off forgets the target") << false << true << kept << "" << "" << "" << "" << "";
}

void SyncSettingsFormTest::choiceIsCheckedBeforeItIsKept()
{
    QFETCH(bool, enabled);
    QFETCH(bool, webDav);
    QFETCH(QString, place);
    QFETCH(QString, passphrase);
    QFETCH(QString, repeat);
    QFETCH(QString, problem);
    QFETCH(QString, target);
    QFETCH(QString, pin);

    SyncChoice current;
    current.place.target = QStringLiteral("https://dav.example.org/notes");
    current.place.user = QStringLiteral("me");
    current.place.certificatePin = QStringLiteral("sha256//AAAA");
    current.password = QStringLiteral("pw");
    TSyncSettingsForm form(current);
    form.findChild<QCheckBox *>(QStringLiteral("SyncEnabled"))->setChecked(enabled);
    form.findChild<QRadioButton *>(webDav ? QStringLiteral("SyncWebDav") : QStringLiteral("SyncFolderKind"))
        ->setChecked(true);
    form.findChild<QLineEdit *>(webDav ? QStringLiteral("SyncAddress") : QStringLiteral("SyncFolder"))->setText(place);
    form.findChild<QLineEdit *>(QStringLiteral("SyncPassphrase"))->setText(passphrase);
    form.findChild<QLineEdit *>(QStringLiteral("SyncRepeatPassphrase"))->setText(repeat);

    form.accept();
    QCOMPARE(form.problemLabel()->text(), problem);
    QCOMPARE(form.result() == QDialog::Accepted, problem.isEmpty());
    if (!problem.isEmpty())
        return;
    const SyncChoice choice = form.choice();
    QCOMPARE(choice.place.target, target);
    QCOMPARE(choice.place.certificatePin, pin);
    QCOMPARE(choice.passphrase, enabled ? passphrase : QString());
    // The WebDAV password only goes with a WebDAV target.
    QCOMPARE(choice.password, enabled && webDav ? QStringLiteral("pw") : QString());
}

QTEST_MAIN(SyncSettingsFormTest)
#include "tst_syncsettingsform.moc"
