#include "languagetranslator.h"

#include "profilefile.h"
#include "programtext.h"

#include <cstring>

namespace {

const QString TextsSection = QStringLiteral("Texts");

} // namespace

const QList<ProgramText> &LanguageTranslator::programTexts()
{
    static const QList<ProgramText> texts{
        // Buttons of the small dialogs, written as each dialog has them.
        {"ButtonOk", "Ok"},
        {"ButtonOkSmall", "ok"},
        {"ButtonCancel", "Cancel"},
        {"ButtonCancelSmall", "cancel"},
        // Start-up and errors.
        {"UnexpectedError", "An unexpected error occurred."},
        // The find bar over a note.
        {"FindPlaceholder", "Find in note"},
        {"FindNotFound", "Not found"},
        {"FindPrevious", "Previous match (Shift+Enter)"},
        {"FindNext", "Next match (Enter)"},
        {"FindClose", "Close (Escape)"},
        // The icon picker and the names of the catalog icons.
        {"SelectIcon", "Select icon"},
        {"IconFolder", "Folder"},
        {"IconDocuments", "Documents"},
        {"IconDownloads", "Downloads"},
        {"IconMusic", "Music"},
        {"IconPictures", "Pictures"},
        {"IconVideos", "Videos"},
        {"IconShared", "Shared"},
        {"IconTemplates", "Templates"},
        {"IconRemote", "Remote"},
        {"IconHome", "Home"},
        {"IconBookmarks", "Bookmarks"},
        {"IconDesktop", "Desktop"},
        {"IconTrash", "Trash"},
        {"IconText", "Text"},
        {"IconDocument", "Document"},
        {"IconSpreadsheet", "Spreadsheet"},
        {"IconPresentation", "Presentation"},
        {"IconCalendar", "Calendar"},
        {"IconAddressBook", "Address book"},
        {"IconImage", "Image"},
        {"IconAudio", "Audio"},
        {"IconVideo", "Video"},
        {"IconPackage", "Package"},
        {"IconInternet", "Internet"},
        {"IconScience", "Science"},
        {"IconFavourite", "Favourite"},
        // The explorer.
        {"EmptyCatalogTitle", "Your catalog is empty"},
        {"EmptyCatalogHint", "Drag a selection of a web page, a link or files from your browser or file manager onto "
                             "the drop box to capture your first note, or press Ctrl+N to write one."},
        {"DeleteNoteQuestion", "This operation will delete this note permanently, are you sure ?\r\rClick yes to "
                               "continue, otherwise click no to cancel"},
        {"ChangeTitleCaption", "Change title?"},
        {"ChangeTitlePrompt", "Input the new title:"},
        // The trash.
        {"TrashNode", "Trash (%1)"},
        {"TrashTitleColumn", "Title"},
        {"TrashDateColumn", "Trashed on"},
        {"TrashPathColumn", "Catalog path"},
        {"TrashRestore", "Restore"},
        {"TrashDelete", "Delete"},
        {"TrashEmpty", "Empty trash"},
        {"NoteTrashed", "Note moved to the trash."},
        {"UndoTrash", "Undo"},
        {"DestroyNoteQuestion", "This note will be deleted permanently and cannot be restored, are you sure ?\r\rClick "
                                "yes to continue, otherwise click no to cancel"},
        {"EmptyTrashQuestion", "Every note in the trash will be deleted permanently, are you sure ?\r\rClick yes to "
                               "continue, otherwise click no to cancel"},
        {"TrashFailed", "The note could not be moved to the trash:\n%1"},
        {"RestoreFailed", "The note could not be restored:\n%1"},
        // Attachment lists.
        {"AttachMissing", "missing"},
        {"AddAttachmentEntry", "Add Atachment File"},
        {"DelAttachmentEntry", "Del Attachment File"},
        // The editor.
        {"EmptyNoteQuestion", "This note content is empty. Exit without save?"},
        {"NoteNotSaved", "The note could not be saved:\n%1\n\nClose the window without saving?"},
        {"NoteNotWritten", "The note could not be written:\n%1"},
        {"OtherColour", "&Other..."},
        {"ColourBlack", "Black"},
        {"ColourGrey", "Grey"},
        {"ColourRed", "Red"},
        {"ColourDarkRed", "Dark red"},
        {"ColourOrange", "Orange"},
        {"ColourYellow", "Yellow"},
        {"ColourGreen", "Green"},
        {"ColourDarkGreen", "Dark green"},
        {"ColourBlue", "Blue"},
        {"ColourDarkBlue", "Dark blue"},
        {"ColourPurple", "Purple"},
        {"ColourWhite", "White"},
        {"RegionHint", "Drag a rectangle to capture it; Escape cancels."},
        // The picture and link dialogs.
        {"ImageDialogCaption", "Insert Image"},
        {"ImageAddressLabel", "Input image url or local directory: (eg: http://xxx or %1)"},
        {"ImageWidthLabel", "Width:"},
        {"ImageHeightLabel", "Height:"},
        {"ImageFileFilter", "image file (*.jpg *.jpeg *.bmp *.gif *.png)"},
        {"LinkDialogCaption", "Add HyperLink"},
        {"LinkAddressLabel", "Input URL:"},
        {"LinkTextLabel", "Input anchor text:"},
        // The information window.
        {"ParsingSource", "Parsing source, Please wait for a moment..."},
        {"PictureProgress", "%1 of %2 pictures"},
        // The About box.
        {"AboutUpdate", "update"},
        {"AboutVersion", "Version: "},
        {"AboutProduct", "note keeper"},
        {"AboutWebSite", "Web site:"},
        {"AboutSupport", "Support:"},
        // A note's earlier versions.
        {"HistoryEntry", "History..."},
        {"HistoryCaption", "History of \"%1\""},
        {"HistorySaved", "Saved"},
        {"HistorySize", "Size"},
        {"HistoryKB", "%1 KB"},
        {"HistoryLegend",
         "Green and underlined: added since this version. Red and struck through: no longer in the note."},
        {"HistoryEmpty", "No earlier versions"},
        {"HistoryRestore", "Restore this version"},
        {"HistoryClose", "Close"},
        {"HistoryDamaged", "This version cannot be shown: %1"},
        {"HistoryNotRestored", "The version could not be restored; the note is unchanged:\n%1"},
        {"HistoryRestored",
         "The version saved %1 is the note's text again; the text it replaced is kept as a version."},
        // Sync with other computers.
        {"SyncSettingsCaption", "Sync settings"},
        {"SyncSettingsEntry", "Sync settings..."},
        {"SyncNowEntry", "Sync now"},
        {"SyncEnable", "Sync this collection with other computers"},
        {"SyncWhere", "Where"},
        {"SyncWebDavKind", "A WebDAV server (Nextcloud, ownCloud, Apache and the like)"},
        {"SyncFolderKind", "A folder that a file-sync program keeps in step"},
        {"SyncAddress", "Address:"},
        {"SyncUser", "User name:"},
        {"SyncPassword", "Password:"},
        {"SyncFolder", "Folder:"},
        {"SyncBrowse", "Browse..."},
        {"SyncFolderCaption", "Sync folder"},
        {"SyncEncryption", "Encryption"},
        {"SyncEncryptionNote", "With a passphrase, every note, picture and attachment is encrypted before it leaves this computer. Without the passphrase nobody can read them, you neither: keep it safe."},
        {"SyncPassphrase", "Passphrase:"},
        {"SyncRepeatPassphrase", "Repeat passphrase:"},
        {"SyncMinutesSuffix", " minutes"},
        {"SyncOnlyByHand", "only after saves and by hand"},
        {"SyncEvery", "Sync by itself every:"},
        {"SyncSecretsNote", "The password and the passphrase are kept in the desktop's secret store, never in a file of Clipnest's."},
        {"SyncNeedsAddress", "Enter the server's address, beginning with https:// or http://."},
        {"SyncNeedsFolder", "Choose the folder to sync through."},
        {"SyncPassphrasesDiffer", "The two passphrases differ."},
        {"SyncIsOn", "Sync is on"},
        {"SyncSecretsNotKept", "The desktop's secret store could not keep the password and the passphrase (%1). Clipnest knows them until it ends."},
        {"SyncRunning", "Syncing..."},
        {"SyncProgress", "Syncing %1 of %2"},
        {"SyncedAt", "Synced at %1"},
        {"SyncConflicts", "%1 conflicts: search the titles for \"conflict\"."},
        {"SyncStopped", "Sync stopped"},
        {"SyncWaits", "Sync waits for your answer"},
        {"SyncMassDelete", "This sync would move %1 of your notes to the trash, more than half of them. Sync anyway?"},
        {"SyncTargetEmpty", "%1 holds no notes, although this collection was synced with it before. It may be another folder or server, or a drive that is not mounted."},
        {"SyncTargetUnknown", "%1 holds another collection than the one this collection was synced with."},
        {"SyncAnyway", "Sync with it anyway? Nothing on this computer is deleted."},
        {"SyncTrustCertificate", "The server's certificate is not vouched for by an authority this computer trusts. Trust it for %1 from now on?\n\nIts key: %2"},
        {"SyncWrongPassphrase", "Sync: the passphrase does not open %1. Set it in the sync settings."},
        {"SyncFailed", "Sync failed: %1"},
        {"SyncRetrying", "Sync: %1. Trying again..."},
    };
    return texts;
}

QString LanguageTranslator::unescaped(const QString &value)
{
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            text += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == QLatin1Char('n'))
            text += QLatin1Char('\n');
        else if (next == QLatin1Char('r'))
            text += QLatin1Char('\r');
        else if (next == QLatin1Char('t'))
            text += QLatin1Char('\t');
        else if (next == QLatin1Char('\\'))
            text += QLatin1Char('\\');
        else {
            text += c; // not an escape: kept as written
            text += next;
        }
    }
    return text;
}

void LanguageTranslator::load(const ProfileContents &file)
{
    m_byEnglish.clear();
    for (const ProgramText &text : programTexts()) {
        const QString key = QLatin1String(text.key);
        if (file.contains(TextsSection, key))
            m_byEnglish.insert(QString::fromUtf8(text.english), unescaped(file.readString(TextsSection, key, {})));
    }
}

QString LanguageTranslator::qtLocale(const ProfileContents &file)
{
    return file.readString(TextsSection, QStringLiteral("Locale"), QString());
}

QString LanguageTranslator::translate(const char *context, const char *sourceText, const char *, int) const
{
    if (!context || !sourceText || std::strcmp(context, ProgramTextContext) != 0)
        return {};
    return m_byEnglish.value(QString::fromUtf8(sourceText));
}
