#pragma once

#include "synctarget.h"

// Sync items as files in a local folder, which a file-sync tool (Syncthing,
// the Nextcloud client, Dropbox) carries to the other computers. Whole items:
// written under a temporary name in the same folder, then renamed; they are
// flushed to the disk together when the sync asks to keep them (one flush of
// the file system instead of one a file, which made a first sync of many
// notes crawl).
class FolderTarget : public SyncTarget
{
public:
    // folder: an existing folder, or one to be made at the first write.
    explicit FolderTarget(const QString &folder);

    std::optional<QByteArray> read(const QString &path) override;
    void write(const QString &path, const QByteArray &bytes) override;
    bool writeNew(const QString &path, const QByteArray &bytes) override;
    QStringList list(const QString &folder) override;
    void remove(const QString &path) override;
    void keepWritten() override;
    bool keepsLater() const override { return true; }
    QString description() const override { return m_folder; }
    qint64 requestCount() const override { return m_requests; }

    // Names a file-sync tool leaves beside items while it copies them, and our
    // own unfinished writes: never items.
    static bool isTemporaryName(const QString &name);

private:
    QString itemFile(const QString &path) const;
    QString writeTemporary(const QString &file, const QByteArray &bytes);

    QString m_folder;
    qint64 m_requests = 0;
    bool m_unkept = false; // written since the last flush
};
