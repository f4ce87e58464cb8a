#include "importcommands.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "eneximport.h"
#include "fulltextsearch.h"
#include "importreport.h"
#include "importrequest.h"
#include "importsummary.h"
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
#include <QTimer>

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
    Chosen chosen;
    for (const QString &file : files) {
        EnexImport::Again again = EnexImport::Again::Skip;
        if (import.importedBefore(file)) {
            const AgainAnswer answer =
                askAgain(text(QStringLiteral("ImportAgainQuestion")).arg(QFileInfo(file).fileName()));
            if (answer == AgainAnswer::LeaveOut)
                continue;
            again = answer == AgainAnswer::Import ? EnexImport::Again::Import : EnexImport::Again::Skip;
        }
        chosen.append({file, SourceKind::Enex, again});
    }
    if (chosen.isEmpty())
        return;
    showReport(runImport(chosen));
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
    showReport(runImport({{folder, kind == FolderKind::Zim ? SourceKind::Zim : SourceKind::Markdown}}));
}

void ImportCommands::importForCommandLine(const QByteArray &request, std::function<void(const QByteArray &answer)> answer)
{
    m_waitingRequests.append({request, std::move(answer)});
    if (!m_importing)
        runWaitingRequests();
}

void ImportCommands::runWaitingRequests()
{
    while (!m_waitingRequests.isEmpty() && !m_importing) {
        const auto [request, answer] = m_waitingRequests.takeFirst();
        Chosen chosen;
        for (const QString &path : ImportRequest::filesOf(request)) {
            const SourceKind kind = !QFileInfo(path).isDir()      ? SourceKind::Enex
                                    : ZimImport::isNotebook(path) ? SourceKind::Zim
                                                                  : SourceKind::Markdown;
            chosen.append({path, kind});
        }
        ImportRequest::Answer told;
        if (chosen.isEmpty()) {
            told.lines << QStringLiteral("clipnest: no files to import");
        } else {
            const EnexImportReport report = runImport(chosen);
            told.status = report.withProblems > 0 || report.cancelled ? 1 : 0;
            told.lines << importSummary(report, m_context.messages) << importProblemLines(report, m_context.messages);
        }
        answer(ImportRequest::answerJson(told));
    }
}

EnexImportReport ImportCommands::runImport(const Chosen &chosen)
{
    // A request of a later start waits while this runs; the progress window
    // turns the event loop.
    m_importing = true;
    // The database belongs to this thread, so the import runs here; the modal
    // dialog keeps the user's hands off the notes meanwhile.
    constexpr int Steps = 1000;
    QProgressDialog progress(text(QStringLiteral("ImportProgress")), text(QStringLiteral("Cancel")), 0, Steps,
                             &m_explorer);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(400);
    EnexImportReport report;
    for (qsizetype index = 0; index < chosen.size(); ++index) {
        const Source &source = chosen.at(index);
        // Each source takes an equal share of the bar.
        const auto advance = [&](qint64 done, qint64 total) {
            const double part = total > 0 ? double(done) / double(total) : 0.0;
            progress.setValue(int((double(index) + part) * Steps / double(chosen.size())));
            return !progress.wasCanceled();
        };
        EnexImportReport one;
        switch (source.kind) {
        case SourceKind::Enex:
            one = EnexImport(m_database, m_context.dataFolder).importFile(source.path, source.again, advance);
            break;
        case SourceKind::Markdown:
            one = MarkdownImport(m_database, m_context.dataFolder).importFolder(source.path, advance);
            break;
        case SourceKind::Zim:
            one = ZimImport(m_database, m_context.dataFolder).importNotebook(source.path, advance);
            break;
        }
        report.add(one);
        if (one.cancelled)
            break;
    }
    progress.reset();
    showStored(report);
    m_importing = false;
    if (!m_waitingRequests.isEmpty())
        QTimer::singleShot(0, this, &ImportCommands::runWaitingRequests);
    return report;
}

void ImportCommands::showStored(const EnexImportReport &report)
{
    if (report.noteIds.isEmpty())
        return;
    if (FullTextSearch *search = m_explorer.fullTextSearch()) {
        for (int noteId : report.noteIds)
            search->noteChanged(noteId);
    }
    m_explorer.refreshCatalog(QSet<int>(report.tagIds.begin(), report.tagIds.end()));
    const int last = report.noteIds.last();
    m_explorer.SelectTagAndNote(last,
                                m_database.queryInteger(QStringLiteral("select tagid from note where noteid=?"), {last}));
}
