#pragma once

#include "attachlistrecord.h"

#include <QTreeWidgetItem>

class TDBDataModule;

// An item of an attachment list (explorer and editor): file name, folder and
// size with the file's icon. It owns its record.
class AttachListItem : public QTreeWidgetItem
{
public:
    // folder is the full folder of the file, ending with "/".
    AttachListItem(const AttachListRecord &record, const QString &folder);

    AttachListRecord record;

    QString folder() const { return text(1); }
    QString filePath() const { return folder() + text(0); }

    // Shows the size and icon of the file; answers false when it cannot be read.
    bool showFile(const QString &filePath);

    static QString formatSize(qint64 bytes);
    // Sets up the three columns of an attachment list.
    static void prepareList(QTreeWidget *list);
    // Adds the stored attachments of a note to the list, each with its file's
    // size and icon.
    static void listStored(TDBDataModule &database, int noteId, const QString &dataFolder, QTreeWidget *list);
};
