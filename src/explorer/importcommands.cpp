#include "importcommands.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "eneximport.h"
#include "fulltextsearch.h"
#include "importreport.h"
#include "importrequest.h"
#include "importsummary.h"
#include "mainform.h"
#include "menuentry.h"
#include "rememberedfolder.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

ImportCommands::ImportCommands(TMainForm &explorer, AppContext &context, TDBDataModule &database)
    : QObject(&explorer)
    , m_explorer(explorer)
    , m_context(context)
    , m_database(database)
{
    ImportEnexAct = new QAction(tr("Evernote (.enex)..."), &m_explorer);
    ImportEnexAct->setObjectName(QStringLiteral("ImportEnexAct"));
    ImportEnexAct->setToolTip(ImportEnexAct->text());
    ImportEnexAct->setStatusTip(ImportEnexAct->text());
    ImportEnexAct->setIcon(QIcon::fromTheme(QStringLiteral("document-import")));
    m_explorer.addAction(ImportEnexAct);
    connect(ImportEnexAct, &QAction::triggered, this, &ImportCommands::ImportEnexActExecute);

    chooseFiles = [this](const QString &caption, const QString &start) {
        return QFileDialog::getOpenFileNames(&m_explorer, caption, start, text(QStringLiteral("ImportFilter")));
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
        dialog.exec();
    };
}

QString ImportCommands::text(const QString &key) const
{
    return m_context.messages.shown(key);
}

void ImportCommands::addFileMenuEntries(QMenu *menu)
{
    QMenu *import = menu->addMenu(tr("Import"));
    import->setObjectName(QStringLiteral("ImportMenu"));
    import->menuAction()->setObjectName(QStringLiteral("ImportMenu"));
    import->addAction(menuEntryFor(ImportEnexAct, QStringLiteral("ImportEnex1"), import));
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
        chosen.append({file, again});
    }
    if (chosen.isEmpty())
        return;
    showReport(runImport(chosen));
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
        for (const QString &file : ImportRequest::filesOf(request))
            chosen.append({file, EnexImport::Again::Skip});
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
    qint64 totalBytes = 0;
    for (const auto &one : chosen)
        totalBytes += QFileInfo(one.first).size();
    EnexImport import(m_database, m_context.dataFolder);

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
    m_importing = false;
    if (!m_waitingRequests.isEmpty())
        QTimer::singleShot(0, this, &ImportCommands::runWaitingRequests);
    return report;
}
