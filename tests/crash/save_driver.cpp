// Saves notes through real editors, over and over, for the crash loop
// (tests/crash/crash_loop.sh), which kills it and then checks what is left.
//
//   save_driver PROGRAM_FOLDER [--seed N] [--saves N] [--kill-at STEP [--kill-in new|again]]
//   save_driver PROGRAM_FOLDER --check
//
// Saving: new notes (some with attachments, some with titles longer than their
// column), notes saved again under another title or catalog, and notes deleted
// in the explorer. "ready" is printed once the windows are up and "saved N"
// after each save. With --kill-at the program kills itself at that database
// step (a NoteFiling::Step number) of the first save that reaches it, from the
// second save on: of a new note, or with --kill-in again of a stored note saved again.
//
// Checking: runs the start-up's recovery of unfinished work, then prints every
// broken rule of the rows and files (see checkCatalogRows) and exits with 1 if
// there is any.
#include "appcontext.h"
#include "catalogrowcheck.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "editorform.h"
#include "mainform.h"
#include "notelistpane.h"
#include "pendingrecovery.h"
#include "tagtreeview.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>

namespace {

const QStringList Catalogs{
    QStringLiteral("Work"), QStringLiteral("Work,Projects"), QStringLiteral("work,projects,Alpha"),
    QStringLiteral("Home"), QStringLiteral("Home , Garden"), QStringLiteral("")};

int check(const QString &programFolder)
{
    TDBDataModule database(programFolder + QStringLiteral("notes.fdb"));
    const QString dataFolder = programFolder + QStringLiteral("data/");
    const RecoveryReport recovery =
        recoverPendingWork(database, programFolder + QStringLiteral("pending/"), dataFolder);
    const QStringList problems =
        recovery.problems + checkCatalogRows(database, dataFolder, RowCheckOptions{true, programFolder});
    const int notes = database.queryInteger(QStringLiteral("select count(*) from note"));
    std::printf("notes %d, unfinished work %d (notes stored %d, files removed %d), problems %d\n", notes,
                recovery.entries, recovery.adoptedNotes, recovery.removedFiles, int(problems.size()));
    for (const QString &problem : problems)
        std::printf("  %s\n", qPrintable(problem));
    return problems.isEmpty() ? 0 : 1;
}

// Source files for attachments, named after their size so that a cut copy shows.
QStringList attachmentSources(const QString &folder)
{
    QDir().mkpath(folder);
    QStringList sources;
    for (int size : {3, 4096, 300000}) {
        const QString path = folder + QStringLiteral("blob%1.bin").arg(size);
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.write(QByteArray(size, 'b'));
        sources << path;
    }
    return sources;
}

class Driver
{
public:
    Driver(const QString &programFolder, quint32 seed, int killAt, bool killInSaveAgain)
        : m_context(programFolder)
        , m_database(m_context.databasePath())
        , m_random(seed)
        , m_killAt(killAt)
        , m_killInSaveAgain(killInSaveAgain)
        , m_sources(attachmentSources(programFolder + QStringLiteral("outside/")))
    {
        m_explorer.askYesNo = [](const QString &) { return true; };
        m_explorer.showMessage = [](const QString &message) { std::printf("explorer: %s\n", qPrintable(message)); };
        m_explorer.LoadTagTree(QString());
        m_context.catalogPaths = m_database.loadCatalogPaths();
    }

    void run(int saves)
    {
        std::printf("ready\n");
        std::fflush(stdout);
        for (int i = 1; i <= saves; ++i) {
            m_save = i;
            const int choice = int(m_random.bounded(10));
            bool saved;
            if (choice < 6)
                saved = saveNewNote();
            else if (choice < 9)
                saved = saveAgain();
            else
                saved = deleteNote();
            std::printf("%s %d\n", saved ? "saved" : "not saved", i);
            std::fflush(stdout);
        }
    }

private:
    TEditorForm *newEditor(bool savedAgain)
    {
        auto *editor = new TEditorForm(m_context, m_database);
        editor->setExplorerWindow(&m_explorer);
        editor->askYesNo = [](const QString &) { return true; };
        editor->showMessage = [](const QString &message) { std::printf("editor: %s\n", qPrintable(message)); };
        editor->filingObserver = [this, savedAgain](NoteFiling::Step step) {
            if (m_save >= 2 && int(step) == m_killAt && savedAgain == m_killInSaveAgain) {
                std::printf("killed at step %d of save %d\n", m_killAt, m_save);
                std::fflush(stdout);
                std::raise(SIGKILL);
            }
        };
        editor->show();
        return editor;
    }

    bool close(TEditorForm *editor)
    {
        QPointer<TEditorForm> guard(editor);
        const bool saved = editor->SaveNote();
        delete guard.data();
        return saved;
    }

    bool saveNewNote()
    {
        TEditorForm *editor = newEditor(false);
        const int paragraphs = 1 + int(m_random.bounded(200));
        QString body;
        for (int p = 0; p < paragraphs; ++p)
            body +=
                QStringLiteral("<p>Paragraph %1 of save %2, with some words to make it longer.</p>").arg(p).arg(m_save);
        const QString title =
            m_random.bounded(10) == 0 ? QString(2100, QLatin1Char('t')) : QStringLiteral("Note of save %1").arg(m_save);
        editor->PrefillFromCapture(body, title);
        editor->tagsEdit()->setText(Catalogs.at(m_random.bounded(Catalogs.size())));
        const int attachments = m_random.bounded(3) == 0 ? 1 + int(m_random.bounded(3)) : 0;
        for (int a = 0; a < attachments; ++a)
            editor->AddAttachment(m_sources.at(m_random.bounded(m_sources.size())));
        return close(editor);
    }

    // A stored note opened again, retitled or refiled, and saved.
    bool saveAgain()
    {
        QSqlQuery &query = m_database.runQuery(QStringLiteral("select noteid, tagid, title, filename from note"));
        QList<std::tuple<int, int, QString, QString>> notes;
        while (query.next())
            notes.append({query.value(0).toInt(), query.value(1).toInt(), query.value(2).toString(),
                          fieldPath(query, "filename")});
        query.finish();
        if (notes.isEmpty())
            return saveNewNote();
        const auto &[noteId, tagId, title, file] = notes.at(m_random.bounded(notes.size()));
        TEditorForm *editor = newEditor(true);
        editor->LoadNote(noteId, m_context.dataFolder + file, tagId, title, QStringLiteral("(opened)"));
        if (m_random.bounded(2) == 0)
            editor->titleEdit()->setText(title.left(40) + QStringLiteral(" again"));
        editor->tagsEdit()->setText(Catalogs.at(m_random.bounded(Catalogs.size())));
        return close(editor);
    }

    bool deleteNote()
    {
        const QList<TagTreeItem *> nodes = m_explorer.TagTreeView_()->allTags();
        if (nodes.isEmpty())
            return saveNewNote();
        m_explorer.TagTreeView_()->setCurrentItem(nodes.at(m_random.bounded(nodes.size())));
        m_explorer.ShowTagNotes();
        QTreeWidget *list = m_explorer.noteList();
        if (list->topLevelItemCount() == 0)
            return saveNewNote();
        list->topLevelItem(m_random.bounded(list->topLevelItemCount()))->setSelected(true);
        list->setCurrentItem(list->selectedItems().constFirst());
        m_explorer.DelNoteActExecute();
        return true;
    }

    AppContext m_context;
    TDBDataModule m_database;
    TMainForm m_explorer{m_context, m_database};
    QRandomGenerator m_random;
    int m_killAt;
    bool m_killInSaveAgain;
    int m_save = 0;
    QStringList m_sources;
};

int argumentValue(const QStringList &arguments, const QString &name, int fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: save_driver PROGRAM_FOLDER [--seed N] [--saves N] [--kill-at STEP "
                             "[--kill-in new|again]] | PROGRAM_FOLDER --check\n");
        return 2;
    }
    const QString folder = QDir(arguments.at(1)).absolutePath() + QLatin1Char('/');
    try {
        if (arguments.contains(QStringLiteral("--check")))
            return check(folder);
        Driver driver(folder, quint32(argumentValue(arguments, QStringLiteral("--seed"), 1)),
                      argumentValue(arguments, QStringLiteral("--kill-at"), -1),
                      arguments.contains(QStringLiteral("again")));
        driver.run(argumentValue(arguments, QStringLiteral("--saves"), 1000000));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
