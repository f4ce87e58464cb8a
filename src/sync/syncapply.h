#pragma once

#include "syncstate.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

struct AppContext;
class PendingWork;
class SyncScan;
class TDBDataModule;

// A file of the data folder that could not be written.
class SyncFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Makes the local collection hold a revision that came from elsewhere. A
// note's files (its text through replaceNoteFile, which keeps the text it
// replaces as an earlier version; pictures; attachment copies) are written
// before the one transaction that writes its rows and its sync state, so that
// a run cut short between them leaves at most a file without a row and the
// next run does it again. A deleted note goes to the trash.
class SyncApply
{
public:
    SyncApply(TDBDataModule &database, const AppContext &context, SyncScan &scan, SyncState &state,
              std::function<QByteArray(const QString &hash)> blob);

    // Makes or changes a node (not a deletion); its parent is here already.
    // Answers its tagid.
    int placeNode(const QString &gid, int tagid, const QJsonObject &revision, const QString &head);
    // Deletes a node that holds nothing; one that still does stays, and its
    // sync state is left for the next scan to find it changed.
    void deleteNode(const QString &gid, int tagid, const QString &head);
    // Makes, changes or trashes a note; answers its noteid (0 when trashed).
    int applyNote(const QString &gid, int noteid, const QJsonObject &revision, const QString &head);

    // Where the pending work of notes made inside the caller's open
    // transaction goes, to be finished once it commits.
    QList<std::shared_ptr<PendingWork>> *unfinished = nullptr;

private:
    int localTag(const QString &nodeGid);
    int untaggedNode();
    QString writeBlob(const QString &path, const QString &hash);
    QStringList writeAttachments(int noteid, const QString &dayRelative, const QJsonObject &revision);

    TDBDataModule &m_database;
    const AppContext &m_context;
    SyncScan &m_scan;
    SyncState &m_state;
    std::function<QByteArray(const QString &hash)> m_blob;
    QHash<QString, QByteArray> m_fetched; // a note's attachment bytes, read before its rows change
};
