#pragma once

#include <QString>

#include <functional>
#include <memory>

struct AppContext;

// The start with --restore ARCHIVE: restores a backup into the program folder
// before the program comes up. Restoring needs the program closed (a copy that
// is just closing itself to restore is waited for), and nothing is replaced
// without asking.
class RestoreAtStart
{
public:
    // programFolder ends with "/".
    RestoreAtStart(QString programFolder, QString archive);
    ~RestoreAtStart();

    // Answers whether the program should start afterwards: it does after a
    // restore, a refusal or a failure (the notes are then unchanged), but not
    // while another copy is running.
    bool run();

    // Finishes or undoes a restore that was cut short, and tells the user which;
    // run() does it first too. The caller holds the single-instance guard.
    void recoverInterrupted();

    // The user's answers and the program's messages; replaced by tests.
    std::function<bool(const QString &question)> askYesNo;
    std::function<void(const QString &message)> showMessage;
    int waitForClosingCopyMs = 20000;

private:
    QString text(const char *key);

    QString m_programFolder;
    QString m_archive;
    std::unique_ptr<AppContext> m_context; // for the texts, in the settings' language
};
