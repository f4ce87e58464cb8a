#pragma once

#include <QString>
#include <QStringList>

// The record of a restore's moves, kept in the pending folder while the
// present files step aside and the restored ones take their place. Should the
// restore be cut short, the next start reads it and either finishes the moves
// (when everything restored is still there to move) or puts every earlier
// file back.
class RestoreJournal
{
public:
    // The program folder's entries a restore replaces. The records of
    // unfinished work in pending/ move aside one by one, the journal stays.
    static const QStringList &replacedEntries();

    QString stagingFolder;   // where the restored entries were unpacked, relative to the program folder
    QString asideFolder;     // where the earlier entries go, relative to the program folder
    QStringList restored;    // the entries the staging folder holds
    QStringList earlier;     // the entries the program folder held before

    // Where the journal of the program folder (ending with "/") is kept.
    static QString pathIn(const QString &programFolder);

    // Throws std::runtime_error when the journal cannot be written: the
    // restore must not go on without it.
    void write(const QString &programFolder) const;
    // Moves the earlier entries aside and the restored ones in, from wherever
    // they are now, then removes the staging folder and the journal. Throws
    // std::runtime_error when a move fails; the journal stays.
    void finish(const QString &programFolder) const;
    // Puts the earlier entries back and removes the restored ones and the
    // journal. Answers false when something could not be moved back.
    bool undo(const QString &programFolder) const;
    // Whether finish() can still complete: every restored entry is either in
    // the staging folder or already in place.
    bool canFinish(const QString &programFolder) const;

    struct Recovery
    {
        enum Outcome { Nothing, Finished, Undone, Failed } outcome = Nothing;
        QString asideFolder; // absolute, ending with "/", when Finished
        QString problem;     // when Failed
    };
    // At start, before the database is opened: completes or undoes a restore
    // that was cut short, then removes what killed restores, backups and
    // writes left behind in the program folder (and in the temporary folder,
    // by older copies of the program).
    static Recovery recover(const QString &programFolder);

private:
    static bool read(const QString &path, RestoreJournal *journal);
};
