#include "regiongrabber.h"

#include "programtext.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

RegionGrabber::RegionGrabber(const QPixmap &screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint)
    , m_screen(screen)
{
    setObjectName(QStringLiteral("RegionGrabber"));
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

QImage RegionGrabber::grabRegion()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    RegionGrabber grabber(screen->grabWindow(0));
    grabber.setGeometry(screen->geometry());
    grabber.showFullScreen();
    grabber.activateWindow();
    grabber.grabKeyboard();
    QEventLoop loop;
    QPointer<RegionGrabber> guard(&grabber);
    while (guard && !grabber.m_done && grabber.isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    grabber.releaseKeyboard();
    return grabber.m_result;
}

QRect RegionGrabber::selection() const
{
    return QRect(m_start, m_end).normalized();
}

void RegionGrabber::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_screen);
    painter.fillRect(rect(), QColor(0, 0, 0, 90));
    if (m_dragging) {
        const QRect chosen = selection();
        const qreal scale = m_screen.devicePixelRatio();
        painter.drawPixmap(chosen, m_screen, QRectF(chosen.topLeft() * scale, chosen.size() * scale).toRect());
        painter.setPen(QPen(QColor(64, 156, 222), 2));
        painter.drawRect(chosen.adjusted(0, 0, -1, -1));
    }
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(0, 12, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                     programText("Drag a rectangle to capture it; Escape cancels."));
}

void RegionGrabber::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_start = m_end = event->position().toPoint();
    m_dragging = true;
    update();
}

void RegionGrabber::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    m_end = event->position().toPoint();
    update();
}

void RegionGrabber::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_end = event->position().toPoint();
    const QRect chosen = selection();
    if (chosen.width() > 1 && chosen.height() > 1) {
        const qreal scale = m_screen.devicePixelRatio();
        m_result = m_screen.copy(QRectF(chosen.topLeft() * scale, chosen.size() * scale).toRect()).toImage();
    }
    m_done = true;
    hide();
}

void RegionGrabber::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        m_done = true;
        hide();
    }
}
