#include "startup.h"


#include "aboutform.h"
#include "catalogprefetch.h"
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "dropform.h"
#include "editorform.h"
#include "enginesignals.h"
#include "everyhistoryprune.h"
#include "fulltextsearch.h"
#include "importcommands.h"
#include "importrequest.h"
#include "infoform.h"
#include "instanceguard.h"
#include "interfacelanguage.h"
#include "mainform.h"
#include "pendingrecovery.h"
#include "restoreatstart.h"
#include "runningcopy.h"
#include "settings.h"
#include "signalbridge.h"
#include "synccommands.h"
#include "tagtreeview.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

// Ends the process at a deadline unless it is released first.
class ProcessDeadline
{
public:
    explicit ProcessDeadline(int milliseconds)
        : m_thread([this, milliseconds] {
            std::unique_lock lock(m_mutex);
            if (!m_released.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_done; }))
                std::_Exit(1);
        })
    {
    }
    ~ProcessDeadline()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_released.notify_one();
        m_thread.join();
    }
    ProcessDeadline(const ProcessDeadline &) = delete;
    ProcessDeadline &operator=(const ProcessDeadline &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_done = false;
    std::thread m_thread;
};

namespace {

constexpr int EndWithinMs = 9000;

void closeOpenBoxes()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialog->reject();
    }
}

} // namespace

ClipnestProgram::ClipnestProgram(const QString &programFolder)
    : m_context(programFolder)
    , m_language(std::make_unique<InterfaceLanguage>(m_context))
{
}

ClipnestProgram::~ClipnestProgram()
{
    m_runningCopy.reset();
    m_context.catalogPaths.clear();
    // Editors still open here were never asked to close (exit() closes them
    // all); they go without saving.
    qDeleteAll(TEditorForm::openEditors());
    m_info.reset();
    m_about.reset();
    m_explorer.reset();
    m_database.reset();
    m_dropBox.reset();
}

void ClipnestProgram::bringUp()
{
    m_dropBox = std::make_unique<TDropForm>(m_context);
    // The drop box's creation writes the default settings file. Asked again here
    // (nothing is done once the file exists) so that a failure can be told once
    // the windows are up.
    QString settingsProblem;
    Settings(m_context.programFolder).writeDefaultSettings(&settingsProblem);
    m_database = std::make_unique<TDBDataModule>(m_context.databasePath());
    // The catalog is read beside the making of the windows, which takes as long.
    CatalogRowsPrefetch catalogRows(m_context.databasePath());
    m_explorer = std::make_unique<TMainForm>(m_context, *m_database);
    m_about = std::make_unique<TaboutForm>(m_context);
    m_info = std::make_unique<TInfoForm>();

    m_explorer->setDropBoxWindow(m_dropBox.get());
    m_dropBox->setExplorer(m_explorer.get());
    m_dropBox->setInfoWindow(m_info.get());
    m_dropBox->createEditor = [this] { return newEditor(); };
    m_explorer->createEditor = [this] { return newEditor(); };
    m_explorer->switchLanguage = [this](const QString &file) {
        m_language->switchLanguage(file, m_dropBox.get(), m_explorer.get());
        m_explorer->showLanguage(file);
    };
    m_explorer->showAbout = [this] {
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
    };
    m_explorer->exitProgram = [this] { exit(); };
    m_explorer->showDropBox = [this] {
        m_dropBox->show();
        m_dropBox->raise();
    };
    QObject::connect(m_dropBox.get(), &TDropForm::exitRequested, m_dropBox.get(), [this] { exit(); });

    // Without a window manager "maximised" means nothing, so start at full size.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_explorer->setGeometry(screen->availableGeometry());
    m_explorer->showMaximized();
    if (std::optional<QList<TagRecord>> rows = catalogRows.take())
        m_explorer->LoadTagTree(*rows);
    else
        m_explorer->LoadTagTree(QString());
    m_explorer->noteList()->header()->update();

    const LoadedSettings settings = Settings(m_context.programFolder).loadSettings();
    m_dropBox->setDoubleClickChoice(settings.defaultClick);
    m_context.dataFolder = settings.dataFolder;
    m_context.languageFileName = settings.languageFileName;
    m_context.history = settings.history;
    m_context.trashDays = settings.trashDays;
    // Saves and deletions that an earlier run left half done are finished or undone
    // before anything else touches the data folder.
    const RecoveryReport recovery = recoverPendingWork(*m_database, m_context.pendingFolder(), m_context.dataFolder);
    for (const QString &problem : recovery.problems)
        qWarning("Unfinished work left for the next start: %s", qPrintable(problem));
    if (recovery.adoptedNotes > 0)
        m_explorer->LoadTagTree(QString());
    // Notes trashed longer ago than the setting go for good.
    try {
        m_explorer->noteTrash().settle(m_context.trashDays);
    } catch (const DbError &error) {
        qWarning("The trash could not be emptied: %s", qPrintable(error.message()));
    }
    m_explorer->trashCommands().refresh();
    // Versions of notes not saved again since go by the keeping rule all the same.
    pruneEveryNoteHistory(m_context.dataFolder, m_context.history);
    m_language->applyAtStart(m_dropBox.get(), m_explorer.get());
    m_explorer->showLanguage(m_context.languageFileName);

    m_explorer->fullTextSearch()->start();
    m_explorer->TagTreeView_()->prepareTitleSearch(*m_database);
    m_dropBox->show();
    // The note view is made once the window has shown its catalog.
    QTimer::singleShot(0, m_explorer.get(), [explorer = m_explorer.get()] { explorer->content(); });
    if (settingsProblem.isEmpty())
        settingsProblem = settings.writeError;
    if (!settingsProblem.isEmpty())
        QTimer::singleShot(0, m_explorer.get(),
                           [settingsProblem] { ClipnestApplication::reportError(settingsProblem); });
}

TEditorForm *ClipnestProgram::newEditor()
{
    auto *editor = new TEditorForm(m_context, *m_database);
    m_language->applyToEditor(editor, m_context.languageFileName);
    editor->setDropBoxWindow(m_dropBox.get());
    editor->setExplorerWindow(m_explorer.get());
    return editor;
}

bool ClipnestProgram::exit()
{
    if (m_exiting)
        return false; // already asked; the editors' questions are still open
    const QScopedValueRollback<bool> exiting(m_exiting, true);
    QList<QPointer<TEditorForm>> editors;
    for (TEditorForm *editor : TEditorForm::openEditors())
        editors << editor;
    for (const QPointer<TEditorForm> &editor : editors) {
        if (editor && editor->isSaving()) {
            // A save is waiting for its view; the exit comes back when it is done.
            QTimer::singleShot(200, m_dropBox.get(), [this] { exit(); });
            return false;
        }
    }
    // The questions and messages of one editor's close run their own loops;
    // an editor closed by the user meanwhile is simply skipped.
    for (const QPointer<TEditorForm> &editor : editors) {
        if (editor && m_endingNow) {
            editor->closeForExit();
            continue;
        }
        if (editor && !editor->close()) {
            editor->raise();
            editor->activateWindow();
            return false;
        }
    }
    if (m_explorer)
        m_explorer->ClearExplorer();
    if (m_dropBox)
        m_dropBox->closeForExit();
    // exit(), not quit(): quit() asks every window to close, and the explorer only hides.
    QCoreApplication::exit(0);
    return true;
}

void ClipnestProgram::showWindows()
{
    m_dropBox->show();
    m_dropBox->raise();
    m_dropBox->ShowMainActExecute();
}

void ClipnestProgram::endOnSignals(SignalBridge *startUpSignals)
{
    if (m_signals)
        return;
    if (startUpSignals) {
        QObject::disconnect(startUpSignals, nullptr, nullptr, nullptr);
        startUpSignals->reinstall();
        m_signals = startUpSignals;
    } else {
        // A start without the one of main(), which has left them to the program already.
        leaveTerminationSignalsToTheProgram();
        m_ownSignals = std::make_unique<SignalBridge>();
        m_signals = m_ownSignals.get();
    }
    QObject::connect(m_signals, &SignalBridge::received, m_signals, [this] { exitOnSignal(); });
}

void ClipnestProgram::exitOnSignal()
{
    if (!m_endingNow) {
        m_endingNow = true;
        // Whatever waits meanwhile, the program is gone well within the ten
        // seconds a session gives before it kills: every save is atomic, and
        // the database survives an end at any moment.
        m_deadline = std::make_unique<ProcessDeadline>(EndWithinMs);
        // Boxes opened inside a save, or by the exit itself, are answered as
        // their Close button would, again and again until the loop ends.
        auto *closer = new QTimer(m_signals);
        QObject::connect(closer, &QTimer::timeout, closer, &closeOpenBoxes);
        closer->start(100);
        closeOpenBoxes();
    }
    exit();
}

bool ClipnestProgram::listenForLaterStarts(const QString &runtimeFolder)
{
    m_runningCopy = std::make_unique<RunningCopy>();
    QObject::connect(m_runningCopy.get(), &RunningCopy::showRequested, m_runningCopy.get(), [this] { showWindows(); });
    m_runningCopy->syncHandler = [this](const QByteArray &request, std::function<void(const QByteArray &)> answer) {
        if (m_explorer) {
            m_explorer->syncCommands()->syncForCommandLine(request, std::move(answer));
        } else {
            // Still starting: the asker is told at once rather than left waiting.
            SyncReport notYet;
            notYet.message = QStringLiteral("Clipnest is still starting: try again in a moment");
            answer(SyncCommand::answerJson(notYet, QString()));
        }
    };
    m_runningCopy->importHandler = [this](const QByteArray &request, std::function<void(const QByteArray &)> answer) {
        if (m_explorer) {
            m_explorer->importCommands()->importForCommandLine(request, std::move(answer));
        } else {
            ImportRequest::Answer notYet;
            notYet.lines << QStringLiteral("clipnest: Clipnest is still starting: try again in a moment");
            answer(ImportRequest::answerJson(notYet));
        }
    };
    return m_runningCopy->listen(runtimeFolder);
}

void endStartUpOnSignals(SignalBridge &bridge)
{
    // Every event loop returns, those of the boxes too, and the start goes no further.
    QObject::connect(&bridge, &SignalBridge::received, &bridge, [] { QCoreApplication::exit(1); });
}

int runClipnest(const QString &programFolder, SignalBridge *startUpSignals)
{
    const auto endedBySignal = [startUpSignals] { return startUpSignals && startUpSignals->hasReceived(); };
    // Released last, after the database: a new start never opens it while this
    // copy still holds it.
    InstanceGuard guard;
    if (!guard.tryAcquire()) {
        // The running copy comes into view, so it is never out of reach.
        RunningCopy::askToShow(InstanceGuard::runtimeFolder());
        QMessageBox refusal(QMessageBox::NoIcon, QStringLiteral("Error"),
                            QStringLiteral("Clipnest is already running."), QMessageBox::Ok);
        refusal.exec();
        return 1;
    }

    // A restore cut short is finished or undone before the database is opened.
    RestoreAtStart(programFolder, QString()).recoverInterrupted();
    if (endedBySignal())
        return 1;

    ClipnestProgram program(programFolder);
    try {
        program.bringUp();
    } catch (const DbError &error) {
        // The program does not run without its database.
        ClipnestApplication::reportError(error.message());
        return 1;
    }
    if (endedBySignal())
        return 1;
    program.endOnSignals(startUpSignals);
    program.listenForLaterStarts(InstanceGuard::runtimeFolder());
    return QCoreApplication::exec();
}
