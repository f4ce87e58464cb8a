#include "attachlistitem.h"

#include "dbdatamodule.h"
#include "programtext.h"
#include "storedpath.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>

AttachListItem::AttachListItem(const AttachListRecord &attachment, const QString &folder)
    : record(attachment)
{
    setText(0, record.attname);
    setText(1, folder);
    setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
}

bool AttachListItem::showFile(const QString &filePath)
{
    const QFileInfo file(filePath);
    if (!file.isFile() || !file.isReadable()) {
        setText(2, programText("missing"));
        setIcon(0, QIcon::fromTheme(QStringLiteral("dialog-warning")));
        return false;
    }
    setText(2, formatSize(file.size()));
    static const QFileIconProvider icons;
    setIcon(0, icons.icon(file));
    return true;
}

QString AttachListItem::formatSize(qint64 bytes)
{
    QLocale locale = QLocale::system();
    // Sizes always carry the thousands separator, also in the C locale.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(bytes);
}

void AttachListItem::prepareList(QTreeWidget *list)
{
    list->setColumnCount(3);
    list->setHeaderLabels({QObject::tr("Attach FileName"), QObject::tr("Path"), QObject::tr("FileSize")});
    list->header()->resizeSection(0, 200);
    list->header()->resizeSection(1, 300);
    list->header()->resizeSection(2, 100);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setIconSize(QSize(24, 24));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setProperty("languageColumns", true);
}

void AttachListItem::listStored(TDBDataModule &database, int noteId, const QString &dataFolder, QTreeWidget *list)
{
    QSqlQuery &query = database.runQuery(QStringLiteral("select * from attachment where noteid=?"), {noteId});
    QList<AttachListItem *> items;
    while (query.next()) {
        const AttachListRecord record{fieldInt(query, "attid"), fieldText(query, "attname"), fieldPath(query, "path"),
                                      noteId};
        // A row naming a file outside the data folder is no attachment of the note's.
        if (StoredPath::isInsideAttachment(record.path, record.attname))
            items << new AttachListItem(record, dataFolder + record.path);
        else
            qWarning("Clipnest: attachment %d names a file outside the data folder", record.attid);
    }
    query.finish();
    // The files are looked at once the query is closed.
    for (AttachListItem *item : items) {
        item->showFile(item->filePath());
        list->addTopLevelItem(item);
    }
}
