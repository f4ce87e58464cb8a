#pragma once

#include <QIcon>

// The application's icon: the same drawing the desktop's menus show, so window,
// tray and menu entry look alike at every size and pixel ratio.
QIcon applicationIcon();

// Its name in the icon theme and the desktop entry's name (without ".desktop").
inline constexpr const char ApplicationId[] = "app.clipnest.Clipnest";
