#pragma once

#include <QStringList>

// The program's command-line options, GNU style. Options that do their work
// and end (--search, --help, --version) run without a window, before the
// single-instance guard; without any of them the program starts as usual and
// leaves the arguments to Qt. A new option is one entry in the list of
// options in commandline.cpp and one case in run().
class CommandLine
{
public:
    explicit CommandLine(QStringList arguments);

    // One of the options that run without a window was given.
    bool runsWithoutWindow() const;
    // Does that work and answers the exit status. programFolder ends with "/".
    int run(const QString &programFolder) const;
    // The backup archive --restore names, restored before the program starts;
    // empty without that option.
    QString restoreArchive() const;

private:
    QStringList m_arguments;
};
