#include "exportcommands.h"

#include "appcontext.h"
#include "backuparchive.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "mainform.h"
#include "menuentry.h"
#include "noteexporter.h"
#include "rememberedfolder.h"
#include "tagtreeview.h"
#include "workprogress.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QUrl>

#include <stdexcept>

namespace {

// A folder chooser that also takes the name of a folder not made yet: the
// export makes it.
class ExportFolderDialog : public QFileDialog
{
public:
    ExportFolderDialog(QWidget *parent, const QString &caption, const QString &start)
        : QFileDialog(parent, caption, start)
    {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly);
    }

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        // Qt's own dialog refuses a folder that does not exist; a native one does not ask.
        if (!chosen.isEmpty() && !QFileInfo::exists(chosen.first()) && QFileInfo(chosen.first()).isAbsolute()) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

// A folder of that name inside the parent that does not exist yet.
QString freshFolder(const QString &parent, const QString &name)
{
    QString folder = QDir(parent).filePath(name);
    for (int number = 2; QFileInfo::exists(folder); ++number)
        folder = QDir(parent).filePath(QStringLiteral("%1 (%2)").arg(name).arg(number));
    return folder;
}

} // namespace

ExportCommands::ExportCommands(TMainForm &explorer, AppContext &context, TDBDataModule &database)
    : QObject(&explorer)
    , m_explorer(explorer)
    , m_context(context)
    , m_database(database)
{
    auto makeAction = [this](const char *name, const QString &caption, const char *iconName) {
        auto *action = new QAction(caption, &m_explorer);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(caption);
        action->setStatusTip(caption);
        if (iconName)
            action->setIcon(QIcon::fromTheme(QLatin1String(iconName)));
        m_explorer.addAction(action);
        return action;
    };
    ExportNoteAct = makeAction("ExportNoteAct", tr("Export note to folder..."), "x-office-document");
    ExportNodeAct = makeAction("ExportNodeAct", tr("Export node to folder..."), "x-office-document");
    ExportCatalogAct = makeAction("ExportCatalogAct", tr("Export all notes to folder..."), "x-office-document");
    BackupAct = makeAction("BackupAct", tr("Back up all notes..."), "package-x-generic");
    RestoreAct = makeAction("RestoreAct", tr("Restore from backup..."), "document-revert");
    ExportCatalogAct->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    BackupAct->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    connect(ExportNoteAct, &QAction::triggered, this, &ExportCommands::ExportNoteActExecute);
    connect(ExportNodeAct, &QAction::triggered, this, &ExportCommands::ExportNodeActExecute);
    connect(ExportCatalogAct, &QAction::triggered, this, &ExportCommands::ExportCatalogActExecute);
    connect(BackupAct, &QAction::triggered, this, &ExportCommands::BackupActExecute);
    connect(RestoreAct, &QAction::triggered, this, &ExportCommands::RestoreActExecute);

    chooseFolder = [this](const QString &caption, const QString &start) {
        ExportFolderDialog dialog(&m_explorer, caption, start);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                       : QString();
    };
    chooseBackupFile = [this](const QString &caption, const QString &suggested) {
        return QFileDialog::getSaveFileName(&m_explorer, caption, suggested, text(QStringLiteral("BackupFilter")));
    };
    chooseArchive = [this](const QString &caption, const QString &start) {
        return QFileDialog::getOpenFileName(&m_explorer, caption, start, text(QStringLiteral("BackupFilter")));
    };
    askYesNo = [this](const QString &question) {
        return QMessageBox::question(&m_explorer, QLatin1String(ApplicationTitle), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    showMessage = [this](const QString &message) {
        QMessageBox::information(&m_explorer, QLatin1String(ApplicationTitle), message);
    };
    openInBrowser = [](const QString &indexFile) { QDesktopServices::openUrl(QUrl::fromLocalFile(indexFile)); };
    startProgram = [](const QStringList &arguments) {
        return QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments);
    };
}

QString ExportCommands::text(const QString &key) const
{
    return m_context.messages.shown(key);
}

void ExportCommands::addFileMenuEntries(QMenu *menu)
{
    menu->addAction(namedSeparator(QStringLiteral("N5"), menu));
    menu->addAction(menuEntryFor(ExportNoteAct, QStringLiteral("Exportnote1"), menu));
    menu->addAction(menuEntryFor(ExportNodeAct, QStringLiteral("Exportnode1"), menu));
    menu->addAction(menuEntryFor(ExportCatalogAct, QStringLiteral("Exportall1"), menu));
    menu->addAction(namedSeparator(QStringLiteral("N6"), menu));
    menu->addAction(menuEntryFor(BackupAct, QStringLiteral("Backup1"), menu));
    menu->addAction(menuEntryFor(RestoreAct, QStringLiteral("Restore1"), menu));
}

void ExportCommands::addTreeMenuEntries(QMenu *menu)
{
    menu->addAction(namedSeparator(QStringLiteral("N7"), menu));
    menu->addAction(menuEntryFor(ExportNodeAct, QStringLiteral("ExportNodeMenu"), menu));
    menu->addAction(menuEntryFor(ExportCatalogAct, QStringLiteral("ExportAllMenu"), menu));
}

void ExportCommands::addNoteMenuEntries(QMenu *menu)
{
    menu->addAction(menuEntryFor(ExportNoteAct, QStringLiteral("ExportNoteMenu"), menu));
}

void ExportCommands::ExportNoteActExecute()
{
    const NoteListRecord *record = m_explorer.notes().selectedNote();
    if (!record) {
        showMessage(text(QStringLiteral("ExportEmpty")));
        return;
    }
    exportScope(ExportScope::note(record->noteid));
}

void ExportCommands::ExportNodeActExecute()
{
    // The node the user picked in the tree, also by the right-click that opened its menu.
    const TagTreeItem *node = m_explorer.TagTreeView_()->selectedTag();
    if (!node) {
        showMessage(text(QStringLiteral("ExportEmpty")));
        return;
    }
    exportScope(ExportScope::node(node->record.tagid));
}

void ExportCommands::ExportCatalogActExecute()
{
    exportScope(ExportScope::catalog());
}

void ExportCommands::exportScope(const ExportScope &scope)
{
    ExportTexts texts;
    texts.catalogTitle = text(QStringLiteral("ExportIndexTitle"));
    texts.attachments = text(QStringLiteral("ExportAttachments"));
    texts.missingNote = text(QStringLiteral("ExportMissingNote"));
    texts.source = text(QStringLiteral("ExportSource"));
    NoteExporter exporter(m_database, m_context.dataFolder);
    ExportResult result;
    try {
        const int total = exporter.countNotes(scope);
        if (total == 0) {
            showMessage(text(QStringLiteral("ExportEmpty")));
            return;
        }
        const RememberedFolder lastFolder(m_context.programFolder, QStringLiteral("export"));
        const QString parent = chooseFolder(text(QStringLiteral("ExportCaption")), lastFolder.folder());
        if (parent.isEmpty())
            return;
        // The folder chosen may be new: the export makes it with the notes.
        lastFolder.rememberFolder(parent);
        const QString target = freshFolder(parent, exporter.suggestedFolderName(scope, texts));

        // The database belongs to this thread, so the export runs here; the
        // modal dialog keeps the user's hands off the notes meanwhile.
        QProgressDialog progress(text(QStringLiteral("ExportProgress")), text(QStringLiteral("Cancel")), 0, total,
                                 &m_explorer);
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(400);
        result = exporter.exportTo(scope, target, texts, [&progress](int done, int) {
            progress.setValue(done);
            return !progress.wasCanceled();
        });
        progress.reset();
        if (progress.wasCanceled())
            return;
    } catch (const std::exception &error) {
        showMessage(text(QStringLiteral("ExportFailed")).arg(QString::fromUtf8(error.what())));
        return;
    }
    if (!result.problems.isEmpty())
        showMessage(text(QStringLiteral("ExportMissing")) + QLatin1Char('\n') +
                    result.problems.mid(0, 20).join(QLatin1Char('\n')));
    if (askYesNo(m_context.messages.counted(QStringLiteral("ExportDone"), result.notes)
                     .arg(result.notes)
                     .arg(QDir::toNativeSeparators(QFileInfo(result.indexFile).absolutePath()))))
        openInBrowser(result.indexFile);
}

void ExportCommands::BackupActExecute()
{
    const RememberedFolder lastFolder(m_context.programFolder, QStringLiteral("backup"));
    const QString archive =
        chooseBackupFile(text(QStringLiteral("BackupCaption")),
                         QDir(lastFolder.folder()).filePath(BackupArchive::suggestedFileName(QDate::currentDate())));
    if (archive.isEmpty())
        return;
    lastFolder.rememberFileIn(archive);
    try {
        BackupSummary summary;
        summary.made = QDateTime::currentDateTime();
        summary.nodes = m_database.queryInteger(QStringLiteral("select count(*) from tags"));
        summary.notes = m_database.queryInteger(QStringLiteral("select count(*) from note"));
        summary.attachments = m_database.queryInteger(QStringLiteral("select count(*) from attachment"));
        const QString programFolder = m_context.programFolder;
        runWithProgressDialog(
            &m_explorer, text(QStringLiteral("BackupProgress")), text(QStringLiteral("Cancel")),
            [&](const WorkProgress &progress) { BackupArchive::create(programFolder, archive, summary, progress); });
        showMessage(m_context.messages.counted(QStringLiteral("BackupDone"), summary.notes)
                        .arg(summary.notes)
                        .arg(QDir::toNativeSeparators(archive)));
    } catch (const BackupStopped &) {
    } catch (const std::exception &error) {
        showMessage(text(QStringLiteral("BackupFailed")).arg(QString::fromUtf8(error.what())));
    }
}

void ExportCommands::RestoreActExecute()
{
    // Restoring replaces the database under the whole program, so it happens in
    // a new start; an editor open now would lose its changes.
    if (!TEditorForm::openEditors().isEmpty()) {
        showMessage(text(QStringLiteral("RestoreCloseEditors")));
        return;
    }
    const RememberedFolder lastFolder(m_context.programFolder, QStringLiteral("restore"));
    const QString archive = chooseArchive(text(QStringLiteral("RestoreCaption")), lastFolder.folder());
    if (archive.isEmpty())
        return;
    lastFolder.rememberFileIn(archive);
    try {
        BackupArchive::inspect(archive);
    } catch (const std::exception &error) {
        showMessage(text(QStringLiteral("RestoreFailed")).arg(QString::fromUtf8(error.what())));
        return;
    }
    if (!startProgram({QStringLiteral("--restore"), archive})) {
        showMessage(text(QStringLiteral("RestoreFailed")).arg(QCoreApplication::applicationFilePath()));
        return;
    }
    if (m_explorer.exitProgram)
        m_explorer.exitProgram();
}
