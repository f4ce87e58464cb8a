// Draws the drop box picture for the 48 by 48 box, whose visible part is the top
// 43 rows (the drop box cuts the rest away with its window shape). It is drawn
// at four times that size so that the box stays sharp on high-density screens;
// the drop box scales it to the box at the screen's pixel ratio.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 2;

    constexpr int Scale = 4;
    QImage logo(48 * Scale, 48 * Scale, QImage::Format_ARGB32);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(Scale, Scale);

    QLinearGradient sky(0, 0, 0, 43);
    sky.setColorAt(0, QColor(64, 156, 222));
    sky.setColorAt(1, QColor(22, 92, 160));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 47, 42), 6, 6);

    // A tray that catches what is dropped.
    QPainterPath tray;
    tray.moveTo(9, 24);
    tray.lineTo(9, 35);
    tray.lineTo(39, 35);
    tray.lineTo(39, 24);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tray);

    // The arrow falling into it.
    painter.drawLine(QPointF(24, 6), QPointF(24, 26));
    QPainterPath head;
    head.moveTo(16.5, 19);
    head.lineTo(24, 27);
    head.lineTo(31.5, 19);
    painter.drawPath(head);
    painter.end();

    return logo.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
