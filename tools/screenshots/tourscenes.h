#pragma once

#include <QString>

// One run of the screenshot tour: a language, a scale and a palette.
struct TourSettings
{
    QString built;  // the built program folder, ending with "/"
    QString output; // the tour's output folder, ending with "/"
    bool chinese = false;
    QString scale; // "1" or "2"; the process runs with QT_SCALE_FACTOR set to it
    bool dark = false;

    QString folderName() const;
};

// Brings the program up and takes every picture; answers the exit status.
int runTour(int argc, char *argv[], const TourSettings &settings);
