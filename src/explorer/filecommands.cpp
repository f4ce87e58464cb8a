#include "filecommands.h"

#include "appcontext.h"
#include "attachlistitem.h"
#include "exwebbrowser.h"
#include "mainform.h"
#include "notelistpane.h"
#include "storedpath.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QTreeWidget>
#include <QUrl>

void showInFileManager(const QString &filePath)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(filePath).toString()} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage)
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(filePath).absolutePath()));
}

FileCommands::FileCommands(TMainForm &explorer)
    : m_explorer(explorer)
{
}

namespace {

AttachListItem *selectedAttachment(QTreeWidget *list)
{
    auto *item = static_cast<AttachListItem *>(list->currentItem());
    return item && item->isSelected() ? item : nullptr;
}

} // namespace

void FileCommands::AttachListDblClick()
{
    if (AttachListItem *item = selectedAttachment(m_explorer.attachList()))
        QDesktopServices::openUrl(QUrl::fromLocalFile(item->filePath()));
}

void FileCommands::Locatenotefileindisk1Click()
{
    if (const NoteListRecord *note = m_explorer.notes().selectedNote())
        if (const QString file = StoredPath::resolve(m_explorer.context().dataFolder, note->filename); !file.isEmpty())
            showInFileManager(file);
}

void FileCommands::Locatenotefileindisk2Click()
{
    const QUrl shown = m_explorer.content()->url();
    if (!shown.isLocalFile())
        return; // about:blank
    showInFileManager(shown.toLocalFile());
}

void FileCommands::Locateattachfileindisk1Click()
{
    if (AttachListItem *item = selectedAttachment(m_explorer.attachList()))
        showInFileManager(item->filePath());
}
