#pragma once

#include "syncstate.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

struct AppContext;
class TDBDataModule;

// One note or node whose local state differs from its last sync.
struct LocalChange
{
    QString gid;
    SyncKind kind = SyncKind::Note;
    int localId = 0;
    QJsonObject state;               // its revision without parents; deleted:true when it is gone here
    QString fingerprint;             // of the local state now (empty when gone)
    QHash<QString, QString> blobFiles; // content hash -> the file holding those bytes
};

// Finds what changed here since the last sync from the rows and the files'
// sizes and times, without the network. Local objects without a global id get
// one, stored at once, so that a sync cut short gives them the same next time.
class SyncScan
{
public:
    SyncScan(TDBDataModule &database, const AppContext &context, SyncState &state, QString computerName);

    // rows: the sync objects, brought up to date with the new ids.
    QList<LocalChange> changes(QHash<QString, SyncObjectRow> &rows);

    // The fingerprints of a node's or a note's local state now (empty when its row is gone).
    QString nodeFingerprint(int tagid);
    QString noteFingerprint(int noteid);
    // The state of a note as its rows and files have it now; empty when its row is gone.
    QJsonObject noteState(int noteid, const QString &gid, QHash<QString, QString> *blobFiles = nullptr);
    QJsonObject nodeState(int tagid, const QString &gid);

    // Local ids of the global ids, and back, by kind.
    QHash<int, QString> tagGids, noteGids, attachmentGids;

private:
    struct NoteRow
    {
        QString title, filename, source;
        int tagid = 0;
        QDateTime created;
    };
    std::optional<NoteRow> noteRow(int noteid);
    // The fingerprints of every note, or of one.
    QHash<int, QString> noteFingerprints(int onlyNote);
    void assignGids(QHash<QString, SyncObjectRow> &rows);

    TDBDataModule &m_database;
    const AppContext &m_context;
    SyncState &m_state;
    QString m_computerName;
};

// A time as revisions write it: UTC, ISO 8601 with milliseconds.
QString syncTimeText(const QDateTime &time);
