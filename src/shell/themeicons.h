#pragma once

#include <QIcon>
#include <QStringList>

// The first of the names the icon theme has, or a null icon.
QIcon themeIcon(const QStringList &names);

// A one-colour glyph of the theme (bold, italic, a list's bullets, a pencil)
// drawn in the palette's button text colour whenever it is painted, so that it
// shows on light and dark toolbars alike, sharp at any scale.
QIcon glyphIcon(const QStringList &names);
