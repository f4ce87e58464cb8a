#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <functional>

struct AppContext;
class SyncTarget;
class TDBDataModule;

struct SyncProgress
{
    qint64 done = 0;
    qint64 total = 0;
};

struct SyncOutcome
{
    bool massDeleteHeld = false; // the guard stopped it; nothing local was changed
    int deletionsHeld = 0;       // how many notes it would have trashed
    int received = 0, sent = 0, conflicts = 0;
    QSet<int> changedNotes, changedTags; // local ids touched, for the views and the search index
    QList<int> waiting;                  // notes whose remote change waits (open in an editor)
};

// One sync of the collection with a target: finds what changed here (rows and
// file stats), reads the journal entries not read yet and the revisions they
// name, merges each object, writes the new revisions and one journal entry
// (one per few hundred revisions in a large sync, so that a sync cut short
// resumes), then makes the local collection hold the result. Any fault or a
// kill at any moment leaves a state the next run resumes from.
class SyncRun
{
public:
    // targetId: the target's identity (its clipnest-sync.json).
    SyncRun(TDBDataModule &database, const AppContext &context, SyncTarget &target, const QString &targetId);

    std::function<void(const SyncProgress &)> progress;
    std::function<bool(int noteId)> noteIsOpen;
    std::function<bool()> cancelled; // checked between items; a cancelled run resumes next time
    bool allowMassDelete = false;
    QString computerName; // shown in conflict titles

    // Throws SyncTargetError, DbError and SyncFileError; resumable after any throw.
    SyncOutcome run();

    // The target this collection last synced with (empty: never). Local sync
    // state belongs to one target: a run with another targetId starts that
    // target's state afresh (sends everything).
    static QString lastTargetId(TDBDataModule &database);

    // Revisions written to a journal entry at most, in a large sync.
    static constexpr int RevisionsPerEntry = 300;

private:
    TDBDataModule &m_database;
    const AppContext &m_context;
    SyncTarget &m_target;
    QString m_targetId;
};
