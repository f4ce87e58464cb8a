#pragma once

#include "synccommand.h"
#include "syncsession.h"
#include "syncsettingsform.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

struct AppContext;
class QAction;
class QLabel;
class QMenu;
class QThread;
class QToolBar;
class TMainForm;

// The explorer's sync: File → "Sync settings..." and "Sync now", a sync by
// itself a few seconds after a save and every few minutes, and a line in the
// status bar with the progress, the time of the last sync and what went
// wrong. A sync runs on a thread of its own with its own database connection;
// the explorer shows what it changed once it is done. Questions (the
// mass-delete guard, an empty or unknown target, a certificate to trust) are
// asked once the sync has stopped before changing anything.
class SyncCommands : public QObject
{
    Q_OBJECT

public:
    SyncCommands(TMainForm &explorer, AppContext &context);
    ~SyncCommands() override;

    void addFileMenuEntries(QMenu *menu);
    void addToolBarButton(QToolBar *toolBar);

    // An editor saved a note: sync a few seconds later, once saves have paused.
    void noteSaved();
    // Starts a sync now, unless sync is off; one that is running gets another after it.
    void SyncNowActExecute();
    // What the timers start: nothing while a question of the guard that the
    // user answered no stands, until a sync by hand or new settings.
    void syncByItself();
    void SyncSettingsActExecute();
    // A sync asked for by `clipnest --sync` while the program runs: it asks no
    // questions, and answer gets how it ended (see SyncCommand::answerJson).
    void syncForCommandLine(const QByteArray &request, std::function<void(const QByteArray &answer)> answer);
    // Stops a running sync between two items and waits for it.
    void stop();

    bool isSyncing() const { return m_thread != nullptr; }
    QLabel *statusLabel() const { return m_status; }

    QAction *SyncNowAct = nullptr;
    QAction *SyncSettingsAct = nullptr;

    // Replaced by tests.
    std::function<bool(const QString &question)> askYesNo;
    std::function<void(const QString &message)> showMessage;
    std::function<std::optional<SyncChoice>(const SyncChoice &current)> editSettings;

signals:
    // A sync has ended, however it ended.
    void syncEnded(SyncEnd end);

private:
    void start(bool byHand);
    void finished(const SyncReport &report);
    void showChanges(const SyncOutcome &outcome);
    void showStatus(const QString &text, const QString &hint = {});
    void restartTimer();
    // The secrets for the target, from the desktop's store the first time.
    void loadSecrets(const QString &target);

    TMainForm &m_explorer;
    AppContext &m_context;
    QLabel *m_status = nullptr;
    QTimer m_afterSave;
    QTimer m_periodic;
    QThread *m_thread = nullptr;
    std::atomic_bool m_cancel{false};
    bool m_again = false;
    bool m_againByHand = false;
    // What the user allowed for the next sync, once asked.
    bool m_allowMassDelete = false;
    bool m_allowNewTarget = false;
    bool m_heldByUser = false; // the user said no to the guard's question
    bool m_byHand = false;
    struct CommandLineRequest
    {
        SyncCommand::Overrides overrides;
        std::function<void(const QByteArray &answer)> answer;
    };
    QList<CommandLineRequest> m_commandLineRequests; // waiting for their turn
    std::optional<CommandLineRequest> m_commandLineRun; // the one running now
    QString m_secretsTarget; // the target m_password and m_passphrase belong to
    QString m_password;
    QString m_passphrase;
    QString m_lastProblem; // told once; the same again stays in the status bar only
};
