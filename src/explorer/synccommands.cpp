#include "synccommands.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "deletequestion.h"
#include "editorform.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "menuentry.h"
#include "programtext.h"
#include "syncsecrets.h"
#include "themeicons.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QSysInfo>
#include <QThread>
#include <QToolBar>
#include <QToolButton>

namespace {

// Long enough for a burst of saves to end in one sync.
constexpr int SyncAfterSaveMs = 4000;

QString grouped(qint64 number)
{
    return QLocale(QLocale::English).toString(number);
}

// The notes open in an editor now: a sync leaves their remote changes waiting.
QSet<int> openNotes()
{
    QSet<int> notes;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *editor = qobject_cast<TEditorForm *>(window); editor && editor->noteId() > 0)
            notes.insert(editor->noteId());
    }
    return notes;
}

} // namespace

SyncCommands::SyncCommands(TMainForm &explorer, AppContext &context)
    : QObject(&explorer)
    , m_explorer(explorer)
    , m_context(context)
{
    SyncSettingsAct = new QAction(programText("Sync settings..."), &explorer);
    SyncSettingsAct->setObjectName(QStringLiteral("SyncSettingsAct"));
    SyncNowAct = new QAction(programText("Sync now"), &explorer);
    SyncNowAct->setObjectName(QStringLiteral("SyncNowAct"));
    SyncNowAct->setIcon(themeIcon({QStringLiteral("view-refresh")}));
    SyncNowAct->setShortcut(QKeySequence(Qt::Key_F5));
    for (QAction *action : {SyncSettingsAct, SyncNowAct}) {
        action->setStatusTip(action->text());
        explorer.addAction(action);
    }
    SyncNowAct->setToolTip(programText("Sync now") + QStringLiteral(" (F5)"));
    connect(SyncSettingsAct, &QAction::triggered, this, &SyncCommands::SyncSettingsActExecute);
    connect(SyncNowAct, &QAction::triggered, this, &SyncCommands::SyncNowActExecute);

    m_status = new QLabel(&explorer);
    m_status->setObjectName(QStringLiteral("SyncStatus"));
    explorer.statusBar()->addPermanentWidget(m_status);

    m_afterSave.setSingleShot(true);
    m_afterSave.setInterval(SyncAfterSaveMs);
    connect(&m_afterSave, &QTimer::timeout, this, &SyncCommands::syncByItself);
    connect(&m_periodic, &QTimer::timeout, this, &SyncCommands::syncByItself);
    restartTimer();

    askYesNo = [this](const QString &question) { return askYesNoDefaultNo(&m_explorer, question); };
    showMessage = [this](const QString &message) {
        QMessageBox::warning(&m_explorer, QLatin1String(ApplicationTitle), message);
    };
    editSettings = [this](const SyncChoice &current) -> std::optional<SyncChoice> {
        TSyncSettingsForm form(current, &m_explorer);
        if (form.exec() != QDialog::Accepted)
            return std::nullopt;
        return form.choice();
    };

    const SyncPlace place = SyncSettings(m_context.programFolder).load();
    if (!place.target.isEmpty())
        showStatus(programText("Sync is on"), place.target);
}

SyncCommands::~SyncCommands()
{
    stop();
}

void SyncCommands::addFileMenuEntries(QMenu *menu)
{
    menu->addAction(namedSeparator(QStringLiteral("N8"), menu));
    menu->addAction(menuEntryFor(SyncNowAct, QStringLiteral("Syncnow1"), menu));
    menu->addAction(menuEntryFor(SyncSettingsAct, QStringLiteral("Syncsettings1"), menu));
}

void SyncCommands::addToolBarButton(QToolBar *toolBar)
{
    auto *button = new QToolButton(toolBar);
    button->setObjectName(QStringLiteral("SyncNow"));
    button->setDefaultAction(SyncNowAct);
    button->setFixedSize(28, 28);
    button->setAutoRaise(true);
    toolBar->addWidget(button);
}

void SyncCommands::restartTimer()
{
    const SyncPlace place = SyncSettings(m_context.programFolder).load();
    if (place.target.isEmpty() || place.everyMinutes == 0) {
        m_periodic.stop();
        return;
    }
    m_periodic.start(place.everyMinutes * 60 * 1000);
}

void SyncCommands::noteSaved()
{
    if (!SyncSettings(m_context.programFolder).load().target.isEmpty())
        m_afterSave.start();
}

void SyncCommands::SyncNowActExecute()
{
    if (SyncSettings(m_context.programFolder).load().target.isEmpty()) {
        SyncSettingsActExecute();
        return;
    }
    m_heldByUser = false;
    start(true);
}

void SyncCommands::syncByItself()
{
    // Asking again every few minutes would only nag; the status bar says it waits.
    if (!m_heldByUser)
        start(false);
}

void SyncCommands::loadSecrets(const QString &target)
{
    if (m_secretsTarget == target)
        return;
    m_secretsTarget = target;
    m_password = SyncSecrets::read(SyncSecrets::Kind::Password, target).value_or(QString());
    m_passphrase = SyncSecrets::read(SyncSecrets::Kind::Passphrase, target).value_or(QString());
}

void SyncCommands::SyncSettingsActExecute()
{
    SyncChoice current;
    current.place = SyncSettings(m_context.programFolder).load();
    if (!current.place.target.isEmpty()) {
        loadSecrets(current.place.target);
        current.password = m_password;
        current.passphrase = m_passphrase;
    }
    const std::optional<SyncChoice> chosen = editSettings(current);
    if (!chosen)
        return;
    try {
        SyncSettings(m_context.programFolder).save(chosen->place);
    } catch (const std::exception &error) {
        showMessage(QString::fromLocal8Bit(error.what()));
        return;
    }
    // The secrets stay known to this run even when the desktop has no store.
    m_secretsTarget = chosen->place.target;
    m_password = chosen->password;
    m_passphrase = chosen->passphrase;
    m_allowNewTarget = false;
    m_allowMassDelete = false;
    m_heldByUser = false;
    m_lastProblem.clear();
    if (!chosen->place.target.isEmpty()) {
        QString error;
        const bool kept =
            SyncSecrets::write(SyncSecrets::Kind::Password, chosen->place.target, chosen->password, &error)
            && SyncSecrets::write(SyncSecrets::Kind::Passphrase, chosen->place.target, chosen->passphrase, &error);
        if (!kept && (!chosen->password.isEmpty() || !chosen->passphrase.isEmpty()))
            showMessage(programText("The desktop's secret store could not keep the password and the passphrase "
                                    "(%1). Clipnest knows them until it ends.")
                            .arg(error));
    }
    restartTimer();
    if (chosen->place.target.isEmpty())
        showStatus(QString());
    else
        start(true);
}

void SyncCommands::syncForCommandLine(const QByteArray &request, std::function<void(const QByteArray &answer)> answer)
{
    m_commandLineRequests.append({SyncCommand::Overrides::fromJson(request), std::move(answer)});
    start(false);
}

void SyncCommands::start(bool byHand)
{
    m_afterSave.stop();
    if (m_thread) {
        m_again = true;
        m_againByHand = m_againByHand || byHand;
        return;
    }
    SyncRequest request;
    request.place = SyncSettings(m_context.programFolder).load();
    if (!m_commandLineRequests.isEmpty()) {
        m_commandLineRun = m_commandLineRequests.takeFirst();
        // A target given on the command line while none is set is kept, as the command does.
        if (request.place.target.isEmpty() && !m_commandLineRun->overrides.target.isEmpty()) {
            SyncPlace kept = m_commandLineRun->overrides.applyTo(request).place;
            try {
                SyncSettings(m_context.programFolder).save(kept);
                restartTimer();
            } catch (const std::exception &) {
                // Synced all the same; the settings window shows what is kept.
            }
        }
    }
    const QString target = m_commandLineRun && !m_commandLineRun->overrides.target.isEmpty()
                               ? m_commandLineRun->overrides.target
                               : request.place.target;
    if (target.isEmpty()) {
        if (m_commandLineRun) {
            SyncReport none;
            none.message = QStringLiteral("no sync target is set");
            m_commandLineRun->answer(SyncCommand::answerJson(none, target));
            m_commandLineRun.reset();
        }
        return;
    }
    loadSecrets(target);
    request.password = m_password;
    request.passphrase = m_passphrase;
    if (m_commandLineRun)
        request = m_commandLineRun->overrides.applyTo(request);
    request.computerName = QSysInfo::machineHostName();
    request.openNotes = openNotes();
    request.allowMassDelete = m_allowMassDelete;
    request.allowNewTarget = m_allowNewTarget;
    m_allowMassDelete = false;
    m_byHand = byHand;
    m_cancel = false;
    SyncNowAct->setEnabled(false);
    showStatus(programText("Syncing..."), request.place.target);

    auto report = std::make_shared<SyncReport>();
    const AppContext context = m_context;
    m_thread = QThread::create([this, context, request, report] {
        QElapsedTimer sinceShown;
        sinceShown.start();
        *report = runSync(
            context, request,
            [this, &sinceShown](const SyncProgress &progress) {
                // A few updates a second are plenty for the eye.
                if (sinceShown.elapsed() < 150 && progress.done != progress.total)
                    return;
                sinceShown.restart();
                QMetaObject::invokeMethod(
                    this,
                    [this, progress] {
                        showStatus(programText("Syncing %1 of %2").arg(grouped(progress.done), grouped(progress.total)));
                    },
                    Qt::QueuedConnection);
            },
            [this] { return m_cancel.load(); },
            [this, toldRetry = false](const QString &problem) mutable {
                // Told once a sync; the retries go on quietly after that.
                if (std::exchange(toldRetry, true))
                    return;
                QMetaObject::invokeMethod(
                    this, [this, problem] { showStatus(programText("Sync: %1. Trying again...").arg(problem), problem); },
                    Qt::QueuedConnection);
            });
    });
    connect(m_thread, &QThread::finished, this, [this, report] {
        m_thread->deleteLater();
        m_thread = nullptr;
        SyncNowAct->setEnabled(true);
        finished(*report);
        if (!m_commandLineRequests.isEmpty())
            m_again = true;
        if (m_again) {
            m_again = false;
            const bool byHand = m_againByHand;
            m_againByHand = false;
            if (byHand || !m_commandLineRequests.isEmpty() || !m_heldByUser)
                start(byHand);
        }
    });
    m_thread->start();
}

void SyncCommands::stop()
{
    m_afterSave.stop();
    m_periodic.stop();
    m_again = false;
    if (m_thread) {
        m_cancel = true;
        // The thread's own end is not waited for in the event loop any more.
        disconnect(m_thread, nullptr, this, nullptr);
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    SyncReport ending;
    ending.end = SyncEnd::Cancelled;
    if (m_commandLineRun)
        m_commandLineRun->answer(SyncCommand::answerJson(ending, QString()));
    m_commandLineRun.reset();
    for (const CommandLineRequest &request : std::exchange(m_commandLineRequests, {}))
        request.answer(SyncCommand::answerJson(ending, QString()));
}

void SyncCommands::finished(const SyncReport &report)
{
    QString target = SyncSettings(m_context.programFolder).load().target;
    if (m_commandLineRun) {
        // The command line waits for the answer and asks nothing of the user.
        if (!m_commandLineRun->overrides.target.isEmpty())
            target = m_commandLineRun->overrides.target;
        m_commandLineRun->answer(SyncCommand::answerJson(report, target));
        m_commandLineRun.reset();
        if (report.end == SyncEnd::Synced)
            showChanges(report.outcome);
        showStatus(SyncCommand::exitStatusOf(report.end) == SyncCommand::Synced
                       ? programText("Synced at %1").arg(QLocale::c().toString(QTime::currentTime(), QStringLiteral("HH:mm")))
                       : SyncCommand::describe(report, target));
        emit syncEnded(report.end);
        return;
    }
    const auto askAndAgain = [this](const QString &question, bool &allow) {
        // Yes syncs again at once with the user's leave; no holds the syncs
        // by themselves until the user syncs by hand or changes the settings.
        // They are held while the question is open too, or a timer would ask
        // it again behind it.
        m_heldByUser = true;
        if (!askYesNo(question))
            return;
        m_heldByUser = false;
        allow = true;
        m_againByHand = true;
        m_again = true;
    };
    switch (report.end) {
    case SyncEnd::Synced:
        m_lastProblem.clear();
        showChanges(report.outcome);
        showStatus(programText("Synced at %1").arg(QLocale::c().toString(QTime::currentTime(), QStringLiteral("HH:mm"))),
                   report.outcome.conflicts ? programText("%1 conflicts: search the titles for \"conflict\".")
                                                  .arg(report.outcome.conflicts)
                                            : target);
        break;
    case SyncEnd::Cancelled:
        showStatus(programText("Sync stopped"));
        break;
    case SyncEnd::MassDeleteHeld:
        showStatus(programText("Sync waits for your answer"));
        askAndAgain(programText("This sync would move %1 of your notes to the trash, more than half of them. "
                                "Sync anyway?")
                        .arg(report.outcome.deletionsHeld),
                    m_allowMassDelete);
        break;
    case SyncEnd::TargetEmpty:
    case SyncEnd::TargetUnknown:
        showStatus(programText("Sync waits for your answer"));
        askAndAgain((report.end == SyncEnd::TargetEmpty
                         ? programText("%1 holds no notes, although this collection was synced with it before. It "
                                       "may be another folder or server, or a drive that is not mounted.")
                         : programText("%1 holds another collection than the one this collection was synced with."))
                            .arg(target)
                        + QStringLiteral("\n\n")
                        + programText("Sync with it anyway? Nothing on this computer is deleted."),
                    m_allowNewTarget);
        break;
    case SyncEnd::Certificate:
        showStatus(programText("Sync waits for your answer"));
        m_heldByUser = true;
        if (askYesNo(programText("The server's certificate is not vouched for by an authority this computer "
                                 "trusts. Trust it for %1 from now on?\n\nIts key: %2")
                         .arg(target, report.certificatePin))) {
            SyncPlace place = SyncSettings(m_context.programFolder).load();
            place.certificatePin = report.certificatePin;
            try {
                SyncSettings(m_context.programFolder).save(place);
                m_heldByUser = false;
                m_again = true;
                m_againByHand = true;
            } catch (const std::exception &error) {
                showMessage(QString::fromLocal8Bit(error.what()));
            }
        }
        break;
    case SyncEnd::Passphrase:
    case SyncEnd::Failed: {
        const QString problem = report.end == SyncEnd::Passphrase
                                    ? programText("Sync: the passphrase does not open %1. Set it in the sync settings.")
                                          .arg(target)
                                    : programText("Sync failed: %1").arg(report.message);
        showStatus(problem, report.message);
        // Told once in a window when asked for by hand; a sync by itself keeps it in the status bar.
        if (m_byHand && problem != m_lastProblem)
            showMessage(problem);
        m_lastProblem = problem;
        break;
    }
    }
    emit syncEnded(report.end);
}

void SyncCommands::showChanges(const SyncOutcome &outcome)
{
    if (outcome.changedNotes.isEmpty() && outcome.changedTags.isEmpty())
        return;
    TDBDataModule &database = m_explorer.database();
    for (int noteId : outcome.changedNotes) {
        database.markNoteChanged(noteId);
        const bool stored = database.queryInteger(QStringLiteral("SELECT COUNT(*) FROM note WHERE noteid = ?"), {noteId});
        if (stored)
            m_explorer.fullTextSearch()->noteChanged(noteId);
        else
            m_explorer.fullTextSearch()->noteDeleted(noteId);
    }
    for (int tagId : outcome.changedTags)
        m_explorer.fullTextSearch()->catalogChangedBelow(tagId);
    const int noteId = m_explorer.currentNoteId();
    const int tagId = m_explorer.currentTagId();
    m_explorer.refreshCatalog(outcome.changedTags);
    m_explorer.SelectTagAndNote(noteId, tagId);
}

void SyncCommands::showStatus(const QString &text, const QString &hint)
{
    m_status->setText(text);
    m_status->setToolTip(hint);
}
