#pragma once

#include <QStringList>

// The program's command-line options, GNU style. Options that do their work
// and end (--search, --import, --help, --version) run without a window, before the
// single-instance guard. Without any of them the windows start: Qt takes its
// own options out first, and of what it leaves only --restore ARCHIVE is ours.
// A misused option is a usage error, exit status 2. A new option is one entry
// in the list of options in commandline.cpp and one case in run() or
// acceptsWindowStart().
class CommandLine
{
public:
    explicit CommandLine(QStringList arguments);

    // One of the options that run without a window was given.
    bool runsWithoutWindow() const;
    // Does that work and answers the exit status. programFolder ends with "/".
    int run(const QString &programFolder) const;

    // For the start with windows, on the arguments Qt has left: whether they
    // are ours (from --webEngineArgs on they are Qt WebEngine's). Otherwise
    // prints the usage error.
    bool acceptsWindowStart();
    // The backup archive --restore names, restored before the program starts;
    // empty without that option. Read by acceptsWindowStart().
    QString restoreArchive() const { return m_restoreArchive; }

    // The exit status of a usage error.
    static constexpr int UsageErrorStatus = 2;

private:
    QStringList m_arguments;
    QString m_restoreArchive;
};
