#include "messagetexts.h"

#include "appcontext.h"

const QStringList &MessageTexts::keys()
{
    static const QStringList all{
        QStringLiteral("UnSupportedFormat"),
        QStringLiteral("CannotDelTag"),
        QStringLiteral("LoadNoteFail"),
        QStringLiteral("ViewProperties"),
        QStringLiteral("ConnectFail"),
        QStringLiteral("UpdateFileError"),
        QStringLiteral("DownloadNewVer"),
        QStringLiteral("NoNeedDownload"),
        QStringLiteral("AddTagCaption"),
        QStringLiteral("AddTagPrompt"),
        QStringLiteral("RenameTagCaption"),
        QStringLiteral("RenameTagPrompt"),
        QStringLiteral("CatalogLoop"),
        QStringLiteral("SaveNotStored"),
        QStringLiteral("SaveRowNotStored"),
        QStringLiteral("NoteFileOutside"),
        QStringLiteral("IndexProgress"),
        QStringLiteral("IndexUpdateFail"),
        QStringLiteral("IndexOpenFail"),
        QStringLiteral("IndexRebuilding"),
        QStringLiteral("IndexNoRoom"),
        QStringLiteral("FullTextHits"),
        QStringLiteral("FullTextHitsOne"),
        QStringLiteral("FullTextNoHits"),
        QStringLiteral("FullTextIncomplete"),
        QStringLiteral("FullTextIncompleteOne"),
        QStringLiteral("CaptureCancel"),
        QStringLiteral("CaptureProgress"),
        QStringLiteral("DownloadingPictures"),
        QStringLiteral("PictureNotDownloaded"),
        // Export, backup and restore.
        QStringLiteral("ExportCaption"),
        QStringLiteral("ExportProgress"),
        QStringLiteral("ExportDone"),
        QStringLiteral("ExportDoneOne"),
        QStringLiteral("ExportMissing"),
        QStringLiteral("ExportFailed"),
        QStringLiteral("ExportEmpty"),
        QStringLiteral("ExportIndexTitle"),
        QStringLiteral("ExportAttachments"),
        QStringLiteral("ExportMissingNote"),
        QStringLiteral("ExportSource"),
        QStringLiteral("BackupCaption"),
        QStringLiteral("BackupFilter"),
        QStringLiteral("BackupProgress"),
        QStringLiteral("BackupDone"),
        QStringLiteral("BackupDoneOne"),
        QStringLiteral("BackupFailed"),
        QStringLiteral("RestoreCaption"),
        QStringLiteral("RestoreCloseEditors"),
        QStringLiteral("RestoreQuestion"),
        QStringLiteral("RestoreKeepsOld"),
        QStringLiteral("RestoreProgress"),
        QStringLiteral("RestoreDone"),
        QStringLiteral("RestoreFailed"),
        QStringLiteral("RestoreRunning"),
        QStringLiteral("RestoreMissingFiles"),
        QStringLiteral("RestoreFinishedAtStart"),
        QStringLiteral("RestoreUndoneAtStart"),
        QStringLiteral("RestoreStuckAtStart"),
        QStringLiteral("Cancel"),
    };
    return all;
}

QString MessageTexts::shown(const QString &key) const
{
    const QString loaded = text(key);
    return loaded.isEmpty() ? builtInDefault(key) : loaded;
}

QString MessageTexts::counted(const QString &key, qint64 count) const
{
    if (count != 1)
        return shown(key);
    const QString one = key + QLatin1String("One");
    // A language file made before the singular texts keeps its own words for one
    // too, rather than English ones.
    const bool ownPluralOnly = !text(key).isEmpty() && text(key) != builtInDefault(key) &&
                               (text(one).isEmpty() || text(one) == builtInDefault(one));
    return shown(ownPluralOnly ? key : one);
}

QString MessageTexts::builtInDefault(const QString &key)
{
    static const QHash<QString, QString> defaults{
        {QStringLiteral("NoteFileOutside"),
         QStringLiteral("The note's file \"%1\" lies outside the data folder; Clipnest does not open or change it.")},
        {QStringLiteral("UnSupportedFormat"),
         QStringLiteral("Sorry, it seem from a unsupported source application, please use Copy/Paste to make note.")},
        {QStringLiteral("CannotDelTag"), QStringLiteral("Cannot delete the tag while still having child tag or note.")},
        {QStringLiteral("LoadNoteFail"), QStringLiteral("Try to loading note failed!")},
        {QStringLiteral("ViewProperties"),
         QStringLiteral("Please select the image or the link to view its properties.")},
        {QStringLiteral("ConnectFail"),
         QStringLiteral("Connect server failed, please visit our website for manual download.")},
        {QStringLiteral("UpdateFileError"),
         QStringLiteral("Reading update file error, please visit \"%1\" for manual download.")
             .arg(QLatin1String(ProductWebSite))},
        {QStringLiteral("DownloadNewVer"), QStringLiteral("Now start to download new version: ")},
        {QStringLiteral("NoNeedDownload"),
         QStringLiteral("The newest version has been already installed in this computer.")},
        {QStringLiteral("AddTagCaption"), QStringLiteral("Add tag?")},
        {QStringLiteral("AddTagPrompt"),
         QStringLiteral("Use commas to build tag tree, Input the new tagname to be the child of \"")},
        {QStringLiteral("RenameTagCaption"), QStringLiteral("Rename tag?")},
        {QStringLiteral("RenameTagPrompt"), QStringLiteral("Please input the new tag name:")},
        {QStringLiteral("CatalogLoop"),
         QStringLiteral("The catalog is damaged: the parent links of node %1 run in a circle. Nothing was changed.")},
        {QStringLiteral("SaveNotStored"),
         QStringLiteral("The note could not be stored (%1). Nothing was saved; the window stays open so that nothing "
                        "is lost. Change the title or the catalog and save again.")},
        {QStringLiteral("SaveRowNotStored"),
         QStringLiteral("The note's text is written to %1, but its title and catalog could not be stored (%2). The "
                        "window stays open; try saving again.")},
        {QStringLiteral("IndexProgress"), QStringLiteral("Building the search index: %1 of %2 notes")},
        {QStringLiteral("IndexUpdateFail"),
         QStringLiteral("The note is saved, but the search index could not be updated:\n%1\n"
                        "Full-text search may miss recent changes until the next start repairs the index.")},
        {QStringLiteral("IndexOpenFail"), QStringLiteral("Full-text search is not available: %1")},
        {QStringLiteral("IndexRebuilding"),
         QStringLiteral("The search index was damaged; it is being built anew.")},
        {QStringLiteral("IndexNoRoom"),
         QStringLiteral("Full-text search is off: the disk is nearly full. The search index gave its space back to the notes and is built again once there is room.")},
        {QStringLiteral("FullTextHits"), QStringLiteral("%1 notes contain \"%2\"")},
        {QStringLiteral("FullTextHitsOne"), QStringLiteral("%1 note contains \"%2\"")},
        {QStringLiteral("FullTextNoHits"), QStringLiteral("No note contains \"%1\"")},
        {QStringLiteral("FullTextIncomplete"),
         QStringLiteral("%1 notes contain \"%2\" so far; the search index is still being built")},
        {QStringLiteral("FullTextIncompleteOne"),
         QStringLiteral("%1 note contains \"%2\" so far; the search index is still being built")},
        {QStringLiteral("ExportCaption"), QStringLiteral("Export notes into a folder")},
        {QStringLiteral("ExportProgress"), QStringLiteral("Exporting notes...")},
        {QStringLiteral("ExportDone"), QStringLiteral("Exported %1 notes to \"%2\". Open them in the web browser?")},
        {QStringLiteral("ExportDoneOne"), QStringLiteral("Exported %1 note to \"%2\". Open it in the web browser?")},
        {QStringLiteral("ExportMissing"), QStringLiteral("These files were missing and are left out:")},
        {QStringLiteral("ExportFailed"), QStringLiteral("Export failed: %1")},
        {QStringLiteral("ExportEmpty"), QStringLiteral("There is no note to export here.")},
        {QStringLiteral("ExportIndexTitle"), QStringLiteral("Clipnest notes")},
        {QStringLiteral("ExportAttachments"), QStringLiteral("Attachments")},
        {QStringLiteral("ExportMissingNote"), QStringLiteral("(the note's file is missing)")},
        {QStringLiteral("ExportSource"), QStringLiteral("Source:")},
        {QStringLiteral("BackupCaption"), QStringLiteral("Back up all notes")},
        {QStringLiteral("BackupFilter"), QStringLiteral("Clipnest backups (*.tar.gz)")},
        {QStringLiteral("BackupProgress"), QStringLiteral("Backing up notes...")},
        {QStringLiteral("BackupDone"), QStringLiteral("Backed up %1 notes to \"%2\".")},
        {QStringLiteral("BackupDoneOne"), QStringLiteral("Backed up %1 note to \"%2\".")},
        {QStringLiteral("BackupFailed"), QStringLiteral("Backup failed: %1")},
        {QStringLiteral("RestoreCaption"), QStringLiteral("Restore notes from a backup")},
        {QStringLiteral("RestoreCloseEditors"),
         QStringLiteral("Restoring restarts Clipnest. Close the open note editors first.")},
        {QStringLiteral("RestoreQuestion"),
         QStringLiteral("Replace the notes in \"%1\" with the backup made on %2 (%3 notes in %4 nodes)?")},
        {QStringLiteral("RestoreKeepsOld"),
         QStringLiteral("The notes there now are kept in a folder named before-restore inside it.")},
        {QStringLiteral("RestoreProgress"), QStringLiteral("Restoring notes...")},
        {QStringLiteral("RestoreDone"),
         QStringLiteral("The backup is restored. The notes that were there before are in \"%1\".")},
        {QStringLiteral("RestoreFailed"), QStringLiteral("Restoring failed, the notes are unchanged: %1")},
        {QStringLiteral("RestoreRunning"), QStringLiteral("Close Clipnest before restoring a backup.")},
        {QStringLiteral("RestoreMissingFiles"),
         QStringLiteral("%1 of the %2 notes and attachments in this backup have no file in it; they would show as missing. Restore it anyway?")},
        {QStringLiteral("RestoreFinishedAtStart"),
         QStringLiteral("A restore from a backup was cut short. It has now been finished: the notes that were there before are in \"%1\".")},
        {QStringLiteral("RestoreUndoneAtStart"),
         QStringLiteral("A restore from a backup was cut short and could not be finished. The notes that were there before it are back in place.")},
        {QStringLiteral("RestoreStuckAtStart"),
         QStringLiteral("A restore from a backup was cut short and could be neither finished nor undone: %1")},
        {QStringLiteral("Cancel"), QStringLiteral("Cancel")},
        {QStringLiteral("CaptureCancel"), QStringLiteral("Cancel")},
        {QStringLiteral("CaptureProgress"), QStringLiteral("%1 of %2 pictures")},
        {QStringLiteral("DownloadingPictures"), QStringLiteral("Downloading the pictures into the note...")},
        {QStringLiteral("PictureNotDownloaded"), QStringLiteral("The picture could not be downloaded: %1")},
    };
    return defaults.value(key);
}
