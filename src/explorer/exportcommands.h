#pragma once

#include <QObject>
#include <QString>

#include <functional>

struct AppContext;
class QAction;
class QMenu;
class TDBDataModule;
class TMainForm;
struct ExportScope;

// The explorer's commands that take notes out of the program: export a note, a
// node with everything below it or the whole catalog as web pages, back up
// everything into one archive, and restore such an archive (which restarts the
// program with --restore, since restoring needs it closed).
class ExportCommands : public QObject
{
    Q_OBJECT

public:
    ExportCommands(TMainForm &explorer, AppContext &context, TDBDataModule &database);

    // Entries of the File menu, ahead of its closing separator; of the catalog
    // tree's menu; of the note list's menu.
    void addFileMenuEntries(QMenu *menu);
    void addTreeMenuEntries(QMenu *menu);
    void addNoteMenuEntries(QMenu *menu);

    void ExportNoteActExecute();
    void ExportNodeActExecute();
    void ExportCatalogActExecute();
    void BackupActExecute();
    void RestoreActExecute();

    QAction *ExportNoteAct = nullptr;
    QAction *ExportNodeAct = nullptr;
    QAction *ExportCatalogAct = nullptr;
    QAction *BackupAct = nullptr;
    QAction *RestoreAct = nullptr;

    // The user's choices and the program's answers; replaced by tests. Each
    // dialog starts in the folder its command was last given (suggested: a
    // file name in it); a folder chosen for an export need not exist yet.
    std::function<QString(const QString &caption, const QString &startFolder)> chooseFolder;
    std::function<QString(const QString &caption, const QString &suggested)> chooseBackupFile;
    std::function<QString(const QString &caption, const QString &startFolder)> chooseArchive;
    std::function<bool(const QString &question)> askYesNo;
    std::function<void(const QString &message)> showMessage;
    std::function<void(const QString &indexFile)> openInBrowser;
    // Starts this program anew with the arguments; answers whether it started.
    std::function<bool(const QStringList &arguments)> startProgram;

private:
    QString text(const QString &key) const;
    void exportScope(const ExportScope &scope);

    TMainForm &m_explorer;
    AppContext &m_context;
    TDBDataModule &m_database;
};
