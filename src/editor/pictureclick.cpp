#include "pictureclick.h"

#include "exwebbrowser.h"

#include <QApplication>
#include <QChildEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

// Selects the picture under the point (in the page's CSS pixels) while the
// document is editable.
const char SelectPictureScript[] = "(function (x, y) {"
                                   "  if (!document.body || document.designMode !== 'on') return false;"
                                   "  var element = document.elementFromPoint(x, y);"
                                   "  if (!element || element.tagName.toUpperCase() !== 'IMG') return false;"
                                   "  var range = document.createRange();"
                                   "  range.selectNode(element);"
                                   "  var selection = window.getSelection();"
                                   "  selection.removeAllRanges();"
                                   "  selection.addRange(range);"
                                   "  return true;"
                                   "})(%1, %2)";

// The engine handles the click's own caret placement first.
constexpr int AfterClickMs = 30;

} // namespace

PictureClickSelector::PictureClickSelector(TExWebBrowser *view)
    : QObject(view)
    , m_view(view)
{
    // The engine draws into a child widget made when the first page shows; the
    // mouse events go there.
    view->installEventFilter(this);
    for (QObject *child : view->children())
        watch(child);
}

void PictureClickSelector::watch(QObject *child)
{
    if (child->isWidgetType())
        child->installEventFilter(this);
}

bool PictureClickSelector::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::ChildAdded) {
        watch(static_cast<QChildEvent *>(event)->child());
    } else if (watched != m_view && event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() == Qt::LeftButton)
            m_pressedAt = press->position().toPoint();
    } else if (watched != m_view && event->type() == QEvent::MouseButtonRelease) {
        const auto *release = static_cast<QMouseEvent *>(event);
        // A click, not the end of a drag that selects text.
        if (release->button() == Qt::LeftButton &&
            (release->position().toPoint() - m_pressedAt).manhattanLength() < QApplication::startDragDistance()) {
            const QPoint at = static_cast<QWidget *>(watched)->mapTo(m_view, release->position().toPoint());
            QTimer::singleShot(AfterClickMs, this, [this, at] { selectPictureAt(at); });
        }
    }
    return QObject::eventFilter(watched, event);
}

void PictureClickSelector::selectPictureAt(const QPoint &viewPoint)
{
    if (!m_view)
        return;
    const qreal zoom = m_view->zoomFactor();
    m_view->page()->runJavaScript(
        QString::fromLatin1(SelectPictureScript).arg(viewPoint.x() / zoom).arg(viewPoint.y() / zoom),
        QWebEngineScript::ApplicationWorld);
}
