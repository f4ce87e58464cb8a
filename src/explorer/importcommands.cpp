#include "importcommands.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "eneximport.h"
#include "fulltextsearch.h"
#include "importreport.h"
#include "mainform.h"
#include "markdownimport.h"
#include "menuentry.h"
#include "rememberedfolder.h"
#include "zimimport.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace {

QString captionOf(const QAction *action)
{
    QString caption = action->text();
    if (caption.endsWith(QLatin1String("...")))
        caption.chop(3);
    return caption;
}

} // namespace

ImportCommands::ImportCommands(TMainForm &explorer, AppContext &context, TDBDataModule &database)
    : QObject(&explorer)
    , m_explorer(explorer)
    , m_context(context)
    , m_database(database)
{
    ImportEnexAct = newAction(QStringLiteral("ImportEnexAct"), tr("Evernote (.enex)..."));
    connect(ImportEnexAct, &QAction::triggered, this, &ImportCommands::ImportEnexActExecute);
    ImportMarkdownAct = newAction(QStringLiteral("ImportMarkdownAct"), tr("Markdown folder..."));
    connect(ImportMarkdownAct, &QAction::triggered, this, &ImportCommands::ImportMarkdownActExecute);
    ImportZimAct = newAction(QStringLiteral("ImportZimAct"), tr("Zim notebook..."));
    connect(ImportZimAct, &QAction::triggered, this, &ImportCommands::ImportZimActExecute);

    chooseFiles = [this](const QString &caption, const QString &start) {
        return QFileDialog::getOpenFileNames(&m_explorer, caption, start, text(QStringLiteral("ImportFilter")));
    };
    chooseFolder = [this](const QString &caption, const QString &start) {
        return QFileDialog::getExistingDirectory(&m_explorer, caption, start);
    };
    askAgain = [this](const QString &question) {
        QMessageBox box(QMessageBox::Question, QLatin1String(ApplicationTitle), question, QMessageBox::NoButton,
                        &m_explorer);
        QPushButton *skip = box.addButton(text(QStringLiteral("ImportSkipButton")), QMessageBox::AcceptRole);
        QPushButton *again = box.addButton(text(QStringLiteral("ImportAgainButton")), QMessageBox::DestructiveRole);
        box.addButton(text(QStringLiteral("Cancel")), QMessageBox::RejectRole);
        box.setDefaultButton(skip);
        box.exec();
        return box.clickedButton() == skip    ? AgainAnswer::Skip
               : box.clickedButton() == again ? AgainAnswer::Import
                                              : AgainAnswer::LeaveOut;
    };
    showReport = [this](const EnexImportReport &report) {
        ImportReportDialog dialog(report, m_context.messages, &m_explorer);
        if (!m_reportCaption.isEmpty())
            dialog.setWindowTitle(m_reportCaption);
        dialog.exec();
    };
}

QString ImportCommands::text(const QString &key) const
{
    return m_context.messages.shown(key);
}

QAction *ImportCommands::newAction(const QString &name, const QString &caption)
{
    auto *action = new QAction(caption, &m_explorer);
    action->setObjectName(name);
    action->setToolTip(caption);
    action->setStatusTip(caption);
    action->setIcon(QIcon::fromTheme(QStringLiteral("document-import")));
    m_explorer.addAction(action);
    return action;
}

void ImportCommands::addFileMenuEntries(QMenu *menu)
{
    QMenu *import = menu->addMenu(tr("Import"));
    import->setObjectName(QStringLiteral("ImportMenu"));
    import->menuAction()->setObjectName(QStringLiteral("ImportMenu"));
    import->addAction(menuEntryFor(ImportEnexAct, QStringLiteral("ImportEnex1"), import));
    import->addAction(menuEntryFor(ImportMarkdownAct, QStringLiteral("ImportMarkdown1"), import));
    import->addAction(menuEntryFor(ImportZimAct, QStringLiteral("ImportZim1"), import));
}

void ImportCommands::ImportEnexActExecute()
{
    const RememberedFolder lastFolder(m_context.programFolder, QStringLiteral("import"));
    const QStringList files = chooseFiles(text(QStringLiteral("ImportCaption")), lastFolder.folder());
    if (files.isEmpty())
        return;
    lastFolder.rememberFileIn(files.first());
    importFiles(files);
}

void ImportCommands::importFiles(const QStringList &files)
{
    m_reportCaption.clear();
    EnexImport import(m_database, m_context.dataFolder);
    QList<QPair<QString, EnexImport::Again>> chosen;
    qint64 totalBytes = 0;
    for (const QString &file : files) {
        EnexImport::Again again = EnexImport::Again::Skip;
        if (import.importedBefore(file)) {
            const AgainAnswer answer =
                askAgain(text(QStringLiteral("ImportAgainQuestion")).arg(QFileInfo(file).fileName()));
            if (answer == AgainAnswer::LeaveOut)
                continue;
            again = answer == AgainAnswer::Import ? EnexImport::Again::Import : EnexImport::Again::Skip;
        }
        chosen.append({file, again});
        totalBytes += QFileInfo(file).size();
    }
    if (chosen.isEmpty())
        return;

    // The database belongs to this thread, so the import runs here; the modal
    // dialog keeps the user's hands off the notes meanwhile.
    constexpr int Steps = 1000;
    QProgressDialog progress(text(QStringLiteral("ImportProgress")), text(QStringLiteral("Cancel")), 0, Steps,
                             &m_explorer);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(400);
    EnexImportReport report;
    qint64 bytesBefore = 0;
    for (const auto &[file, again] : chosen) {
        const EnexImportReport one = import.importFile(file, again, [&](qint64 done, qint64) {
            progress.setValue(totalBytes > 0 ? int((bytesBefore + done) * Steps / totalBytes) : 0);
            return !progress.wasCanceled();
        });
        report.add(one);
        bytesBefore += QFileInfo(file).size();
        if (one.cancelled)
            break;
    }
    progress.reset();
    finish(report);
}

void ImportCommands::ImportMarkdownActExecute()
{
    chooseAndImportFolder(ImportMarkdownAct, FolderKind::Markdown);
}

void ImportCommands::ImportZimActExecute()
{
    chooseAndImportFolder(ImportZimAct, FolderKind::Zim);
}

void ImportCommands::chooseAndImportFolder(QAction *action, FolderKind kind)
{
    const RememberedFolder lastFolder(m_context.programFolder, QStringLiteral("import"));
    const QString folder = chooseFolder(captionOf(action), lastFolder.folder());
    if (folder.isEmpty())
        return;
    lastFolder.rememberFileIn(folder);
    importFolder(folder, kind);
}

void ImportCommands::importFolder(const QString &folder, FolderKind kind)
{
    m_reportCaption = captionOf(kind == FolderKind::Zim ? ImportZimAct : ImportMarkdownAct);
    QProgressDialog progress(text(QStringLiteral("ImportProgress")), text(QStringLiteral("Cancel")), 0, 1, &m_explorer);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(400);
    const auto advance = [&](qint64 done, qint64 total) {
        progress.setMaximum(int(total));
        progress.setValue(int(done));
        return !progress.wasCanceled();
    };
    const EnexImportReport report =
        kind == FolderKind::Zim ? ZimImport(m_database, m_context.dataFolder).importNotebook(folder, advance)
                                : MarkdownImport(m_database, m_context.dataFolder).importFolder(folder, advance);
    progress.reset();
    finish(report);
}

void ImportCommands::finish(const EnexImportReport &report)
{
    if (!report.noteIds.isEmpty()) {
        if (FullTextSearch *search = m_explorer.fullTextSearch()) {
            for (int noteId : report.noteIds)
                search->noteChanged(noteId);
        }
        m_explorer.refreshCatalog(QSet<int>(report.tagIds.begin(), report.tagIds.end()));
        const int last = report.noteIds.last();
        m_explorer.SelectTagAndNote(
            last, m_database.queryInteger(QStringLiteral("select tagid from note where noteid=?"), {last}));
    }
    showReport(report);
}
