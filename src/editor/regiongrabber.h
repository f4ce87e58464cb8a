#pragma once

#include <QImage>
#include <QWidget>

// Lets the user pick a region of the screen: a full-screen picture of the
// screen over which a rectangle is dragged with the mouse; Escape cancels.
class RegionGrabber : public QWidget
{
    Q_OBJECT

public:
    // Blocks until the user is done; a null image when nothing was picked.
    static QImage grabRegion();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    explicit RegionGrabber(const QPixmap &screen);
    QRect selection() const;

    QPixmap m_screen;
    QPoint m_start;
    QPoint m_end;
    bool m_dragging = false;
    bool m_done = false;
    QImage m_result;
};
