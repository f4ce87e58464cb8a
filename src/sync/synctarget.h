#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// Why a target could not do what was asked.
enum class SyncFault {
    Unreachable,  // no connection, a time-out, a dropped connection: worth trying again later
    ServerBusy,   // 5xx or 423 Locked, still so after the retries
    Full,         // 507 Insufficient Storage, or a full disk
    Refused,      // 401/403: wrong user name or password, or no right to write
    Certificate,  // a certificate that is not trusted and has not been accepted
    Damaged,      // an item that cannot be read back (bad encryption, a wrong passphrase)
    Other,
};

class SyncTargetError : public std::runtime_error
{
public:
    SyncTargetError(SyncFault fault, const QString &message)
        : std::runtime_error(message.toStdString()), m_fault(fault)
    {
    }
    SyncFault fault() const { return m_fault; }
    QString message() const { return QString::fromStdString(what()); }

private:
    SyncFault m_fault;
};

// Where a collection's sync items live: a WebDAV folder or a local folder that
// a file-sync tool keeps in step. Item paths are relative, with "/" between a
// folder and a name ("journal/ab12-7"); folders are made as items are written
// into them. Every item is written whole: a reader sees the old item or the new
// one, never a part. Faults throw SyncTargetError, after any retries.
class SyncTarget
{
public:
    virtual ~SyncTarget() = default;

    // The item's bytes, or nothing when there is no such item.
    virtual std::optional<QByteArray> read(const QString &path) = 0;
    // Writes the item, replacing one of that name.
    virtual void write(const QString &path, const QByteArray &bytes) = 0;
    // Writes the item only when none has that name; answers false, changing
    // nothing, when one has. Two writers racing for a name: one of them wins.
    virtual bool writeNew(const QString &path, const QByteArray &bytes) = 0;
    // The names of the items in a folder, without the folder; empty when the
    // folder is missing.
    virtual QStringList list(const QString &folder) = 0;
    // Removes the item; no such item is no fault.
    virtual void remove(const QString &path) = 0;
    // Makes the items written so far survive a power loss. A folder flushes
    // them here, all at once, rather than one by one; a server has kept each
    // one when it answered.
    virtual void keepWritten() {}
    // Whether items wait for keepWritten to be kept for good.
    virtual bool keepsLater() const { return false; }

    // The target as the user named it (an address or a folder), for messages.
    virtual QString description() const = 0;
    // Requests made so far (for a folder: file operations), for the benchmark
    // and the tests of cost.
    virtual qint64 requestCount() const = 0;
};
