#pragma once

#include "syncapply.h"
#include "syncrevision.h"
#include "syncrun.h"
#include "syncscan.h"
#include "syncstate.h"

#include <QHash>
#include <QJsonObject>
#include <QStringList>

// One object as a sync pass sees it.
struct SyncWork
{
    QString gid;
    SyncKind kind = SyncKind::Note;
    int localId = 0;
    QString held;        // the revision the local collection holds (its synced head, or its local change)
    QString final;       // the revision it syncs to
    QString fingerprint; // of the local state, when that changed here
    bool recorded = false;
};

// The steps of SyncRun::run, with what they share.
class SyncPass
{
public:
    SyncPass(SyncRun &run, TDBDataModule &database, const AppContext &context, SyncTarget &target);

    SyncOutcome run(const QString &targetId);

private:
    void takeLocalChanges();
    void readJournal();
    QString combine(const QString &x, const QString &y);
    void mergeRemote();
    void keepNodesOfLiveObjects();
    void breakNodeCircles();
    int deletionsToApply();
    void holdOpenNotes();
    void push();
    void writeEntry(const QStringList &revisions);
    void recordUnapplied(const QSet<QString> &toPush, const QSet<QString> &pushed);
    bool apply();
    void commitBatch();
    void applyItem(SyncWork &item);
    QJsonObject revision(const QString &id);
    QString addRevision(const QJsonObject &revision);
    int nodeDepth(const QString &gid);
    bool isSent(const QString &item) const;
    void markSent(const QString &item);
    // Writes a content-named item that may be there already.
    void sendOnce(const QString &path, const QByteArray &bytes);
    // Marks an item sent once the target keeps it for good.
    void sent(const QString &item);
    // Flushes what was sent on the target, then marks it sent.
    void keepSent();
    void report();

    SyncRun &m_run;
    TDBDataModule &m_database;
    const AppContext &m_context;
    SyncTarget &m_target;
    SyncState m_state;
    RevisionCache m_cache;
    SyncScan m_scan;
    QString m_computer;
    QHash<QString, SyncObjectRow> m_rows;
    QHash<QString, SyncWork> m_work;
    QHash<QString, QStringList> m_remote;     // gid -> revisions read from the journal, in order
    QHash<QString, int> m_readUpTo;           // computer -> the last journal entry read
    QStringList m_toPush;                     // new revisions, parents before children
    QHash<QString, QString> m_blobFiles;      // hash -> local file, to send
    QStringList m_blobsToPush;
    QString m_sentFolder;
    QStringList m_unkeptSent; // sent, not yet flushed nor marked
    QList<std::shared_ptr<PendingWork>> m_unfinished;
    SyncOutcome m_outcome;
    SyncProgress m_progress;
};
