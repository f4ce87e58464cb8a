#pragma once

#include <QStringList>

// Without a display Qt ends the program with abort() while making the
// application object. These turn that into a message and exit status 1.

// Whether a display is named for the windows, or a platform that needs none
// (QT_QPA_PLATFORM, -platform). Otherwise prints why the windows cannot open.
bool displayIsNamed(const QStringList &arguments);

// While it lives, Qt's failure to open any display prints the display settings
// and ends the program with exit status 1.
class DisplayFailureGuard
{
public:
    DisplayFailureGuard();
    ~DisplayFailureGuard();
    DisplayFailureGuard(const DisplayFailureGuard &) = delete;
    DisplayFailureGuard &operator=(const DisplayFailureGuard &) = delete;
};
