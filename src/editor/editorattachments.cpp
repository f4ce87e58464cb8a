#include "editorform.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "dropdata.h"
#include "notefilestore.h"
#include "parseddrop.h"
#include "pendingwork.h"
#include "webpictureimport.h"
#include "wholefile.h"

#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <stdexcept>

// The editor's attachments, and what is dropped on the editor.

void TEditorForm::AddAttachment(const QString &sourcePath)
{
    const QFileInfo source(sourcePath);
    if (!source.isFile())
        throw std::runtime_error(tr("Cannot attach \"%1\": it is not a readable file.").arg(sourcePath).toStdString());
    const QString name = source.fileName();
    if (NoteFolder.isEmpty())
        NoteFolder = NewNoteLocation(m_context.dataFolder).dayFolder;
    const QString attaches = NoteFolder + QStringLiteral("/attaches/");
    QDir().mkpath(attaches);
    QString candidate = name;
    // A trashed note's copy keeps its name taken: it comes back there.
    while (QFileInfo::exists(attaches + candidate) || heldByTrash(attaches, candidate))
        candidate = QString::number(QRandomGenerator::global()->bounded(1000)) + name;
    m_pendingFiles.addingCopy(attaches + candidate); // known before it lies there
    const QString failure = copyWholeFile(sourcePath, attaches + candidate);
    if (!failure.isEmpty())
        throw std::runtime_error(
            tr("Cannot copy \"%1\" into the note's folder %2: %3").arg(sourcePath, attaches, failure).toStdString());

    AttachListRecord record;
    record.noteid = NoteId;
    record.attname = candidate;
    record.path = attaches;
    record.path.remove(m_context.dataFolder, Qt::CaseInsensitive);
    auto *item = new AttachListItem(record, attaches);
    item->showFile(attaches + candidate);
    if (NoteId != 0)
        storeAttachmentNow(item->record);
    AttachList->addTopLevelItem(item);
    m_pendingFiles.update(AttachList, TitleEdit->text(), TagsEdit->text());
}

bool TEditorForm::heldByTrash(const QString &attaches, const QString &name)
{
    if (!m_database.hasTrashTables())
        return false;
    QString folder = attaches;
    folder.remove(m_context.dataFolder, Qt::CaseInsensitive);
    const QString backslashed = QString(folder).replace(QLatin1Char('/'), QLatin1Char('\\'));
    try {
        return m_database.queryInteger(
                   QStringLiteral("select count(*) from trashedattachment where attname=? and (path=? or path=?)"),
                   {name, folder, backslashed}) > 0;
    } catch (const DbError &) {
        return false;
    }
}

void TEditorForm::storeAttachmentNow(AttachListRecord &record)
{
    try {
        Transaction transaction(m_database);
        const int id = m_database.nextAttachmentId();
        m_database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"),
                                {id, NoteId, record.attname, record.path});
        transaction.commit();
        record.attid = id;
    } catch (const DbError &) {
        record.attid = 0;
    }
}

void TEditorForm::ListAttachments(int noteId)
{
    AttachListItem::listStored(m_database, noteId, m_context.dataFolder, AttachList);
}

void TEditorForm::DeleteSelectedAttachment()
{
    auto *item = static_cast<AttachListItem *>(AttachList->currentItem());
    if (!item || !item->isSelected())
        return;
    const QString copy = item->record.path + item->record.attname;
    if (item->record.noteid != 0 && item->record.attid != 0) {
        // The row goes first and the file after it, so that no row is ever left
        // without its file; the record lets the next start finish the removal.
        PendingWork removal(m_context.pendingFolder());
        removal.record({{copy}, {}});
        try {
            Transaction transaction(m_database);
            m_database.runStatement(QStringLiteral("delete from attachment where attid=?"), {item->record.attid});
            transaction.commit();
        } catch (const DbError &) {
            removal.finish();
            return; // the attachment stays, with its row and its file
        }
        QFile::remove(m_context.dataFolder + copy);
        removal.finish();
    } else {
        QFile::remove(m_context.dataFolder + copy);
    }
    delete item;
    m_pendingFiles.update(AttachList, TitleEdit->text(), TagsEdit->text());
}

void TEditorForm::AttachListDblClick()
{
    auto *item = static_cast<AttachListItem *>(AttachList->currentItem());
    if (!item || !item->isSelected())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(item->filePath()));
}

void TEditorForm::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void TEditorForm::dragMoveEvent(QDragMoveEvent *event)
{
    // Copy only: a move from a file manager would delete the user's file.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TEditorForm::dropEvent(QDropEvent *event)
{
    if (!inEditMode())
        return;
    // Everything is read here: the source may end the transfer once this returns.
    const QList<DroppedItem> items = readDroppedData(*event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QTimer::singleShot(0, this, [this, items] { takeDrop(items); });
}

void TEditorForm::takeDrop(const QList<DroppedItem> &items)
{
    QPointer<TEditorForm> self(this);
    for (const DroppedItem &item : items) {
        switch (item.format) {
        case DropFormat::Html: {
            // Parsed and fetched beside the interface, with the pictures beside the note.
            const ParsedDrop parsed = m_webPictures->parseClip(item.clipText);
            if (!self)
                return;
            AppendToBody(parsed.body);
            break;
        }
        case DropFormat::Link:
            AppendToBody(bookmarkFragment(item.linkText));
            break;
        case DropFormat::Files:
            for (const QString &file : item.files)
                AddAttachment(file);
            break;
        }
    }
}
