// Save the page offline: the page a bookmark (or a capture) names is read
// with its style sheets, laid out without its scripts and appended below the
// note, its pictures stored beside it as a capture stores them.

#include "appcontext.h"
#include "dropdata.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "programtext.h"
#include "styledselection.h"
#include "webpictureimport.h"

#include <QPointer>
#include <QProgressDialog>
#include <QUrl>

#include <atomic>
#include <memory>

namespace {

bool IsWebAddress(const QString &address)
{
    const QUrl url(address);
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

QString TEditorForm::offlinePageAddress()
{
    if (IsWebAddress(NoteSource))
        return NoteSource;
    // Bookmarks made before sources were kept: the note's first web link.
    Content->WaitWhileBusy();
    const QString link =
        Content
            ->RunScript(QStringLiteral("(function () {"
                                       "  const links = document.body ? document.body.querySelectorAll('a[href]') : [];"
                                       "  for (const link of links)"
                                       "    if (/^https?:/i.test(link.href)) return link.href;"
                                       "  return '';"
                                       "})()"))
            .toString();
    return IsWebAddress(link) ? link : QString();
}

void TEditorForm::SavePageOfflineClick()
{
    const QString address = offlinePageAddress();
    if (address.isEmpty()) {
        showMessage(m_context.messages.shown(QStringLiteral("NoWebPage")));
        return;
    }
    if (!inEditMode())
        setEditMode(true);

    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    FetchOptions limits;
    limits.cancelled = [cancelled] { return cancelled->load(); };
    // On the heap: closing the editor meanwhile takes its children along.
    QPointer<QProgressDialog> progress = new QProgressDialog(this);
    progress->setObjectName(QStringLiteral("OfflinePageProgress"));
    progress->setWindowTitle(QLatin1String(ApplicationTitle));
    progress->setWindowModality(Qt::WindowModal);
    progress->setLabelText(m_context.messages.shown(QStringLiteral("SavingPageOffline")));
    progress->setCancelButtonText(m_context.messages.shown(QStringLiteral("CaptureCancel")));
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setRange(0, 0);
    connect(progress.data(), &QProgressDialog::canceled, progress.data(), [cancelled] { *cancelled = true; });
    progress->show();

    QPointer<TEditorForm> self(this);
    const StyledSelection page = StylePage(address, limits);
    delete progress;
    if (!self || *cancelled)
        return;
    if (!page.styled) {
        showMessage(m_context.messages.shown(QStringLiteral("PageNotRead")).arg(address));
        return;
    }
    const ParsedDrop parsed =
        m_webPictures->parseClip(buildClipText(page.fragment, page.pageAddress, page.pageTitle.toHtmlEscaped()));
    if (!self)
        return;
    AppendToBody(QStringLiteral("<hr>") + parsed.body);
}
