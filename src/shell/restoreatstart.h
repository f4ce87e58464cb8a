#pragma once

#include <QString>

#include <functional>

// The start with --restore ARCHIVE: restores a backup into the program folder
// before the program comes up. Restoring needs the program closed (a copy that
// is just closing itself to restore is waited for), and nothing is replaced
// without asking.
class RestoreAtStart
{
public:
    // programFolder ends with "/".
    RestoreAtStart(QString programFolder, QString archive);

    // Answers whether the program should start afterwards: it does after a
    // restore, a refusal or a failure (the notes are then unchanged), but not
    // while another copy is running.
    bool run();

    // The user's answers and the program's messages; replaced by tests.
    std::function<bool(const QString &question)> askYesNo;
    std::function<void(const QString &message)> showMessage;
    int waitForClosingCopyMs = 20000;

private:
    QString m_programFolder;
    QString m_archive;
};
