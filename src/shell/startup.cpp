#include "startup.h"

#include "aboutform.h"
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "dropform.h"
#include "editorform.h"
#include "infoform.h"
#include "instanceguard.h"
#include "interfacelanguage.h"
#include "mainform.h"
#include "pendingrecovery.h"
#include "settings.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QTreeWidget>

ClipnestProgram::ClipnestProgram(const QString &programFolder)
    : m_context(programFolder)
    , m_language(std::make_unique<InterfaceLanguage>(m_context))
{
}

ClipnestProgram::~ClipnestProgram()
{
    m_context.catalogPaths.clear();
    // Editors still open go without saving.
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
    m_database = std::make_unique<TDBDataModule>(m_context.databasePath());
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
    };
    m_explorer->showAbout = [this] {
        m_about->show();
        m_about->raise();
        m_about->activateWindow();
    };
    m_explorer->exitProgram = [this] { exit(); };
    QObject::connect(m_dropBox.get(), &TDropForm::exitRequested, m_dropBox.get(), [this] { exit(); });

    // Without a window manager "maximised" means nothing, so start at full size.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_explorer->setGeometry(screen->availableGeometry());
    m_explorer->showMaximized();
    m_explorer->LoadTagTree(QString());
    m_explorer->noteList()->header()->update();

    const LoadedSettings settings = Settings(m_context.programFolder).loadSettings();
    m_dropBox->setDoubleClickChoice(settings.defaultClick);
    m_context.dataFolder = settings.dataFolder;
    m_context.languageFileName = settings.languageFileName;
    // Saves and deletions that an earlier run left half done are finished or undone
    // before anything else touches the data folder.
    const RecoveryReport recovery = recoverPendingWork(*m_database, m_context.pendingFolder(), m_context.dataFolder);
    for (const QString &problem : recovery.problems)
        qWarning("Unfinished work left for the next start: %s", qPrintable(problem));
    if (recovery.adoptedNotes > 0)
        m_explorer->LoadTagTree(QString());
    m_language->applyAtStart(m_dropBox.get(), m_explorer.get());

    m_context.catalogPaths = m_database->loadCatalogPaths();
    m_dropBox->show();
}

TEditorForm *ClipnestProgram::newEditor()
{
    auto *editor = new TEditorForm(m_context, *m_database);
    m_language->applyToEditor(editor, m_context.languageFileName);
    editor->setDropBoxWindow(m_dropBox.get());
    editor->setExplorerWindow(m_explorer.get());
    return editor;
}

void ClipnestProgram::exit()
{
    if (m_explorer)
        m_explorer->ClearExplorer();
    if (m_dropBox)
        m_dropBox->closeForExit();
    // exit(), not quit(): quit() asks every window to close, and the explorer only hides.
    QCoreApplication::exit(0);
}

int runClipnest(const QString &programFolder)
{
    InstanceGuard guard;
    if (!guard.tryAcquire()) {
        QMessageBox refusal(QMessageBox::NoIcon, QStringLiteral("Error"),
                            QStringLiteral("Clipnest is already running."), QMessageBox::Ok);
        refusal.exec();
        return 1;
    }

    ClipnestProgram program(programFolder);
    try {
        program.bringUp();
    } catch (const DbError &error) {
        // The program does not run without its database.
        ClipnestApplication::reportError(error.message());
        return 1;
    }
    const int status = QCoreApplication::exec();
    program.context().catalogPaths.clear();
    guard.release();
    return status;
}
