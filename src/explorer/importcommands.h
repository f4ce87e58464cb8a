#pragma once

#include "eneximport.h"
#include "enexreport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

struct AppContext;
class QAction;
class QMenu;
class TDBDataModule;
class TMainForm;

// The explorer's commands that bring notes in: File → Import → Evernote
// (.enex)... takes one or more exports, imports them with a progress window
// that can cancel between notes, asks first about an export imported before,
// and ends with a report of what came in and what had problems. "Markdown
// folder..." and "Zim notebook..." do the same for a chosen folder.
class ImportCommands : public QObject
{
    Q_OBJECT

public:
    ImportCommands(TMainForm &explorer, AppContext &context, TDBDataModule &database);

    // The Import submenu of the File menu.
    void addFileMenuEntries(QMenu *menu);

    void ImportEnexActExecute();
    // Imports the exports named and shows the report; what the command does
    // once the files are chosen.
    void importFiles(const QStringList &files);
    // An import asked for by `clipnest --import` while the program runs: it
    // asks nothing, skips notes imported before, and answer gets how it went
    // (see ImportRequest). One that comes during another import waits for it.
    void importForCommandLine(const QByteArray &request, std::function<void(const QByteArray &answer)> answer);

    void ImportMarkdownActExecute();
    void ImportZimActExecute();
    enum class FolderKind { Markdown, Zim };
    // Imports the folder chosen and shows the report.
    void importFolder(const QString &folder, FolderKind kind);

    QAction *ImportEnexAct = nullptr;
    QAction *ImportMarkdownAct = nullptr;
    QAction *ImportZimAct = nullptr;

    // For an export imported before: skip its notes imported already, import
    // them again, or leave the export out.
    enum class AgainAnswer { Skip, Import, LeaveOut };

    // The user's choices and the program's answers; replaced by tests.
    std::function<QStringList(const QString &caption, const QString &startFolder)> chooseFiles;
    std::function<QString(const QString &caption, const QString &startFolder)> chooseFolder;
    std::function<AgainAnswer(const QString &question)> askAgain;
    std::function<void(const EnexImportReport &report)> showReport;

private:
    QString text(const QString &key) const;
    enum class SourceKind { Enex, Markdown, Zim };
    struct Source
    {
        QString path;
        SourceKind kind = SourceKind::Enex;
        EnexImport::Again again = EnexImport::Again::Skip; // for an export
    };
    using Chosen = QList<Source>;
    // Imports with the progress window and shows the notes that came in.
    EnexImportReport runImport(const Chosen &chosen);
    void runWaitingRequests();
    QAction *newAction(const QString &name, const QString &caption);
    void chooseAndImportFolder(QAction *action, FolderKind kind);
    // Shows the notes an import stored.
    void showStored(const EnexImportReport &report);

    QString m_reportCaption; // the report's window title when not the Evernote one
    TMainForm &m_explorer;
    AppContext &m_context;
    TDBDataModule &m_database;
    bool m_importing = false;
    QList<std::pair<QByteArray, std::function<void(const QByteArray &)>>> m_waitingRequests;
};
