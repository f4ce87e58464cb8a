#pragma once

#include "syncrun.h"
#include "syncsettings.h"
#include "synctarget.h"

#include <QSet>
#include <QString>

#include <functional>

struct AppContext;

// One sync as the program and the command line ask for it.
struct SyncRequest
{
    SyncPlace place;
    QString password;
    QString passphrase;
    QString computerName;
    QSet<int> openNotes;          // notes open in an editor: their remote changes wait
    bool allowMassDelete = false; // the user said yes to the mass-delete question
    bool allowNewTarget = false;  // the user said yes to an empty or unknown target
};

enum class SyncEnd {
    Synced,
    Cancelled,      // stopped between items; the next sync goes on from there
    MassDeleteHeld, // would move more than half of the notes to the trash: nothing was changed
    TargetEmpty,    // the target holds no collection, though this one synced with one before
    TargetUnknown,  // the target holds another collection than the one this one synced with
    Certificate,    // the server's certificate is not trusted; certificatePin names it
    Passphrase,     // the target is encrypted and no passphrase, or a wrong one, was given
    Failed,         // the target or the database failed; message says how
};

struct SyncReport
{
    SyncEnd end = SyncEnd::Failed;
    QString message; // for Failed and Passphrase: what went wrong, in the target's or engine's words
    SyncFault fault = SyncFault::Other;
    QString certificatePin;
    SyncOutcome outcome;
    qint64 requests = 0;
};

// Opens the target, checks that it holds the collection this one synced with
// (the guard against a moved folder, an unmounted drive or another server),
// unlocks it with the passphrase and runs the sync on a database connection of
// its own, so that it may run on a thread of its own. retrying is told of a
// server fault that is being tried again. Never throws.
SyncReport runSync(const AppContext &context, const SyncRequest &request,
                   const std::function<void(const SyncProgress &)> &progress, const std::function<bool()> &cancelled,
                   const std::function<void(const QString &problem)> &retrying = {});
