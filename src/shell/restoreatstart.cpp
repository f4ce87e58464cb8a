#include "restoreatstart.h"

#include "appcontext.h"
#include "backuparchive.h"
#include "instanceguard.h"
#include "interfacelanguage.h"
#include "profilefile.h"
#include "workprogress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QThread>

RestoreAtStart::RestoreAtStart(QString programFolder, QString archive)
    : m_programFolder(std::move(programFolder))
    , m_archive(std::move(archive))
{
    askYesNo = [](const QString &question) {
        return QMessageBox::question(nullptr, QLatin1String(ApplicationTitle), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    showMessage = [](const QString &message) {
        QMessageBox::information(nullptr, QLatin1String(ApplicationTitle), message);
    };
}

bool RestoreAtStart::run()
{
    // The messages come in the language the settings name, without writing them.
    AppContext context(m_programFolder);
    context.languageFileName =
        ProfileFile(m_programFolder + QStringLiteral("tavlo.ini"))
            .readString(QStringLiteral("Tavlo"), QStringLiteral("lang"), QStringLiteral("en.ini"));
    InterfaceLanguage(context).applyAtStart(nullptr, nullptr);
    auto text = [&context](const char *key) { return context.messages.shown(QLatin1String(key)); };

    InstanceGuard guard;
    QElapsedTimer waited;
    waited.start();
    while (!guard.tryAcquire()) {
        if (waited.elapsed() >= waitForClosingCopyMs) {
            showMessage(text("RestoreRunning"));
            return false;
        }
        QThread::msleep(200);
    }

    BackupSummary summary;
    try {
        summary = BackupArchive::inspect(m_archive);
    } catch (const std::exception &error) {
        showMessage(text("RestoreFailed").arg(QString::fromUtf8(error.what())));
        return true;
    }
    const QString question =
        text("RestoreQuestion")
            .arg(QDir::toNativeSeparators(m_programFolder), QLocale().toString(summary.made, QLocale::ShortFormat))
            .arg(summary.notes)
            .arg(summary.nodes) +
        QStringLiteral("\n\n") + text("RestoreKeepsOld");
    if (!askYesNo(question))
        return true;

    QString aside;
    try {
        runWithProgressDialog(nullptr, text("RestoreProgress"), text("Cancel"), [&](const WorkProgress &progress) {
            aside = BackupArchive::restore(m_archive, m_programFolder, progress);
        });
    } catch (const BackupStopped &) {
        return true;
    } catch (const std::exception &error) {
        showMessage(text("RestoreFailed").arg(QString::fromUtf8(error.what())));
        return true;
    }
    if (!aside.isEmpty())
        showMessage(text("RestoreDone").arg(QDir::toNativeSeparators(aside)));
    return true;
}
