#pragma once

#include <QHash>
#include <QString>

class TDBDataModule;

// What this collection knows of its last syncs, in tables of the database:
// every synced object (global id, local id, the revision it last synced as, a
// fingerprint of its local state then, and a remote revision that waits while
// the note is open), the journal entries read of each computer, and settings.
enum class SyncKind { Note = 0, Node = 1, Attachment = 2 };

struct SyncObjectRow
{
    QString gid;
    SyncKind kind = SyncKind::Note;
    int localId = 0; // 0: not here (deleted, or not made yet)
    QString head;
    QString fingerprint;
    QString waiting;
};

class SyncState
{
public:
    explicit SyncState(TDBDataModule &database);

    QString setting(const QString &name);
    // Inside the caller's transaction when one is open.
    void setSetting(const QString &name, const QString &value);

    QHash<QString, SyncObjectRow> objects();
    void put(const SyncObjectRow &row);
    void remove(const QString &gid);

    QHash<QString, int> seen();
    void setSeen(const QString &computer, int sequence);

    // Another target than last time: its heads, fingerprints and journal
    // positions start afresh; the global ids stay.
    void useTarget(const QString &targetId);

private:
    TDBDataModule &m_database;
};
