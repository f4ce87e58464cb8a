#pragma once

#include "syncsession.h"

#include <QByteArray>
#include <QString>

class QTextStream;

// `clipnest --sync`: one sync without a window, for cron or a systemd timer.
// The target may come from the command line (--sync-target) and the secrets
// from the environment (CLIPNEST_SYNC_USER, CLIPNEST_SYNC_PASSWORD,
// CLIPNEST_SYNC_PASSPHRASE); a target given so while none is set is
// remembered as if set in the settings window, its secrets not. While the
// program runs, the running copy does the sync and answers how it ended.
namespace SyncCommand {

enum ExitStatus {
    Synced = 0,
    Held = 1,   // the guard stopped it before anything changed: the program asks what to do
    Usage = 2,  // a usage error, or no target set
    Failed = 3, // the target, the passphrase or the database failed
};

// What the command line and the environment give, as handed to a running copy.
struct Overrides
{
    QString target;
    QString user;
    QString password;
    QString passphrase;
    bool hasUser = false, hasPassword = false, hasPassphrase = false;

    static Overrides fromEnvironment(const QString &target);
    QByteArray toJson() const;
    static Overrides fromJson(const QByteArray &json);
    // The request they make of the settings and secrets kept for the collection.
    SyncRequest applyTo(SyncRequest request) const;
};

int exitStatusOf(SyncEnd end);
// How the sync ended, in a line for the terminal.
QString describe(const SyncReport &report, const QString &target);
// The answer of a running copy, and back.
QByteArray answerJson(const SyncReport &report, const QString &target);

// Runs the command; programFolder ends with "/".
int run(const QString &programFolder, const QString &targetOption, QTextStream &out, QTextStream &err);

} // namespace SyncCommand
