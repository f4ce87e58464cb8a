#pragma once

#include "messagetexts.h"
#include "settings.h"

#include <QString>
#include <QStringList>

inline constexpr const char ProductWebSite[] = "https://clipnest.app";
inline constexpr const char ApplicationTitle[] = "Clipnest";

// State shared by the whole program, handed down to whatever needs it so that
// tests can run the real code on a temporary program folder.
struct AppContext
{
    explicit AppContext(QString folder)
        : programFolder(std::move(folder))
        , dataFolder(programFolder + QStringLiteral("data/"))
    {
    }

    QString programFolder; // ends with "/"
    QString dataFolder;    // the program folder followed by "data/"
    QString languageFileName = QStringLiteral("en.ini");
    MessageTexts messages;
    QStringList catalogPaths; // the path of every catalog node, for auto-completion
    HistoryKeeping history;   // how long earlier versions of notes are kept
    int trashDays = 30;       // how long trashed notes are kept (0: until the trash is emptied)

    QString databasePath() const { return programFolder + QStringLiteral("notes.fdb"); }
    // Where unfinished file work is recorded while it runs (see PendingWork).
    QString pendingFolder() const { return programFolder + QStringLiteral("pending/"); }
    // Where trashed notes keep their files, beside the database and apart from the data folder.
    QString trashFolder() const { return programFolder + QStringLiteral("trash/"); }
};
