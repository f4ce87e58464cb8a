#include "webpictureimport.h"

#include "appcontext.h"
#include "dropdata.h"
#include "exwebbrowser.h"

#include <QChildEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QWidget>

#include <atomic>
#include <memory>

namespace {

// The fragment that buildClipText wrapped into a body element, without it and
// without the character set declaration a browser puts in front of what it copies.
QString unwrappedFragment(const QString &body)
{
    const QString open = QStringLiteral("<body>\r\n");
    const QString close = QStringLiteral("\r\n</body>");
    QString fragment = body;
    if (fragment.startsWith(open) && fragment.endsWith(close))
        fragment = fragment.mid(open.size(), fragment.size() - open.size() - close.size());
    static const QRegularExpression leadingMeta(QStringLiteral("^\\s*(<meta\\b[^>]*>\\s*)+"),
                                                QRegularExpression::CaseInsensitiveOption);
    return fragment.remove(leadingMeta);
}

bool isWebAddress(const QString &address)
{
    return address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://"));
}

} // namespace

WebPictureImport::WebPictureImport(QWidget *window, TExWebBrowser *view, AppContext &context,
                                   std::function<QString()> noteFolder, std::function<bool()> editable,
                                   std::function<void(const QString &)> tell)
    : QObject(view)
    , m_window(window)
    , m_view(view)
    , m_context(context)
    , m_noteFolder(std::move(noteFolder))
    , m_editable(std::move(editable))
    , m_tell(std::move(tell))
{
    watchKeysOf(view);
}

ParsedDrop WebPictureImport::parseClip(const QByteArray &clipText)
{
    const QString folder = m_noteFolder();
    if (!clipHasWebPictures(clipText))
        return parseDroppedClipResponsively(clipText, m_context.dataFolder, {}, folder);

    // The same limits as a drop on the drop box, and a way to give up waiting.
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    FetchOptions limits;
    limits.cancelled = [cancelled] { return cancelled->load(); };
    const QString caption = m_context.messages.shown(QStringLiteral("DownloadingPictures"));
    const QString counts = m_context.messages.shown(QStringLiteral("CaptureProgress"));
    // On the heap: closing the editor meanwhile takes its children along.
    QPointer<QProgressDialog> progress = new QProgressDialog(m_window);
    progress->setObjectName(QStringLiteral("PictureProgress"));
    progress->setWindowTitle(QLatin1String(ApplicationTitle));
    progress->setWindowModality(Qt::WindowModal);
    progress->setLabelText(caption);
    progress->setCancelButtonText(m_context.messages.shown(QStringLiteral("CaptureCancel")));
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(300);
    progress->setRange(0, 0);
    connect(progress.data(), &QProgressDialog::canceled, progress.data(), [cancelled] { *cancelled = true; });

    QPointer<WebPictureImport> self(this);
    m_busy = true;
    ParsedDrop parsed;
    try {
        parsed = parseDroppedClipResponsively(
            clipText, m_context.dataFolder,
            [progress, caption, counts](int done, int total) {
                if (!progress)
                    return;
                progress->setMaximum(total);
                progress->setValue(done);
                progress->setLabelText(caption + QLatin1Char('\n') + QString(counts).arg(done).arg(total));
            },
            folder, limits);
    } catch (...) {
        delete progress;
        if (self)
            m_busy = false;
        throw;
    }
    delete progress;
    if (self)
        m_busy = false;
    return parsed;
}

QString WebPictureImport::insertablePicture(const QString &html, const QString &address)
{
    // Local pictures stay where they lie; only the web is brought into the note.
    if (!isWebAddress(address))
        return html;
    QPointer<WebPictureImport> self(this);
    const ParsedDrop parsed = parseClip(buildClipText(html.toUtf8(), QString(), QString()));
    if (!self)
        return QString();
    if (parsed.pictures == 0 || parsed.stored < parsed.pictures) {
        m_tell(m_context.messages.shown(QStringLiteral("PictureNotDownloaded")).arg(address));
        return QString();
    }
    return unwrappedFragment(parsed.body);
}

void WebPictureImport::paste()
{
    if (!m_busy && !pasteWithPictures() && m_view)
        m_view->ExecCommand(QStringLiteral("Paste"));
}

bool WebPictureImport::pasteWithPictures()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !m_editable())
        return false;
    for (const DroppedItem &item : readDroppedData(*data)) {
        if (item.format != DropFormat::Html)
            continue;
        if (!clipHasWebPictures(item.clipText))
            return false;
        QPointer<WebPictureImport> self(this);
        const ParsedDrop parsed = parseClip(item.clipText);
        if (!self || !m_view)
            return true;
        m_view->WaitWhileBusy();
        m_view->PasteHtml(unwrappedFragment(parsed.body));
        return true;
    }
    return false;
}

void WebPictureImport::watchKeysOf(QObject *object)
{
    object->installEventFilter(this);
    for (QObject *child : object->children()) {
        if (child->isWidgetType())
            child->installEventFilter(this);
    }
}

bool WebPictureImport::eventFilter(QObject *watched, QEvent *event)
{
    // The view types into a child widget that it may make anew.
    if (watched == m_view && event->type() == QEvent::ChildAdded) {
        QObject *child = static_cast<QChildEvent *>(event)->child();
        if (child->isWidgetType())
            child->installEventFilter(this);
    } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
        // While pictures download nothing is pasted past them.
        if (m_busy || pasteWithPictures())
            return true;
    }
    return QObject::eventFilter(watched, event);
}
