#pragma once

#include <QString>

// How long the earlier versions of notes are kept: every version of the last
// allDays days, then the newest of each day up to dailyDays, then the newest of
// each month for monthlyMonths months (0: for ever). Off, no versions are kept.
struct HistoryKeeping
{
    bool enabled = true;
    int allDays = 7;
    int dailyDays = 90;
    int monthlyMonths = 0;
};

// What the settings file holds once it has been read.
struct LoadedSettings
{
    int defaultClick = 1;     // 1 adds a note on a double-click, anything else shows the explorer
    QString dataFolder;       // always the program folder followed by "data/"
    QString languageFileName; // relative to the program folder
    QString writeError;       // why correcting datapath failed; empty when it did not
    HistoryKeeping history;
    int trashDays = 30; // trashed notes older than this are destroyed at start; 0 keeps them
};

// The settings file tavlo.ini in the program folder.
class Settings
{
public:
    static constexpr int AddNoteClick = 1;
    static constexpr int ShowExplorerClick = 2;

    // programFolder ends with "/".
    explicit Settings(QString programFolder);

    QString filePath() const;
    QString dataFolder() const;

    // The default file, byte for byte, as written when none exists.
    QByteArray defaultContent() const;

    // Creates the default file when there is no settings file; an existing file is
    // never replaced, even when keys are missing from it. Answers false when the
    // file could not be made, with a message naming it in error when one is given;
    // no partial file is left.
    bool writeDefaultSettings(QString *error = nullptr) const;

    // Reads every key with its default and rewrites datapath when it differs in
    // any way from the data folder the program actually uses.
    LoadedSettings loadSettings() const;

    // Each writes its key at once; std::runtime_error, naming the file, when the
    // file cannot be written (the file then stays as it was).
    void saveDoubleClickAction(int action) const;
    void saveLanguageFileName(const QString &fileName) const;

    // What the explorer's search box looks through: note titles, or the notes'
    // full text. Kept in a key of its own, which older copies ignore.
    enum class SearchScope { Titles, FullText };
    SearchScope searchScope() const;
    void saveSearchScope(SearchScope scope) const;

    // The folder a command's file dialog was last left in, kept in a key of
    // its own (the command followed by "Folder", as exportFolder); empty when
    // none is kept. Saving answers false when the file could not be written.
    QString lastFolder(const QString &command) const;
    bool saveLastFolder(const QString &command, const QString &folder) const;

    // The message for a settings file that could not be written.
    QString writeFailure(const QString &reason) const;

private:
    void writeKey(const QString &key, const QString &value) const;

    QString m_programFolder;
};
