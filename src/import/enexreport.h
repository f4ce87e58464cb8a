#pragma once

#include <QList>
#include <QString>

// What an import of Evernote exports did, for the report at its end.
struct EnexImportReport
{
    struct Problem
    {
        QString file;  // the export's file name
        QString title; // the note's title, or empty when none could be read
        QString what;  // what went wrong, in the reader's words
    };

    int imported = 0;     // notes stored, with or without problems
    int skipped = 0;      // notes stored by an earlier import, left alone
    int withProblems = 0; // of the imported notes and those that could not be stored
    int notStored = 0;    // notes that could not be stored at all
    bool cancelled = false;
    QList<Problem> problems;
    QList<int> noteIds; // the notes stored, in order
    QList<int> tagIds;  // the catalog nodes they went to, once each

    void add(const EnexImportReport &other);
};
