#pragma once

#include "testprogramfolder.h"

#include <QProcess>
#include <QStringList>

#include <memory>

struct ProgramOutcome
{
    int exitCode = -1; // -1: killed or not ended in time
    QString out, err;
};

// A computer of a sync test that runs the real program: a throw-away program
// folder with the program copied into it. Its database is opened only for a
// moment at a time, since the program's own engine takes it whole.
struct ProgramComputer
{
    ProgramComputer();

    // The program with these arguments, the runtime folder (of the instance
    // guard) and a passphrase in the environment; not started.
    std::unique_ptr<QProcess> process(const QStringList &arguments, const QString &runtime,
                                      const QString &passphrase = {});
    ProgramOutcome run(const QStringList &arguments, const QString &runtime, const QString &passphrase = {});

    // A note filed under Travel, with a picture of its own when asked.
    void addNote(const QString &title, bool withPicture = false);
    // Adds a paragraph to the note's text; false when there is no such note.
    bool appendToNote(const QString &title, const QString &paragraph);
    QStringList titles();
    // Every note as title, text and pictures with their bytes, sorted: what
    // two computers in step hold alike.
    QStringList contents();
    QByteArray settings() const;

    TestProgramFolder folder;
};
