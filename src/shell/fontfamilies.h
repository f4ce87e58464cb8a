#pragma once

#include <QFont>
#include <QString>

// The windows name Windows font families (Tahoma, Trebuchet MS, Microsoft
// JhengHei). Where one is not installed, the closest installed family of the
// same kind stands in, so that what a font list shows is what is drawn.
QString closestInstalledFamily(const QString &family);

// A font of the closest installed family with a size in pixels.
QFont installedFont(const QString &family, int pixelSize);
