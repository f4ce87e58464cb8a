#include "restoreatstart.h"

#include "appcontext.h"
#include "backuparchive.h"
#include "instanceguard.h"
#include "interfacelanguage.h"
#include "profilefile.h"
#include "restorejournal.h"
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

RestoreAtStart::~RestoreAtStart() = default;

QString RestoreAtStart::text(const char *key)
{
    if (!m_context) {
        // The messages come in the language the settings name, without writing them.
        m_context = std::make_unique<AppContext>(m_programFolder);
        m_context->languageFileName =
            ProfileFile(m_programFolder + QStringLiteral("tavlo.ini"))
                .readString(QStringLiteral("Tavlo"), QStringLiteral("lang"), QStringLiteral("en.ini"));
        InterfaceLanguage(*m_context).applyAtStart(nullptr, nullptr);
    }
    return m_context->messages.shown(QLatin1String(key));
}

void RestoreAtStart::recoverInterrupted()
{
    const RestoreJournal::Recovery recovery = RestoreJournal::recover(m_programFolder);
    switch (recovery.outcome) {
    case RestoreJournal::Recovery::Nothing:
        break;
    case RestoreJournal::Recovery::Finished:
        showMessage(text("RestoreFinishedAtStart").arg(QDir::toNativeSeparators(recovery.asideFolder)));
        break;
    case RestoreJournal::Recovery::Undone:
        showMessage(text("RestoreUndoneAtStart"));
        break;
    case RestoreJournal::Recovery::Failed:
        showMessage(text("RestoreStuckAtStart").arg(recovery.problem));
        break;
    }
}

bool RestoreAtStart::run()
{
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
    recoverInterrupted();

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

    BackupArchive::PreparedRestore prepared;
    QString aside;
    try {
        runWithProgressDialog(nullptr, text("RestoreProgress"), text("Cancel"), [&](const WorkProgress &progress) {
            prepared = BackupArchive::prepareRestore(m_archive, m_programFolder, progress);
        });
        if (prepared.missingFiles > 0 &&
            !askYesNo(text("RestoreMissingFiles").arg(prepared.missingFiles).arg(prepared.fileRows))) {
            BackupArchive::discardRestore(prepared);
            return true;
        }
        aside = BackupArchive::completeRestore(prepared, m_programFolder);
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
