#include "logopicture.h"

#include <QImage>

#include <algorithm>

QPixmap logoForBox(const QImage &logo, int boxSize, qreal screenRatio)
{
    if (logo.isNull())
        return QPixmap();
    const qreal pictureRatio = std::max<qreal>(1.0, qreal(logo.width()) / boxSize);
    const QSize pixels = (QSizeF(logo.size()) * (screenRatio / pictureRatio)).toSize();
    QPixmap shown = QPixmap::fromImage(
        pixels == logo.size() ? logo : logo.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    shown.setDevicePixelRatio(screenRatio);
    return shown;
}
