#pragma once

#include <QPixmap>

class QImage;

// The logo file's picture for a square box of boxSize pixels on a screen of
// that pixel ratio. A picture wider than the box was drawn for that many device
// pixels per box pixel: it is scaled smoothly to the box's device pixels, so it
// stays sharp at every ratio and is never cut off. A null picture gives a null
// pixmap.
QPixmap logoForBox(const QImage &logo, int boxSize, qreal screenRatio);
